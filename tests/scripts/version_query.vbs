' GetLastAppVersionFromVandrel from VBScript: out-parameters are variables passed by reference
' (VT_BYREF|VT_VARIANT), here never assigned. Ends with "DONE failures=N".
Option Explicit
Const kKey = "HKCU\Software\Quorvex\QuorvexIntl\UpdateServer"
Dim failures, shell, list, fields, port, control, version, errorText
failures = 0

Sub Check(label, actual, expected)
  If VarType(actual) <> VarType(expected) Or actual <> expected Then
    WScript.Echo "FAIL " & label & ": got [" & actual & "] (" & TypeName(actual) & "), expected [" & expected & "]"
    failures = failures + 1
  End If
End Sub

' The "normal" server of QVX_UPDATE_SERVERS' list, set as the user's UpdateServer for the run.
Set shell = CreateObject("WScript.Shell")
Set list = CreateObject("Scripting.FileSystemObject").OpenTextFile(shell.ExpandEnvironmentStrings("%QVX_UPDATE_SERVERS%"), 1)
Do While Not list.AtEndOfStream
  fields = Split(list.ReadLine, " ")
  If fields(0) = "normal" Then port = fields(1)
Loop
list.Close
shell.RegWrite kKey, "127.0.0.1:" & port, "REG_SZ"
Set control = CreateObject("Quorvex.QuorvexIntl.Internationalization.1")

Check "result", control.GetLastAppVersionFromVandrel("QvxTestApp", version, errorText), True
Check "version and error text", version & "|" & errorText & "|" & TypeName(errorText), "4.2.5.0||String"
shell.RegWrite kKey, "", "REG_SZ"  ' emptied, not deleted: Wine's RegDelete is a stub
WScript.Echo "DONE failures=" & failures
