'
' Lists a folder of volume a: each entry with its size, folders marked.
' Open it with Script > Open Script, change the folder below if you like, then Script > Run Script.
' It opens the device and mounts volume a when they are not yet; it changes nothing.
'
Option Explicit
Const folder = "/a/"
Dim dir, name, count

If LXObject.Init(0) <> 0 Then
  LXObject.Print "The device did not open: check the device module in Options.", True, RGB(200, 0, 0)
ElseIf LXObject.Mount(0) <> 0 Then
  LXObject.Print "Volume a does not mount: give it a low level format and a format in Device > Open Device... first.", True, RGB(200, 0, 0)
Else
  LXObject.Print "Contents of " & folder, True, RGB(0, 0, 160)
  dir = LXObject.opendir(folder)
  If dir = 0 Then
    LXObject.Print "The folder cannot be opened.", True, RGB(200, 0, 0)
  Else
    count = 0
    name = LXObject.readdir(dir)
    Do While name <> ""
      If name <> "." And name <> ".." Then
        LXObject.Print "  " & name & "    " & LXObject.stat(folder & name), False, 0
        count = count + 1
      End If
      name = LXObject.readdir(dir)
    Loop
    LXObject.closedir dir
    LXObject.Print count & " entries listed.", True, RGB(0, 110, 0)
  End If
End If
