#!/usr/bin/env bash
# Lumivex closed by its user with several thread windows open, while a second program's window of
# numbered controls stands beside it on the same Wine desktop: no control of the other program
# may change its id. (An MDI frame that Wine destroys with its children still open renumbers
# windows it has no business with, other programs' included.) A few rounds, each a fresh start.
# Usage: frame_close_e2e.sh <Lumivex.exe> <Pallix-VirtualDevice.dll> <frame_close_watch.exe> <work folder>
set -uo pipefail
exe=$1 device=$2 watcher=$3 work=$4
root=$(cd "$(dirname "$0")/../../.." && pwd)

source "$root/scripts/e2e-lib"
export LX_PROMPT_LOG=$(winpath "$work/prompts.log")

lx_e2e_install "$exe" "$device"
run() { timeout -k 5 120 "$@"; }
(cd "$install" && run "$LX_WINE" Lumivex.exe /RegServer >/dev/null 2>&1)

for round in 1 2 3; do
  (cd "$install" && run "$LX_WINE" Lumivex.exe >/dev/null 2>&1) &
  pid=$!
  run "$LX_WINE" "$(winpath "$watcher")" 3 >"$work/watch.out" 2>&1
  rc=$?
  tr -d '\r' <"$work/watch.out"
  check "round $round: the other program's control ids stay as the frame closes" test $rc = 0
  wait $pid
  check "round $round: Lumivex has ended" test $? = 0
done
if [ $fails -gt 0 ]; then echo "--- boxes of the run:"; cat "$work/prompts.log" 2>/dev/null; fi
exit $fails
