' An outside client of Lumivex's scriptable class: creates it by ProgID, calls a device method
' and a memory method, and takes the script error of a bad address. Prints "ok" at the end.
Option Explicit
Dim o, b, rc, failures
failures = 0
Sub Check(ok, what)
  If Not ok Then
    WScript.Echo "FAIL " & what
    failures = failures + 1
  End If
End Sub

Set o = CreateObject("LXActiveScript.LXObject")
Check o.Init(0) = 0, "Init(0)"
Check o.Init(2) = 0, "the device is open"
b = o.malloc(64)
Check b <> 0, "malloc"
o.memset b, 65, 64
Check o.memchr(b, 65, 64) = b, "memchr"
o.Print "no log here", True, 0
On Error Resume Next
o.memset b + 60, 0, 5
Check Err.Number = &H80040201, "an overrun is a script error (" & Hex(Err.Number) & ")"
Check InStr(Err.Description, "memset: 5 bytes at") > 0, "its text: " & Err.Description
Err.Clear
o.SetLogWindow 12345
Check Err.Number <> 0, "SetLogWindow from outside is refused"
Err.Clear
On Error GoTo 0
o.free b
Set o = Nothing
If failures = 0 Then WScript.Echo "ok"
