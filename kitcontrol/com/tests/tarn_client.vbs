' A script client of the kit control: creates it by its ProgID and drives the simulated kit
' through IDispatch. Prints "ok" on success; any other exit code names the failed check.
' Script engines know no unsigned 16- or 32-bit values, so words are read back through the dump
' and bytes through Read8.
Option Explicit
Dim t, v, i
Set t = CreateObject("TarnControl.Tarn.1")
t.SelectTarnType 1
t.ConnectTarn
If t.GetUSB_HighSpeedFlag() <> 1 Then WScript.Quit 10
t.PowerControl 1
t.TarnConfiguration 0, 1, 0
t.ConfigTarnPollingMethod 1, 0

' Program one word with direct writes, then read it back.
t.Write16 &H555, &HAA
t.Write16 &H2AA, &H55
t.Write16 &H555, &HA0
t.Write16 &H1000, &H1234
For i = 1 To 100
    v = t.DumpNORMemoryToString(&H1000, &H1000)
    If v = " 34 12" & vbCrLf Then Exit For
Next
If v <> " 34 12" & vbCrLf Then WScript.Quit 12

v = t.GetWriteCommandPacket(4)
If v <> " 12 22 34 23" & vbCrLf Then WScript.Quit 13

On Error Resume Next
t.TarnConfiguration 0, 9, 0
If Err.Number <> -2147483648 Then WScript.Quit 20
If Err.Description <> "Invalid memory configuration" Then WScript.Quit 21
Err.Clear
t.SetVoltage 0, 4000
If Err.Number <> &H80070057 Then WScript.Quit 22
If Err.Description <> "Invalid voltage" Then WScript.Quit 23
On Error GoTo 0

t.CloseTarn
Set t = Nothing
WScript.Echo "ok"
