#!/usr/bin/env bash
# A 32-bit and a 64-bit process in one Wine prefix share the in-use table of kits and the bus-trace
# map: each holds while the other checks. Skips (77) where the other architecture's peer is not built
# or this host cannot run 32-bit programs.
# Usage: cross_arch.sh <wine-run of this tree> <peer of this tree> <peer of the other tree>
set -uo pipefail
wine_run=$1 mine=$2 other=$3
root=$(cd "$(dirname "$0")/../../.." && pwd)
source "$root/scripts/wine-env"
if ! lx_host_runs_32bit; then echo "skipped: $LX_WIN32_WHY"; exit 77; fi
if [ ! -f "$other" ]; then echo "skipped: the other architecture's peer is not built ($other)"; exit 77; fi
work=$(mktemp -d /tmp/lx-cross-arch.XXXXXX)
trap 'touch "$work/done"; wait; rm -rf "$work"' EXIT
winpath() { echo "Z:${1//\//\\}"; }

fail=0
pair() {  # pair <holder> <checker> <label>
  local kit="\\\\?\\usb#vid_1a6a&pid_0100#cross-$3" map="Lumivex.CrossArch.$3.$$"
  rm -f "$work/ready" "$work/done"
  "$wine_run" "$1" hold "$kit" "$map" "$(winpath "$work/ready")" "$(winpath "$work/done")" &
  local holder=$!
  for _ in $(seq 600); do [ -f "$work/ready" ] && break; kill -0 $holder 2>/dev/null || break; sleep 0.1; done
  if [ ! -f "$work/ready" ]; then echo "FAIL $3: the holder never got ready"; fail=1; wait $holder; return; fi
  "$wine_run" "$2" check "$kit" "$map" || { echo "FAIL $3: check"; fail=1; }
  touch "$work/done"
  wait $holder || { echo "FAIL $3: the holder failed"; fail=1; }
  "$wine_run" "$2" free "$kit" || { echo "FAIL $3: the kit stayed taken after its holder ended"; fail=1; }
}
pair "$other" "$mine" other-holds
pair "$mine" "$other" this-holds
[ $fail -eq 0 ] && echo "ok"
exit $fail
