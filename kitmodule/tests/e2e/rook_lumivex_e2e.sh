#!/usr/bin/env bash
# Lumivex.exe with Tarn-Rook.dll as its device module over TarnControl and a simulated kit, in a
# Wine prefix and on a display of its own, driven from outside as a user would: the Open Device
# dialog shows the module's text; a script client reads, programs and erases through the device
# API; the profiler and the debug-trace viewer show this module's records (the dump is judged here
# too); a kit whose cable is pulled in the middle of a program gives an error, and Lumivex runs on.
# Usage: rook_lumivex_e2e.sh <Lumivex.exe> <bin folder> <rook_e2e_driver.exe> <close_main_window.exe>
#        <rook_client.vbs> <work>
set -uo pipefail
exe=$1 bin=$2 driver=$3 closer=$4 client=$5 work=$6
root=$(cd "$(dirname "$0")/../../.." && pwd)

source "$root/scripts/e2e-lib"
source "$(dirname "$0")/rook_e2e_install.sh"
export LX_SCREENSHOT_DIR=$(winpath "${LX_BUILD_WIN:-$root/build/win64}/screenshots")

run() { timeout -k 5 120 "$@"; }
install=$work/install
rook_install "$install" "$exe" "$bin"

export LX_PROMPT_LOG=$(winpath "$work/prompts.log")
# The kits' serials come from the test's registration (cmake/KitSerials.cmake).
export LX_KITSIM=II LX_KITSIM_SERIAL=${LX_KITSIM_SERIAL:?no serial base for the simulated kits} LX_TARNROOK_CLOCK_SPEED=1
export LX_TARNROOK_PRESET="class=1;type=1;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E1001;forceFpga=0"
cable=$work/cable-out
export LX_KITSIM_CABLE_OUT=$(winpath "$cable")
(cd "$install" && run "$LX_WINE" regsvr32 /s TarnControl.dll >/dev/null 2>&1)
(cd "$install" && run "$LX_WINE" Lumivex.exe /RegServer >/dev/null 2>&1)
client() {  # client <mode>: the script client's output, without carriage returns
  run "$LX_WINE" cscript.exe //nologo "$(winpath "$client")" "$@" 2>&1 | tr -d '\r'
}
step() { run "$LX_WINE" "$(winpath "$driver")" "$@" 2>&1 | tr -d '\r'; }

(cd "$install" && timeout -k 5 600 "$LX_WINE" Lumivex.exe >/dev/null 2>&1) &
lumivex=$!

# --- Open Device: the module's text in the dialog --------------------------------------------
info=$(step open-device tarnrook_lumivex_open_device)
echo "$info"
check "the open-device dialog shows the part's JEDEC ID" grep -q '^\[JEDEC ID:7E1001\]' <<<"$info"
check "and its type and size" bash -c 'grep -q -- "-Type: Legacy NOR" <<<"$0" && grep -q -- "-Chip Size: 8388608 Bytes" <<<"$0"' "$info"

# --- The device API through the scriptable class ---------------------------------------------
out=$(client ops)
echo "$out"
check "read, program, erase and chip erase through the device API" test "$(tail -1 <<<"$out")" = ok

# --- The profiler and the trace viewer on this module's records -------------------------------
check "the profiler window" step profiler tarnrook_lumivex_profiler
check "the trace dump" step dump "$(winpath "$work/trace.bin")"
check "the dump holds the trace ring" test "$(stat -c %s "$work/trace.bin" 2>/dev/null)" = 1200000
# This module's records: bus writes and block reads at the kit window's base.
check "the dump holds this module's writes and block reads" python3 - "$work/trace.bin" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
ops = {}
for i in range(0, len(data), 24):
    seq, op, base, off, addr, value = struct.unpack_from("<6I", data, i)
    if base == 0x80000000:
        ops[op] = ops.get(op, 0) + 1
sys.exit(0 if ops.get(1004) and ops.get(1005) and ops.get(1002) and ops.get(1003) else 1)
PY
check "the trace viewer on the dump" step viewer "$(winpath "$work/trace.bin")" tarnrook_lumivex_trace_viewer

# --- The cable pulled in the middle of a program ------------------------------------------------
rm -f "$cable" "$work/programming"
client program "$(winpath "$work/programming")" "$(winpath "$cable")" >"$work/program.out" 2>&1 &
prog=$!
for i in $(seq 1 300); do [ -e "$work/programming" ] && break; sleep 0.1; done
# The cable goes once the bus trace shows zeros written past the first 4 KiB (and before the
# blocks the client wrote earlier): the program is under way and far from its end.
check "the program is under way" step programmed 800 10000
touch "$cable"
sleep 2
check "Lumivex runs on while its kit is gone" step alive
rm -f "$cable"
wait $prog
cat "$work/program.out"
check "the program without a kit answered an error" grep -q "program answered -1, last error 1005" "$work/program.out"
check "what was programmed before the pull is on the chip, the rest is not" test "$(tail -1 "$work/program.out")" = ok
check "Lumivex runs on" step alive

check "Lumivex closes" run "$LX_WINE" "$(winpath "$closer")" tarnrook_lumivex_frame
wait $lumivex
if [ $fails -gt 0 ]; then echo "--- boxes of the run:"; cat "$work/prompts.log" 2>/dev/null; fi
exit $fails
