'
' Copies one file of the PC onto volume a (files up to 1 MiB).
' Open it with Script > Open Script, set the two paths below, then Script > Run Script.
' Under Wine the PC's drives are not in the volume tree; this script, or gfslExtCopy in a
' command window, brings files in.
'
Option Explicit
Const pcFile = "C:\windows\win.ini"
Const volumeFile = "/a/win.ini"
Const limit = 1048576
Dim block, n, f, written

If LXObject.Init(0) <> 0 Then
  LXObject.Print "The device did not open: check the device module in Options.", True, RGB(200, 0, 0)
ElseIf LXObject.Mount(0) <> 0 Then
  LXObject.Print "Volume a does not mount: give it a low level format and a format in Device > Open Device... first.", True, RGB(200, 0, 0)
Else
  block = LXObject.malloc(limit)
  n = LXObject.load(pcFile, block, limit)
  If n >= limit Then
    LXObject.Print pcFile & " is larger than " & limit & " bytes: use gfslExtCopy in a command window.", True, RGB(200, 0, 0)
  Else
    f = LXObject.fopen(volumeFile, "w")
    If f < 0 Then
      LXObject.Print volumeFile & " cannot be created.", True, RGB(200, 0, 0)
    Else
      written = 0
      If n > 0 Then written = LXObject.fwrite(block, 1, n, f)
      LXObject.fclose f
      If written = n Then
        LXObject.Print "Copied " & n & " bytes from " & pcFile & " to " & volumeFile & ".", True, RGB(0, 110, 0)
      Else
        LXObject.Print "Only " & written & " of " & n & " bytes reached " & volumeFile & ".", True, RGB(200, 0, 0)
      End If
    End If
  End If
  LXObject.free block
End If
