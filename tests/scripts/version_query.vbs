' GetLastAppVersionFromVandrel from VBScript, as a host script calls it: the
' out-parameters are variables passed by reference (VT_BYREF|VT_VARIANT),
' one pair holding texts, one never assigned. Against the reference update
' server named in QVX_UPDATE_SERVERS' list; the user's UpdateServer value is
' set for the run and left empty after (an empty value counts as missing;
' Wine's RegDelete is a stub). Ends with "DONE failures=N".
Option Explicit
Const kKey = "HKCU\Software\Quorvex\QuorvexIntl\UpdateServer"
Dim failures, shell, files, list, fields, port, control, result, version, errorText, unsetVersion, unsetError
failures = 0

Sub Check(label, actual, expected)
  If VarType(actual) <> VarType(expected) Or actual <> expected Then
    WScript.Echo "FAIL " & label & ": got [" & actual & "] (" & TypeName(actual) & "), expected [" & expected & "]"
    failures = failures + 1
  End If
End Sub

Set shell = CreateObject("WScript.Shell")
Set files = CreateObject("Scripting.FileSystemObject")
Set list = files.OpenTextFile(shell.ExpandEnvironmentStrings("%QVX_UPDATE_SERVERS%"), 1)
port = 0
Do While Not list.AtEndOfStream
  fields = Split(list.ReadLine, " ")
  If fields(0) = "normal" Then port = fields(1)
Loop
list.Close
shell.RegWrite kKey, "127.0.0.1:" & port, "REG_SZ"
Set control = CreateObject("Quorvex.QuorvexIntl.Internationalization.1")

version = "old"
errorText = "old"
result = control.GetLastAppVersionFromVandrel("QvxTestApp", version, errorText)
Check "result", result, True
Check "version", version, "4.2.5.0"
Check "error text", errorText, ""
result = control.GetLastAppVersionFromVandrel("QvxTestApp", unsetVersion, unsetError)
Check "result (unset variables)", result, True
Check "version (unset variables)", unsetVersion, "4.2.5.0"
Check "error text (unset variables)", unsetError, ""

shell.RegWrite kKey, "", "REG_SZ"
WScript.Echo "DONE failures=" & failures
