' Drives the control from VBScript as a host script does: literals pass by
' value (5 arrives as VT_I2), variables by reference (VT_BYREF|VT_VARIANT).
' Expects the English regional defaults of a fresh Wine prefix. Prints one
' "FAIL" line per failed check and ends with "DONE failures=N".
Option Explicit

Dim failures, control
failures = 0

Sub Fail(label, detail)
  WScript.Echo "FAIL " & label & ": " & detail
  failures = failures + 1
End Sub

Sub Check(label, actual, expected)
  If VarType(actual) <> vbString Then
    Fail label, "got a value of type " & TypeName(actual) & ", expected the text [" & expected & "]"
  ElseIf actual <> expected Then
    Fail label, "got [" & actual & "], expected [" & expected & "]"
  End If
End Sub

Sub CheckValue(label, actual, expected)
  If VarType(actual) <> VarType(expected) Then
    Fail label, "got a value of type " & TypeName(actual) & ", expected a " & TypeName(expected)
  ElseIf actual <> expected Then
    Fail label, "got [" & actual & "], expected [" & expected & "]"
  End If
End Sub

Sub CheckError(label, expected)
  If Err.Number <> expected Then
    Fail label, "error " & Err.Number & " (" & Err.Description & "), expected error " & expected
  End If
  Err.Clear
End Sub

' The expected texts below hold for "." decimal, "," thousands, groups of
' three, two decimals and a leading zero.
Function EnvironmentIsEnglish()
  EnvironmentIsEnglish = True
  If FormatNumber(1234567.5, 2) <> "1,234,567.50" Then
    Fail "regional settings", "FormatNumber(1234567.5, 2) gives [" & FormatNumber(1234567.5, 2) & _
         "]; these checks expect English defaults (1,234,567.50)"
    EnvironmentIsEnglish = False
  ElseIf FormatNumber(0.5, 1) <> "0.5" Then
    Fail "regional settings", "FormatNumber(0.5, 1) gives [" & FormatNumber(0.5, 1) & "]; a leading zero is expected"
    EnvironmentIsEnglish = False
  End If
End Function

Sub RunChecks()
  Dim text, flags, value, decimals, unset, result

  ' Literals, passed by value
  Check "text, grouped", control.ConvertStrToIntlStr("1234567.891", 1), "1,234,567.891"
  Check "text, not grouped", control.ConvertStrToIntlStr("1234567.891", 0), "1234567.891"
  Check "negative, fixed and grouped", control.ConvertStrToIntlStr("-1234.5", 3), "-1,234.5"
  Check "short integer part", control.ConvertStrToIntlStr("123", 1), "123"
  Check "empty text", control.ConvertStrToIntlStr("", 1), ""
  Check "sign alone", control.ConvertStrToIntlStr("-", 1), "-"
  Check "fraction only", control.ConvertStrToIntlStr(".5", 1), ".5"
  Check "point without fraction", control.ConvertStrToIntlStr("5.", 1), "5"
  Check "Spanish letters", control.ConvertStrToIntlStr("ñ5", 1), "ñ5"
  Check "number at least two decimals", control.ConvertFltToIntlStr(1234.5, 0, 1), "1,234.50"
  Check "number fixed decimals", control.ConvertFltToIntlStr(1234.5, 0, 3), "1,235"
  Check "never minus zero", control.ConvertFltToIntlStr(-0.001, 2, 2), "0.00"
  Check "1.005 rounds up", control.ConvertFltToIntlStr(1.005, 2, 2), "1.01"
  Check "0.125 rounds up", control.ConvertFltToIntlStr(0.125, 2, 2), "0.13"
  Check "number as text argument", control.ConvertStrToIntlStr(1234.5, 1), "1,234.5"
  Check "text as number argument", control.ConvertFltToIntlStr("1234.5", 0, 1), "1,234.50"
  Check "method name in other case", control.convertstrtointlstr("5.", 1), "5"

  ' Variables, passed by reference
  text = "-1234.5" : flags = 3
  Check "text variable", control.ConvertStrToIntlStr(text, flags), "-1,234.5"
  Check "variable unchanged by the call", text, "-1234.5"
  value = 1.005 : decimals = 2 : flags = 2
  Check "number variables", control.ConvertFltToIntlStr(value, decimals, flags), "1.01"
  value = 1234567.891 : decimals = 2 : flags = 1
  Check "number variables, grouped", control.ConvertFltToIntlStr(value, decimals, flags), "1,234,567.89"
  Check "unset variable as text", control.ConvertStrToIntlStr(unset, 1), ""
  result = control.ConvertStrToIntlStr("1234", 1)
  Check "result kept in a variable", result, "1,234"

  ' Regional text back to plain text, numbers and verdicts
  Check "regional text to plain", control.ConvertIntlStrToStr("-1,234,567.5"), "-1234567.5"
  text = "1,2.3"
  Check "only the first decimal separator", control.ConvertIntlStrToStr(text), "12.3"
  CheckValue "regional text to number", control.ConvertIntlStrToFlt("-1,234.5"), -1234.5
  CheckValue "unreadable text to number", control.ConvertIntlStrToFlt("abc"), CDbl(0)
  CheckValue "valid number", control.ValidateIntlStr("1,234.5"), True
  CheckValue "negative zero", control.ValidateIntlStr("-0"), False
  CheckValue "upper-case exponent", control.ValidateIntlStr("1E5"), False
  CheckValue "exponent", control.ValidateIntlStr("1e+5"), True

  ' The update switch takes booleans and script numbers
  On Error Resume Next
  control.SetAutoUpdateOption False
  CheckError "SetAutoUpdateOption False", 0
  Call control.SetAutoUpdateOption(True)
  CheckError "SetAutoUpdateOption True", 0
  flags = True
  control.SetAutoUpdateOption flags
  CheckError "SetAutoUpdateOption with a variable", 0

  control.SetIntlKeyDec False
  CheckError "SetIntlKeyDec False without a hook", 0

  ' Errors reach the script as its own error numbers
  control.NoSuchMethod 1
  CheckError "unknown method", 438
  result = control.ConvertStrToIntlStr("1")
  CheckError "argument missing", 450
  result = control.ConvertFltToIntlStr("uno", 0, 1)
  CheckError "word as number", 13
  On Error GoTo 0
End Sub

On Error Resume Next
Set control = CreateObject("Quorvex.QuorvexIntl.Internationalization.1")
If Err.Number <> 0 Then
  Fail "CreateObject", "error " & Err.Number & " (" & Err.Description & ")"
  Err.Clear
End If
On Error GoTo 0

If IsObject(control) Then
  If EnvironmentIsEnglish() Then RunChecks
End If

WScript.Echo "DONE failures=" & failures
