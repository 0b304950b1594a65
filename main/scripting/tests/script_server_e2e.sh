#!/usr/bin/env bash
# Lumivex as the COM server of "LXActiveScript.LXObject", in a new Wine prefix of its own (made
# by wineboot, as a new user's): the registration writes the class, its application id and its
# type library; a script client (the system's cscript) gets the object from a program that COM
# starts for it and that ends once the client has let go (the first client after registering,
# and one whose start has to register again, without a box), from the running program, and
# again once that program has been closed; a client that holds an object while the user closes
# the window keeps the program serving until it lets go, and its open file reaches the device; a
# program COM started without a device module, with nobody at its boxes, answers at once and
# writes the boxes into its log; unregistration removes the class. Every client must be served
# well within a minute.
# Usage: script_server_e2e.sh <Lumivex.exe> <Pallix-VirtualDevice.dll> <close_main_window.exe>
#        <wait_main_window.exe> <client.vbs> <work folder>
set -uo pipefail
exe=$1 device=$2 closer=$3 waiter=$4 client=$5 work=$6
root=$(cd "$(dirname "$0")/../../.." && pwd)

LX_E2E_NEW_PREFIX=1 source "$root/scripts/e2e-lib"
export LX_PROMPT_LOG=$(winpath "$work/prompts.log")

lx_e2e_install "$exe" "$device"
clsid='{7A6BECE4-5613-4717-B35A-0CCDC80365C7}'
has() { wine reg query "$1" ${3:+/v "$3"} ${4:-} 2>/dev/null | tr -d '\r' | grep -qi -- "$2"; }
absent() { ! wine reg query "$1" >/dev/null 2>&1; }
not() { ! "$@"; }
# Lumivex's processes of this prefix (other tests may run Lumivex in prefixes of their own).
lumivex_pids() {
  local pid
  for pid in $(pgrep -x Lumivex.exe); do
    { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
}
lumivex_count() { lumivex_pids | wc -l; }
lumivex_running() { [ "$(lumivex_count)" -gt 0 ]; }
# Waits up to 30 seconds for every Lumivex of this prefix to end.
lumivex_ends() {
  local i
  for i in $(seq 1 300); do lumivex_running || return 0; sleep 0.1; done
  return 1
}
# A Windows program that must not take longer than a minute and a half (a hang fails the test).
run() { timeout -k 5 90 "$@"; }
# Through a file: a program that COM starts for the client inherits its output. A client that
# is not served within 45 seconds has waited too long.
client() {
  timeout -k 5 45 "$LX_WINE" cscript.exe //nologo "$(winpath "$client")" "$@" >"$work/client.out" 2>&1
  local rc=$?
  tr -d '\r' <"$work/client.out"
  [ $rc = 124 ] && echo "(the client waited 45 seconds and was stopped)"
}
boxes() { cat "$work/prompts.log" 2>/dev/null | wc -l; }

# --- Registration ---------------------------------------------------------------------------
(cd "$install" && run "$LX_WINE" Lumivex.exe /RegServer >/dev/null 2>&1)
check "the version-independent ProgID names the class" has 'HKCR\LXActiveScript.LXObject\CLSID' "$clsid"
check "the current version" has 'HKCR\LXActiveScript.LXObject\CurVer' 'LXActiveScript.LXObject.1'
check "the versioned ProgID" has 'HKCR\LXActiveScript.LXObject.1\CLSID' "$clsid"
check "the class is served by the program" has "HKCR\\CLSID\\$clsid\\LocalServer32" 'Lumivex.exe'
check "the class names its application" has "HKCR\\CLSID\\$clsid" '754DC32C-BBA4-40ba-82F9-362FC825793B' AppID
check "the application id" has 'HKCR\AppID\Lumivex.EXE' '754DC32C-BBA4-40ba-82F9-362FC825793B' AppID
check "the application's name" has 'HKCR\AppID\{754DC32C-BBA4-40ba-82F9-362FC825793B}' 'Lumivex'
check "the type library" has 'HKCR\TypeLib\{F5E827B9-AEEC-4C4B-88D2-7426D7707043}\1.0' 'Lumivex.exe' '' /s
check "registering ends the program" lumivex_ends

# --- The first client after registering: COM starts Lumivex, which ends after the client ----
out=$(client)
echo "$out"
check "the first client of a program COM started" test "$(echo "$out" | tail -1)" = ok
check "the program COM started ends after its client" lumivex_ends

# --- A program COM starts that has to register again (an older build was stored) ----------
wine reg add 'HKCU\Software\Keldorn\Lumivex\Main App' /v 'File Version' /d 001007025001 /f >/dev/null 2>&1
before=$(boxes)
out=$(client)
echo "$out"
check "the client of a program that registered on its way" test "$(echo "$out" | tail -1)" = ok
check "  which showed no box" test "$(boxes)" = "$before"
check "  and stored its build" has 'HKCU\Software\Keldorn\Lumivex\Main App' 001007025002 'File Version'
check "the program COM started ends after its client" lumivex_ends

# --- A client of the running program ------------------------------------------------------
(cd "$install" && timeout -k 5 200 "$LX_WINE" Lumivex.exe >/dev/null 2>&1) &
pid=$!
check "Lumivex shows its window" run "$LX_WINE" "$(winpath "$waiter")"
out=$(client)
echo "$out"
check "the client of the running program" test "$(echo "$out" | tail -1)" = ok
check "one program served it" test "$(lumivex_count)" = 1
check "Lumivex closes" run "$LX_WINE" "$(winpath "$closer")" lumivex_server_running
wait $pid
check "Lumivex has ended" lumivex_ends

# --- A client after the program was closed: COM starts Lumivex again ------------------------
out=$(client)
echo "$out"
check "the client after the program was closed" test "$(echo "$out" | tail -1)" = ok
check "the program COM started ends after its client" lumivex_ends

# --- A client holds an object while the user closes the window ------------------------------
rm -f "$work/holding" "$work/go-on"
(cd "$install" && timeout -k 5 200 "$LX_WINE" Lumivex.exe >/dev/null 2>&1) &
pid=$!
check "Lumivex shows its window" run "$LX_WINE" "$(winpath "$waiter")"
timeout -k 5 150 "$LX_WINE" cscript.exe //nologo "$(winpath "$client")" hold "$(winpath "$work/holding")" \
  "$(winpath "$waiter")" "$(winpath "$work/go-on")" >"$work/held.out" 2>&1 &
holder=$!
for i in $(seq 1 600); do [ -e "$work/holding" ] || ! kill -0 $holder 2>/dev/null && break; sleep 0.1; done
check "the client holds an object with a file open" test -e "$work/holding"
check "the window closes" run "$LX_WINE" "$(winpath "$closer")" lumivex_server_held
check "  and Lumivex serves on without it" test "$(lumivex_count)" = 1
touch "$work/go-on"
wait $holder
tr -d '\r' <"$work/held.out"
check "the client's calls after the window closed" test "$(tr -d '\r' <"$work/held.out" | tail -1)" = ok
check "Lumivex ends after the client let go" lumivex_ends
wait $pid
check "  with exit code 0" test $? = 0
area="$WINEPREFIX/drive_c/users/$(id -un)/Documents/Keldorn/Lumivex"
"$root/scripts/cut-volume" "$area/User Data/Pallix.img" 0 "$work/held.img" >/dev/null 2>&1
check "  and the file it left open is on the device" \
  test "$(MTOOLS_SKIP_CHECK=1 mtype -i "$work/held.img" ::/HELD.TXT 2>&1)" = "written before the window closed, and after"

# --- A program COM started without a device module, with nobody at its boxes ----------------
# Outside test mode: a box would wait for a user who is not there.
mv "$install/setup.ini" "$work/setup.ini.kept"
out=$(unset LX_PROMPT_LOG; client nomodule)
echo "$out"
check "a client without a device module is answered at once" test "$(echo "$out" | tail -1)" = ok
check "the program COM started ends after its client" lumivex_ends
# One that waits on a box nobody sees is this test's to end.
for p in $(lumivex_pids); do ps -o pid=,etimes=,args= -p "$p"; kill "$p" 2>/dev/null; done
check "  and its boxes are in the user area's log" grep -q "gfslInit is not supported." "$area/Lumivex.log"
mv "$work/setup.ini.kept" "$install/setup.ini"

# --- Unregistration ------------------------------------------------------------------------
(cd "$install" && run "$LX_WINE" Lumivex.exe /UnregServer >/dev/null 2>&1)
check "unregistration removes the class" absent "HKCR\\CLSID\\$clsid"
check "and the ProgIDs" absent 'HKCR\LXActiveScript.LXObject'
check "and the type library" absent 'HKCR\TypeLib\{F5E827B9-AEEC-4C4B-88D2-7426D7707043}'
if [ $fails -gt 0 ]; then
  echo "--- processes of the prefix:"
  for pid in $(pgrep -x Lumivex.exe); do
    { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      ps -o pid=,etimes=,args= -p "$pid"
  done
  echo "--- boxes of the run:"; cat "$work/prompts.log" 2>/dev/null
fi
exit $fails
