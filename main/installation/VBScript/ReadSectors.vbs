'
' Reads the first sectors of partition 0 and shows their bytes.
' Open it with Script > Open Script, then Script > Run Script. It only reads.
'
Option Explicit
Const first = 0
Const count = 2
Dim block, sectors, rc, i

If LXObject.Init(0) <> 0 Then
  LXObject.Print "The device did not open: check the device module in Options.", True, RGB(200, 0, 0)
Else
  sectors = LXObject.GetNumberOfSectors(0, 0)
  If sectors < first + count Then
    LXObject.Print "The device has " & sectors & " sectors: give it a low level format in Device > Open Device... first.", True, RGB(200, 0, 0)
  Else
    LXObject.Print "The device has " & sectors & " sectors of 512 bytes.", True, RGB(0, 0, 160)
    block = LXObject.malloc(512 * count)
    rc = LXObject.ReadSectors(0, first, count, block, 0)
    If rc <> 0 Then
      LXObject.Print "ReadSectors failed: " & rc, True, RGB(200, 0, 0)
    Else
      For i = 0 To count - 1
        LXObject.Print "Sector " & (first + i) & ", its first 64 bytes:", False, 0
        LXObject.Dump block + 512 * i, 64, 16, 0
      Next
      LXObject.Print "Read " & count & " sectors.", True, RGB(0, 110, 0)
    End If
    LXObject.free block
  End If
End If
