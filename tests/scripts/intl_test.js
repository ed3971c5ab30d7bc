// Drives the control from JScript, which passes every argument by value
// (numbers as VT_I4 or VT_R8, text as VT_BSTR). Expects the English regional
// defaults of a fresh Wine prefix. Prints one "FAIL" line per failed check and
// ends with "DONE failures=N".
var failures = 0;

function fail(label, detail) {
  WScript.Echo("FAIL " + label + ": " + detail);
  failures++;
}

function check(label, actual, expected) {
  if (typeof actual !== typeof expected)
    fail(label, "got a value of type " + typeof actual + ", expected [" + expected + "]");
  else if (actual !== expected)
    fail(label, "got [" + actual + "], expected [" + expected + "]");
}

// Runs body and checks the error number that it throws (0: none), as an
// unsigned HRESULT: the engine's own errors are 0x800A0000 plus the error
// number, an object's failure arrives as the HRESULT that it returned.
function checkError(label, expected, body) {
  var got = 0;
  try {
    body();
  } catch (e) {
    got = e.number >>> 0;
  }
  if (got !== expected)
    fail(label, "error 0x" + got.toString(16) + ", expected error 0x" + expected.toString(16));
}

var NO_SUCH_METHOD = 0x800A01B6;  // 438
var DISP_E_TYPEMISMATCH = 0x80020005;

// The user's number settings as Windows keeps them; a value that is not
// there is the locale's own default, English in this prefix.
function environmentIsEnglish() {
  var shell = new ActiveXObject("WScript.Shell");
  var expected = { sDecimal: ".", sThousand: ",", sGrouping: "3;0", iDigits: "2", iLZero: "1", sNegativeSign: "-" };
  var ok = true;
  for (var name in expected) {
    var value;
    try {
      value = shell.RegRead("HKCU\\Control Panel\\International\\" + name);
    } catch (e) {
      continue;
    }
    if (value !== expected[name]) {
      fail("regional settings", name + " is [" + value + "]; these checks expect English defaults ([" +
           expected[name] + "])");
      ok = false;
    }
  }
  return ok;
}

function runChecks(control) {
  check("text, grouped", control.ConvertStrToIntlStr("1234567.891", 1), "1,234,567.891");
  check("text, not grouped", control.ConvertStrToIntlStr("1234567.891", 0), "1234567.891");
  check("negative, fixed and grouped", control.ConvertStrToIntlStr("-1234.5", 3), "-1,234.5");
  check("empty text", control.ConvertStrToIntlStr("", 1), "");
  check("sign alone", control.ConvertStrToIntlStr("-", 1), "-");
  check("fraction only", control.ConvertStrToIntlStr(".5", 1), ".5");
  check("point without fraction", control.ConvertStrToIntlStr("5.", 1), "5");
  check("Spanish letters", control.ConvertStrToIntlStr("ñ1234", 1), "ñ1,234");
  check("number at least two decimals", control.ConvertFltToIntlStr(1234.5, 0, 1), "1,234.50");
  check("number fixed decimals", control.ConvertFltToIntlStr(1234.5, 0, 3), "1,235");
  check("whole number", control.ConvertFltToIntlStr(5, 0, 2), "5");
  check("never minus zero", control.ConvertFltToIntlStr(-0.001, 2, 2), "0.00");
  check("1.005 rounds up", control.ConvertFltToIntlStr(1.005, 2, 2), "1.01");
  check("0.125 rounds up", control.ConvertFltToIntlStr(0.125, 2, 2), "0.13");
  check("number as text argument", control.ConvertStrToIntlStr(1234.5, 1), "1,234.5");
  check("text as number argument", control.ConvertFltToIntlStr("1234.5", 0, 1), "1,234.50");

  var text = "-1234.5", flags = 3;
  check("variables", control.ConvertStrToIntlStr(text, flags), "-1,234.5");
  var value = 1234567.891, decimals = 2;
  flags = 1;
  check("number variables", control.ConvertFltToIntlStr(value, decimals, flags), "1,234,567.89");

  check("regional text to plain", control.ConvertIntlStrToStr("-1,234,567.5"), "-1234567.5");
  check("regional text to number", control.ConvertIntlStrToFlt("-1,234.5"), -1234.5);
  check("unreadable text to number", control.ConvertIntlStrToFlt("abc"), 0);
  check("valid number", control.ValidateIntlStr("1,234.5"), true);
  check("letter in a number", control.ValidateIntlStr("12a"), false);
  checkError("SetIntlKeyDec(false) without a hook", 0, function () { control.SetIntlKeyDec(false); });

  checkError("SetAutoUpdateOption(false)", 0, function () { control.SetAutoUpdateOption(false); });
  checkError("SetAutoUpdateOption(true)", 0, function () { control.SetAutoUpdateOption(true); });
  checkError("unknown method", NO_SUCH_METHOD, function () { control.NoSuchMethod(1); });
  checkError("word as number", DISP_E_TYPEMISMATCH, function () { control.ConvertFltToIntlStr("uno", 0, 1); });
}

var control = null;
try {
  control = new ActiveXObject("Quorvex.QuorvexIntl.Internationalization.1");
} catch (e) {
  fail("new ActiveXObject", "error 0x" + (e.number >>> 0).toString(16) + " (" + e.description + ")");
}
if (control !== null && environmentIsEnglish()) runChecks(control);

WScript.Echo("DONE failures=" + failures);
