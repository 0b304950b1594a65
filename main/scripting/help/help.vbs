'
' Lumivex help script: the LXObject methods in the order you will need them.
' Run it with Script > Run Script; its output goes to the "Script log output" pane.
' It only adds and removes one file of its own (/a/HELPDEMO.TXT) on volume a.
'
Option Explicit
Dim rc, block, copy, f, n, text, dir, name, sectors, i

' 1. The log: Print (text, bold, colour) and ClearLog.
LXObject.ClearLog
LXObject.Print "Lumivex help script", True, RGB(0, 0, 160)

' 2. The device: Init 0 opens it, Init 2 asks whether it is closed (0 = open).
rc = LXObject.Init(0)
LXObject.Print "Init(0) = " & rc, False, 0
If LXObject.Init(2) <> 0 Then
  LXObject.Print "The device did not open: check the device module in the options.", True, RGB(200, 0, 0)
Else
  LXObject.Print LXObject.GetDeviceTextInfo("/a"), False, 0

  ' 3. Memory: malloc gives a number that the other methods take as a buffer. Add offsets
  '    to it to reach bytes inside the block; free it when done.
  block = LXObject.malloc(1024)
  LXObject.memset block, &H41, 16
  LXObject.Dump block, 16, 8, 0
  LXObject.srand 2024                        ' the same seed gives the same bytes
  LXObject.memrand block + 16, 16
  LXObject.Dump block + 16, 16, 16, 0
  copy = LXObject.malloc(1024)
  LXObject.memcpy copy, block, 32
  LXObject.Print "memcmp of the copy = " & LXObject.memcmp(copy, block, 32), False, 0
  LXObject.Print "first &H41 at offset " & (LXObject.memchr(block, &H41, 32) - block), False, 0

  ' 4. Sectors: read the first sector of partition 0 into the block.
  sectors = LXObject.GetNumberOfSectors(0, 0)
  LXObject.Print "Sectors of volume a: " & sectors, False, 0
  If sectors > 0 Then
    rc = LXObject.ReadSectors(0, 0, 1, block, 0)
    LXObject.Print "ReadSectors = " & rc & ", its first 32 bytes:", False, 0
    LXObject.Dump block, 32, 16, 0
  End If

  ' 5. Files: mount volume a, then fopen/fwrite/fread/fclose as in C (paths begin with /a/).
  If LXObject.Mount(0) <> 0 Then
    LXObject.Print "Volume a is not formatted yet: format it in the Open Device dialog.", True, RGB(200, 0, 0)
  Else
    f = LXObject.fopen("/a/HELPDEMO.TXT", "w")
    LXObject.fwritetext "Hello from the help script.", 1, 100, f
    LXObject.fwrite block, 1, 16, f
    LXObject.fclose f
    LXObject.Print "stat: " & LXObject.stat("/a/HELPDEMO.TXT"), False, 0

    f = LXObject.fopen("/a/HELPDEMO.TXT", "r")
    text = LXObject.freadtext(1, 27, f)
    LXObject.Print "freadtext: " & text, False, 0
    n = LXObject.fread(copy, 1, 16, f)
    LXObject.Print "fread read " & n & " bytes", False, 0
    LXObject.fclose f

    ' 6. Folders: opendir/readdir until the empty name, then closedir.
    dir = LXObject.opendir("/a/")
    name = LXObject.readdir(dir)
    Do While name <> ""
      LXObject.Print "  " & name, False, RGB(0, 110, 0)
      name = LXObject.readdir(dir)
    Loop
    LXObject.closedir dir
    LXObject.unlink "/a/HELPDEMO.TXT"

    ' 7. When a call fails, GetLastError prints and returns the module's error.
    If LXObject.fopen("/a/NO/SUCH/FILE.TXT", "r") < 0 Then LXObject.GetLastError
  End If

  ' 8. Host files: store and load move memory to and from files of the PC.
  '    LXObject.store "C:\temp\block.bin", block, 1024
  '    n = LXObject.load("C:\temp\block.bin", block, 1024)

  LXObject.free copy
  LXObject.free block
End If
LXObject.Print "Done.", True, RGB(0, 0, 160)
