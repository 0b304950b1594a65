#!/usr/bin/env bash
# The volume tree in the frame, end to end: the Wine prefix gets a drive t: of its own (a fresh
# folder, and a small image behind its raw device so that the tree lists it), the window test
# runs, and then fsck.fat and mtools judge the volume it left: the volume is sound, every file
# copied from t: reads back byte for byte, and the properties window's sizes, counts and date
# agree with what mtools finds.
# Usage: tree_e2e.sh <wine-run> <voltree_win_tests.exe> <voltree_open_handler.exe>
set -uo pipefail
wine_run=$1 exe=$2 handler=$3
source "$(dirname "$wine_run")/wine-env"
lx_wine_prefix || exit 1
work=$(mktemp -d /tmp/lx-tree-e2e.XXXXXX)
drive="$WINEPREFIX/dosdevices/t:"
cleanup() { rm -f "$drive" "$drive:"; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/t" "$work/area"
dd if=/dev/zero of="$work/t.img" bs=512 count=64 status=none
ln -sfn "$work/t" "$drive"
ln -sfn "$work/t.img" "$drive:"
cut_volume=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../.." && pwd)/scripts/cut-volume
winpath() { echo "Z:${1//\//\\}"; }

cd "$(dirname "$exe")" || exit 1
LX_TREE_AREA=$(winpath "$work/area") LX_TREE_OPEN_HANDLER=$(winpath "$handler") "$wine_run" "$exe" || exit 1

fail=0
check() { if "$@"; then echo "ok   $*"; else echo "FAIL $*"; fail=1; fi; }
img="$work/area/User Data/Pallix.img"
check "$cut_volume" "$img" 0 "$work/vol.img"
check fsck.fat -n "$work/vol.img"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
check mcopy -s -n -i "$work/vol.img" ::/Reports "$work/out"
# Every file that came from t:/Reports reads back the same through mtools.
while IFS= read -r -d '' f; do
  check cmp -s "$work/t/Reports/$f" "$work/out/$f"
done < <(cd "$work/t/Reports" && find . -type f -print0)

# The properties window against mtools.
props="$work/area/props.txt"
check test -f "$props"
IFS='|' read -r _ file size modified < <(grep '^FILE|' "$props")
listing=$(mdir -i "$work/vol.img" "::$(dirname "$file")" | grep -F "$(basename "$file")")
mt_size=$(sed -E 's/^.* ([0-9]+) ([0-9]{4}-[0-9]{2}-[0-9]{2}) +([0-9]{1,2}:[0-9]{2}).*$/\1/' <<<"$listing")
mt_when=$(sed -E 's/^.* ([0-9]+) ([0-9]{4}-[0-9]{2}-[0-9]{2}) +([0-9]{1,2}:[0-9]{2}).*$/\2 \3/' <<<"$listing")
check test "$size" = "$mt_size Bytes"
ours=$(date -d "$(sed -E 's/^[A-Za-z]+, ([A-Za-z]+) ([0-9]+), ([0-9]+), (.*)$/\1 \2 \3 \4/' <<<"$modified")" '+%Y-%m-%d %H:%M')
mt=$(date -d "$mt_when" '+%Y-%m-%d %H:%M')
check test "$ours" = "$mt"
IFS='|' read -r _ folder fsize < <(grep '^FOLDER|' "$props")
files=$(find "$work/out" -type f | wc -l)
folders=$(find "$work/out" -mindepth 1 -type d | wc -l)
bytes=$(find "$work/out" -type f -printf '%s\n' | awk '{s += $1} END {print s + 0}')
check test "$fsize" = "$bytes Bytes ($files Files, $folders Folders)"
echo "properties: file $size, $modified; folder $fsize"
exit $fail
