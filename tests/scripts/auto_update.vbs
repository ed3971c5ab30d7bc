' AutoUpdate, AutoUpdateExt or AutoUpdateExt2 (argument 1) from VBScript on
' the program of argument 2, with the installer extension of argument 3 and
' the auto-check flag of argument 4 ("1" or "0"), as a host script calls
' them: every out-parameter is a variable passed by reference, the texts
' set to "-" before the call. Prints one line: the result and the
' out-parameters in the order of the call, texts in brackets. A user (the
' program that started this script) drives the dialog.
Option Explicit
Dim args, control, path, extension, check, installer, package, installed, latest, result

Function Shown(value)
  If VarType(value) = vbString Then
    Shown = " [" & value & "]"
  ElseIf VarType(value) = vbBoolean Then
    Shown = " " & value
  Else
    Shown = " <" & TypeName(value) & ">"
  End If
End Function

Set args = WScript.Arguments
path = args(1) : extension = args(2) : check = (args(3) = "1")
installer = "-" : package = "-" : installed = "-" : latest = "-"
Set control = CreateObject("Quorvex.QuorvexIntl.Internationalization.1")
Select Case args(0)
  Case "AutoUpdate"
    result = control.AutoUpdate(path, installer, installed, latest)
    WScript.Echo "AutoUpdate" & Shown(result) & Shown(installer) & Shown(installed) & Shown(latest)
  Case "AutoUpdateExt"
    result = control.AutoUpdateExt(path, check, installer, package, installed, latest)
    WScript.Echo "AutoUpdateExt" & Shown(result) & Shown(check) & Shown(installer) & Shown(package) & Shown(installed) & Shown(latest)
  Case "AutoUpdateExt2"
    result = control.AutoUpdateExt2(path, extension, check, installer, package, installed, latest)
    WScript.Echo "AutoUpdateExt2" & Shown(result) & Shown(check) & Shown(installer) & Shown(package) & Shown(installed) & Shown(latest)
End Select
