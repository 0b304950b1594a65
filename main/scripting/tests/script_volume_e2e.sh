#!/usr/bin/env bash
# What a user's script wrote on the virtual device, judged outside Wine: the script test leaves
# its user area here, the volume is cut out of the image at its partition-table entry, and
# fsck.fat and mtools read the files the script wrote.
# Usage: script_volume_e2e.sh <wine-run> <scripting_win_tests.exe> <script folder>
set -uo pipefail
wine_run=$1 exe=$2 scripts=$3
work=$(mktemp -d /tmp/lx-script-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT
cut_volume=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)/scripts/cut-volume
winpath() { echo "Z:${1//\//\\}"; }

cd "$(dirname "$exe")" || exit 1
LX_SCRIPT_KEEP_AREA=$(winpath "$work/area") LX_SCRIPT_DIR=$(winpath "$scripts") \
  "$wine_run" "$exe" --gtest_filter='*AUsersScript*' || exit 1

fail=0
check() { if "$@"; then echo "ok   $*"; else echo "FAIL $*"; fail=1; fi; }
img="$work/area/User Data/Pallix.img"
check test -f "$img"
check "$cut_volume" "$img" 0 "$work/vol.img"
check fsck.fat -n "$work/vol.img"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
check test "$(mtype -i "$work/vol.img" ::/HELLO.TXT)" = "Hello, flash!"
mcopy -i "$work/vol.img" ::/DATA.BIN "$work/data.bin" 2>/dev/null
check test "$(stat -c %s "$work/data.bin" 2>/dev/null)" = 4096
check test "$(mtype -i "$work/vol.img" "::/DOCS/Notes on the chip.txt")" = "long name"
# The host file the script stored is the first 1,000 bytes of what it wrote to the device's end.
check test "$(stat -c %s "$work/area/block.bin" 2>/dev/null)" = 1000
exit $fail
