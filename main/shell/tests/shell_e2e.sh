#!/usr/bin/env bash
# The shell on the real virtual device under Wine; then the volume it wrote is cut out of the
# image at its partition-table entry and judged by fsck.fat and mtools.
set -uo pipefail
exe=$1; bindir=$2; wine_run=$3
work=$(mktemp -d /tmp/lx-shell-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/area/User Data" "$work/src/sub/deeper" "$work/back"
head -c 400000 /dev/urandom >"$work/src/big.bin"
printf 'hello\r\n' >"$work/src/small.txt"
: >"$work/src/empty.dat"
head -c 5000 /dev/urandom >"$work/src/sub/Report 2026 final.doc"
head -c 131072 /dev/urandom >"$work/src/sub/deeper/exact.bin"

cut_volume=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)/scripts/cut-volume
winpath() { echo "Z:${1//\//\\}"; }
cd "$bindir" || exit 1
LX_USER_AREA=$(winpath "$work/area") "$wine_run" "$exe" "$(winpath "$work/src")" "$(winpath "$work/back")" || exit 1

fail=0
check() { if "$@"; then echo "ok   $*"; else echo "FAIL $*"; fail=1; fi; }
img="$work/area/User Data/Pallix.img"
check test -f "$img"
check "$cut_volume" "$img" 0 "$work/vol.img"
check fsck.fat -n "$work/vol.img"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
m() { mtype -i "$work/vol.img" "::$1" 2>/dev/null; }
check cmp -s <(m /big.bin) "$work/src/big.bin"
check cmp -s <(m /copy.bin) "$work/src/big.bin"
check cmp -s <(m "/long folder name/A file with a long name.txt") "$work/src/small.txt"
check cmp -s <(m "/docs/sub/Report 2026 final.doc") "$work/src/sub/Report 2026 final.doc"
check cmp -s <(m /docs/sub/deeper/exact.bin) "$work/src/sub/deeper/exact.bin"
check cmp -s <(m /docs/empty.dat) /dev/null
check bash -c "! mdir -i '$work/vol.img' ::/gone.txt >/dev/null 2>&1"
check cmp -s "$work/back/copy.bin" "$work/src/big.bin"
check cmp -s "$work/back/docs/sub/deeper/exact.bin" "$work/src/sub/deeper/exact.bin"
exit $fail
