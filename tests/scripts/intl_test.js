// The control from JScript, which passes every argument by value (numbers as
// VT_I4 or VT_R8). Expects the English defaults of the test prefix. Prints
// "FAIL ..." per failed check and ends with "DONE failures=N".
var failures = 0;
function check(label, actual, expected) {
  if (actual !== expected) {
    WScript.Echo("FAIL " + label + ": got [" + actual + "] (" + typeof actual + "), expected [" + expected + "]");
    failures++;
  }
}
function errorOf(body) {
  try { body(); } catch (e) { return e.number >>> 0; }
  return 0;
}
var control = new ActiveXObject("Quorvex.QuorvexIntl.Internationalization.1");
check("text", control.ConvertStrToIntlStr("1234567.891", 0), "1234567.891");
check("number", control.ConvertFltToIntlStr(1234.5, 0, 3), "1,235");
check("whole number as VT_I4", control.ConvertFltToIntlStr(5, 0, 2), "5");
check("rounding", control.ConvertFltToIntlStr(0.125, 2, 2), "0.13");
check("regional text to number", control.ConvertIntlStrToFlt("-1,234.5"), -1234.5);
check("unreadable text to number", control.ConvertIntlStrToFlt("abc"), 0);
check("verdict", control.ValidateIntlStr("12a"), false);
check("unknown method", errorOf(function () { control.NoSuchMethod(1); }), 0x800A01B6);
check("word as number", errorOf(function () { control.ConvertFltToIntlStr("uno", 0, 1); }), 0x80020005);
check("switches", errorOf(function () { control.SetAutoUpdateOption(true); control.SetIntlKeyDec(false); }), 0);
WScript.Echo("DONE failures=" + failures);
