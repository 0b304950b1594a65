' A client of the running Lumivex with Tarn-Rook.dll as its device module: the device API through
' Lumivex's scriptable class. Argument "ops": read, program, erase and chip erase, each read back.
' Argument "program": one long program (the test pulls the kit's cable meanwhile), its answer and
' last error printed, then what the chip holds once the cable is back. Prints "ok" at the end when every check held.
Option Explicit
Dim o, a, b, ff, rc, failures, info, size
failures = 0
Sub Check(ok, what)
  If Not ok Then
    WScript.Echo "FAIL " & what
    failures = failures + 1
  End If
End Sub

Set o = CreateObject("LXActiveScript.LXObject")
Check o.Init(2) = 0, "the device is open"
If WScript.Arguments(0) = "ops" Then
  info = o.GetDeviceTextInfo("/a")
  Check InStr(info, "[JEDEC ID:7E1001]") > 0, "device text: " & info
  Check InStr(info, "-Type: Legacy NOR") > 0, "device type: " & info
  Check o.NORGetBlockSize("/a", 0) = 65536, "block size"
  size = 131072
  a = o.malloc(size)
  b = o.malloc(size)
  ff = o.malloc(size)
  o.memset ff, 255, size
  o.srand 7
  o.memrand a, size
  Check o.NOREraseBlock(0, 2) = 0, "erase block 2"
  Check o.NOREraseBlock(0, 3) = 0, "erase block 3"
  Check o.NORProgramData(0, 131072, size, a) = 0, "program blocks 2 and 3"
  Check o.NORReadData(0, 131072, size, b) = 0, "read them"
  Check o.memcmp(a, b, size) = 0, "read back what was programmed"
  Check o.NOREraseBlock(0, 2) = 0, "erase block 2 again"
  Check o.NORReadData(0, 131072, size, b) = 0, "read again"
  Check o.memcmp(b, ff, 65536) = 0, "block 2 erased"
  Check o.memcmp(b + 65536, a + 65536, 65536) = 0, "block 3 kept"
  Check o.CustomCallback1(0, 0, 0, 0) = 0, "chip erase"
  Check o.NORReadData(0, 131072, size, b) = 0, "read after the chip erase"
  Check o.memcmp(b, ff, size) = 0, "both blocks erased"
  o.free a
  o.free b
  o.free ff
ElseIf WScript.Arguments(0) = "program" Then
  ' Arguments: the file to create once programming starts, the file whose presence means the
  ' cable is out.
  Dim fso, waited
  Set fso = CreateObject("Scripting.FileSystemObject")
  size = 8388608
  a = o.malloc(size)
  b = o.malloc(16)
  o.memset a, 0, size
  fso.CreateTextFile(WScript.Arguments(1), True).Close
  rc = o.NORProgramData(0, 0, size, a)
  WScript.Echo "program answered " & rc & ", last error " & o.GetLastError()
  Check rc <> 0, "a program without a kit is a failure"
  ' Once the cable is back: the start was programmed before it was pulled, the end never.
  ' (This script host has no Sleep: the wait looks at the file until it is gone, a few seconds.)
  waited = 0
  Do While fso.FileExists(WScript.Arguments(2)) And waited < 20000000
    waited = waited + 1
  Loop
  Check Not fso.FileExists(WScript.Arguments(2)), "the cable is back"
  Check o.NORReadData(0, 0, 16, b) = 0, "a read once the cable is back"
  Check o.memcmp(b, a, 16) = 0, "the start was programmed before the cable was pulled (a zero at " & _
        (o.memchr(b, 0, 16) - b) & ", an erased byte at " & (o.memchr(b, 255, 16) - b) & ")"
  Check o.NORReadData(0, size - 16, 16, b) = 0, "a read of the end"
  o.memset a, 255, 16
  Check o.memcmp(b, a, 16) = 0, "the end was never programmed (" & o.memchr(b, 0, 16) & ")"
  o.free a
  o.free b
End If
Set o = Nothing
If failures = 0 Then WScript.Echo "ok"
