' The control from VBScript as a host script drives it: literals by value (5
' arrives as VT_I2), variables by reference (VT_BYREF|VT_VARIANT). Expects the
' English defaults of the test prefix. Prints "FAIL ..." per failed check and
' ends with "DONE failures=N" (cscript itself always exits 0).
Option Explicit
Dim failures, control, text, flags, value, decimals, unset
failures = 0

Sub Check(label, actual, expected)
  If VarType(actual) <> VarType(expected) Or actual <> expected Then
    WScript.Echo "FAIL " & label & ": got [" & actual & "] (" & TypeName(actual) & "), expected [" & expected & "]"
    failures = failures + 1
  End If
End Sub

Sub CheckError(label, expected)
  Check label & " (error " & Err.Description & ")", Err.Number, CLng(expected)
  Err.Clear
End Sub

Set control = CreateObject("Quorvex.QuorvexIntl.Internationalization.1")
If FormatNumber(1234567.5, 2) <> "1,234,567.50" Then Check "English regional defaults", FormatNumber(1234567.5, 2), "1,234,567.50"
Check "literals", control.ConvertStrToIntlStr("-1234567.891", 1), "-1,234,567.891"
Check "number as text argument", control.ConvertStrToIntlStr(1234.5, 1), "1,234.5"
Check "text as number argument", control.ConvertFltToIntlStr("1234.5", 0, 1), "1,234.50"
Check "Spanish letters", control.convertstrtointlstr("" & Chr(241) & "5", 1), Chr(241) & "5"
text = "-1234.5" : flags = 3
Check "variables", control.ConvertStrToIntlStr(text, flags), "-1,234.5"
Check "variable unchanged by the call", text, "-1234.5"
value = 1.005 : decimals = 2 : flags = 2
Check "number variables", control.ConvertFltToIntlStr(value, decimals, flags), "1.01"
Check "unset variable as text", control.ConvertStrToIntlStr(unset, 1), ""
Check "regional text to plain", control.ConvertIntlStrToStr("-1,234,567.5"), "-1234567.5"
Check "regional text to number", control.ConvertIntlStrToFlt("-1,234.5"), -1234.5
Check "verdict", control.ValidateIntlStr("1,234.5"), True
Check "verdict of a negative zero", control.ValidateIntlStr("-0"), False
On Error Resume Next
control.SetAutoUpdateOption False
CheckError "SetAutoUpdateOption False", 0
control.SetIntlKeyDec False
CheckError "SetIntlKeyDec False without a hook", 0
control.NoSuchMethod 1
CheckError "unknown method", 438
value = control.ConvertStrToIntlStr("1")
CheckError "argument missing", 450
value = control.ConvertFltToIntlStr("uno", 0, 1)
CheckError "word as number", 13
WScript.Echo "DONE failures=" & failures
