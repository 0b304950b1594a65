#!/usr/bin/env bash
# The command window's shell words on the virtual device, judged outside Wine: the frame test
# leaves its user area here, the volume is cut out of the image at its partition-table entry,
# and fsck.fat and mtools read what the shell copied in.
# Usage: frame_shell_e2e.sh <wine-run> <main_frame_win_tests.exe>
set -uo pipefail
wine_run=$1 exe=$2
work=$(mktemp -d /tmp/lx-frame-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT
cut_volume=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)/scripts/cut-volume
winpath() { echo "Z:${1//\//\\}"; }

# Two PC files whose names differ only in case, which a Windows program cannot make.
mkdir -p "$work/area/site"
printf '<html>first</html>' >"$work/area/site/Index.html"
printf '<html>second, longer</html>' >"$work/area/site/index.html"

cd "$(dirname "$exe")" || exit 1
LX_FRAME_KEEP_AREA=$(winpath "$work/area") "$wine_run" "$exe" --gtest_filter='*ShellWords*' || exit 1

fail=0
check() { if "$@"; then echo "ok   $*"; else echo "FAIL $*"; fail=1; fi; }
img="$work/area/User Data/Pallix.img"
check test -f "$img"
check "$cut_volume" "$img" 0 "$work/vol.img"
check fsck.fat -n "$work/vol.img"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
check cmp -s <(mtype -i "$work/vol.img" ::/docs/source.bin) "$work/area/host/source.bin"
check bash -c "! mdir -i '$work/vol.img' ::/second.bin >/dev/null 2>&1"
# The copy that did not fit left nothing; of the two names one file arrived whole.
check bash -c "! mdir -i '$work/vol.img' ::/x.bin >/dev/null 2>&1"
check test "$(mdir -b -i "$work/vol.img" ::/site | grep -ci 'index.html$')" = 1
site=$(mtype -i "$work/vol.img" ::/site/index.html)
check bash -c "[ '$site' = '<html>first</html>' ] || [ '$site' = '<html>second, longer</html>' ]"
exit $fail
