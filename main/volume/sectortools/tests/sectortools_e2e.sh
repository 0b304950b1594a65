#!/usr/bin/env bash
# The sector tools on the virtual device, judged outside Wine: the window tests leave their user
# area here; the volume restored from a master volume file and the final volume are cut out of
# the images at their partition-table entry and checked with fsck.fat, and mtools reads the
# file whose byte the sector explorer changed.
# Usage: sectortools_e2e.sh <wine-run> <sectortools_win_tests.exe>
set -uo pipefail
wine_run=$1 exe=$2
work=$(mktemp -d /tmp/lx-sector-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT
cut_volume=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../.." && pwd)/scripts/cut-volume
winpath() { echo "Z:${1//\//\\}"; }

cd "$(dirname "$exe")" || exit 1
LX_SECTORTOOLS_KEEP_AREA=$(winpath "$work/area") "$wine_run" "$exe" \
  --gtest_filter='*MasterVolumeFile*:*ZAnEdit*' || exit 1

fail=0
check() { if "$@"; then echo "ok   $*"; else echo "FAIL $*"; fail=1; fi; }
check test -f "$work/area/restored.img"
check "$cut_volume" "$work/area/restored.img" 0 "$work/restored.vol"
check fsck.fat -n "$work/restored.vol"
img="$work/area/User Data/Pallix.img"
check "$cut_volume" "$img" 0 "$work/final.vol"
check fsck.fat -n "$work/final.vol"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
check bash -c "[ \"\$(mtype -i '$work/final.vol' ::/edit.txt)\" = \$'Hello world\r' ]"
check bash -c "mtype -i '$work/restored.vol' ::/master.txt | head -1 | grep -q '^line 0 of the duplicated file'"
exit $fail
