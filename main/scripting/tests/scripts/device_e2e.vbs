' Exercises the scriptable object on the virtual device the way a user's test script does.
' The test replaces AREA by its user-area folder. Every check prints "ok <what>" or "FAIL <what>".
Option Explicit
Dim area, rc, a, b, c, f, n, text, dir, name, names, sectors, i, bytes
area = "AREA"

Sub Check(ok, what)
  If ok Then
    LXObject.Print "ok " & what, False, 0
  Else
    LXObject.Print "FAIL " & what, True, RGB(255, 0, 0)
  End If
End Sub

LXObject.ClearLog
Check LXObject.Init(0) = 0, "init"
Check LXObject.Init(2) = 0, "device open"
Check LXObject.Init(7) = -1, "unknown init mode"
Check LXObject.LowLevelFormat("/a", 1048576, 50331648) = 0, "low-level format"
Check LXObject.Format("/a", "FAT16", "", 0) = 0, "format"
Check LXObject.Mount(0) = 0, "mount"
Check LXObject.Mount(0) = 0, "second mount does nothing"
bytes = LXObject.GetNumberOfBytesPerDevice("/a")
Check bytes >= 50331648, "device size " & bytes

' Memory, random bytes and the dump.
a = LXObject.malloc(4096)
b = LXObject.malloc(4096)
Check a <> 0 And b <> 0 And a <> b, "malloc"
LXObject.srand 77
LXObject.memrand a, 4096
LXObject.srand 77
LXObject.memrand b, 4096
Check LXObject.memcmp(a, b, 4096) = 0, "memrand repeats for a seed"
LXObject.memrand b, 16
Check LXObject.memcmp(a, b, 16) <> 0, "memrand goes on"
LXObject.memset a, 65, 5
LXObject.Dump a, 5, 4
Check LXObject.memchr(a, 65, 10) = a, "memchr"

' Files.
f = LXObject.fopen("/a/HELLO.TXT", "w")
Check f >= 0, "fopen for writing"
Check LXObject.fwritetext("Hello, flash!", 100, 100, f) = 13, "fwritetext writes the text only"
Check LXObject.fclose(f) = 0, "fclose"
f = LXObject.fopen("/a/DATA.BIN", "w")
Check LXObject.fwrite(b, 4, 1024, f) = 1024, "fwrite 1024 elements of 4 bytes"
LXObject.fclose f
f = LXObject.fopen("/a/HELLO.TXT", "r")
Check LXObject.freadtext(1, 100, f) = "Hello, flash!", "freadtext"
LXObject.fclose f
c = LXObject.malloc(4096)
f = LXObject.fopen("/a/DATA.BIN", "r")
Check LXObject.fread(c, 1, 4096, f) = 4096, "fread"
Check LXObject.memcmp(b, c, 4096) = 0, "fread gives the bytes back"
Check LXObject.fstat(f) = "", "fstat, which the virtual device does not offer"
LXObject.fclose f
Check LXObject.stat("/a/HELLO.TXT") = "Attr:0x20, Size:13", "stat"
Check LXObject.stat("/a/NONE.TXT") = "", "stat of a missing file"
Check LXObject.mkdir("/a/DOCS", 0) = 0, "mkdir"
f = LXObject.fopen("/a/DOCS/Notes on the chip.txt", "w")
LXObject.fwritetext "long name", 1, 9, f
LXObject.fclose f
dir = LXObject.opendir("/a/DOCS")
Check dir <> 0, "opendir"
names = ""
name = LXObject.readdir(dir)
Do While name <> ""
  names = names & "[" & name & "]"
  name = LXObject.readdir(dir)
Loop
LXObject.closedir dir
Check InStr(names, "[Notes on the chip.txt]") > 0, "readdir " & names
Check LXObject.fopen("/a/" & String(600, "x"), "w") = -1, "an over-long path"

'' Sectors of the device: the volume's boot sector (the volume starts at 1 MiB), and two sectors
' written and read back at the end of the device.
sectors = LXObject.GetNumberOfSectors(0, 0)
Check sectors > 0, "sectors " & sectors
Check LXObject.ReadSectors(0, 2048, 1, c, 0) = 0, "read the boot sector"
Check LXObject.memchr(c + 510, &H55, 1) = c + 510, "boot signature"
LXObject.memrand a, 1024
Check LXObject.WriteSectors(0, sectors - 2, 2, a, 0) = 0, "write two sectors"
Check LXObject.ReadSectors(0, sectors - 2, 2, c, 0) = 0, "read them back"
Check LXObject.memcmp(a, c, 1024) = 0, "the sectors hold what was written"

' Host files.
LXObject.store area & "\block.bin", a, 1000
Check LXObject.load(area & "\block.bin", c, 4096) = 1000, "load a shorter file"
Check LXObject.memcmp(a, c, 1000) = 0, "load gives the stored bytes"

LXObject.free a
LXObject.free b
LXObject.free c
Check LXObject.Unmount(0) = 0, "unmount"
Check LXObject.Init(1) = 1, "close"
LXObject.Print "done", False, 0
