' An outside client of Lumivex's scriptable class. Prints "ok" at the end when all went well.
'   (no argument)   creates it by ProgID, calls a device method and a memory method, and takes
'                   the script error of a bad address
'   hold <holding> <waiter> <go on>
'                   writes a file on the device and leaves it open, makes the host file
'                   <holding>, waits (through the program <waiter>) for the host file <go on>
'                   (the user closes Lumivex's window meanwhile), calls the object again and
'                   lets it go
'   nomodule        Init(0) where no device module is configured: answers a failure, and soon
Option Explicit
Dim o, b, rc, failures, mode, fs, f, started
failures = 0
Sub Check(ok, what)
  If Not ok Then
    WScript.Echo "FAIL " & what
    failures = failures + 1
  End If
End Sub

mode = ""
If WScript.Arguments.Count > 0 Then mode = WScript.Arguments(0)
Set o = CreateObject("LXActiveScript.LXObject")
Select Case mode
Case "hold"
  Set fs = CreateObject("Scripting.FileSystemObject")
  Check o.Init(0) = 0, "Init(0)"
  Check o.LowLevelFormat("/a", 1048576, 8388608) = 0, "low-level format"
  Check o.Format("/a", "FAT16", "", 0) = 0, "format"
  Check o.Mount(0) = 0, "mount"
  f = o.fopen("/a/HELD.TXT", "w")
  Check f >= 0, "fopen"
  Check o.fwritetext("written before the window closed", 1, 32, f) = 32, "a write before the window closed"
  fs.CreateTextFile(WScript.Arguments(1), True).Close
  ' (WScript.Sleep ends a script under Wine: a program does the waiting.)
  Check CreateObject("WScript.Shell").Run("""" & WScript.Arguments(2) & """ file """ & WScript.Arguments(3) & _
        """", 0, True) = 0, "the word to go on came within a minute"
  Check o.fwritetext(", and after", 1, 11, f) = 11, "a write after the window closed"
  Check o.Init(2) = 0, "the device is still open"
  ' The file stays open: the program's end must bring it onto the device.
Case "nomodule"
  started = Timer
  rc = o.Init(0)
  WScript.Echo "Init(0) answered " & rc & " after " & FormatNumber(Timer - started, 1) & " s"
  Check rc <> 0, "Init(0) without a device module answers a failure"
  Check Timer - started < 5, "Init(0) answers within 5 seconds"
Case Else
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
End Select
Set o = Nothing
If failures = 0 Then WScript.Echo "ok"
