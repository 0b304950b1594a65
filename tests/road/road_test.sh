#!/usr/bin/env bash
# The scripts of the README must fail when something fails:
#  - a build that fails stops scripts/build and scripts/test (never the old binaries tested);
#  - a ctest run of a tree without tests fails and is counted as "no tests ran";
#  - a run with tests counts them.
# A stand-in cmake on the PATH fails every call, so nothing real is configured or built here.
set -uo pipefail
root=$1
work=$(mktemp -d /tmp/lx-road.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if "$@"; then echo "ok   $*"; else echo "FAIL $*"; fail=1; fi; }

mkdir -p "$work/bin"
cat >"$work/bin/cmake" <<'SH'
#!/bin/sh
echo "stand-in cmake: failing with 2" >&2
exit 2
SH
chmod +x "$work/bin/cmake"

# The build: its own status, not that of the filter behind it.
PATH="$work/bin:$PATH" LX_BUILD_TREES=native "$root/scripts/build" >"$work/build.out" 2>&1
check test $? -ne 0
check grep -q "building build/native failed (exit 2)" "$work/build.out"

# The test command stops at the failed build: no ctest runs after it.
cat >"$work/bin/ctest" <<SH
#!/bin/sh
echo ran >>"$work/ctest-ran"
exit 0
SH
chmod +x "$work/bin/ctest"
PATH="$work/bin:$PATH" LX_BUILD_TREES=native "$root/scripts/test" >"$work/test.out" 2>&1
check test $? -ne 0
check grep -q "scripts/test: build failed" "$work/test.out"
check test ! -e "$work/ctest-ran"

# A tree whose tests are not registered: the run fails and says so.
mkdir -p "$work/empty/src"
printf 'cmake_minimum_required(VERSION 3.20)\nproject(e NONE)\nenable_testing()\n' >"$work/empty/src/CMakeLists.txt"
cmake -S "$work/empty/src" -B "$work/empty/build" >/dev/null
LX_TOTALS="$work/totals" "$root/scripts/ctest-run" empty "$work/empty/build" >"$work/empty.out" 2>&1
check test $? -ne 0
check grep -qx "empty: no tests ran" "$work/totals"

# A tree with tests: counted, a failure fails the run.
mkdir -p "$work/two/src"
printf 'cmake_minimum_required(VERSION 3.20)\nproject(t NONE)\nenable_testing()\nadd_test(NAME good COMMAND true)\nadd_test(NAME bad COMMAND false)\n' \
  >"$work/two/src/CMakeLists.txt"
cmake -S "$work/two/src" -B "$work/two/build" >/dev/null
LX_TOTALS="$work/totals" "$root/scripts/ctest-run" two "$work/two/build" >"$work/two.out" 2>&1
check test $? -ne 0
check grep -qx "two: 1/2 passed" "$work/totals"

# A display started while the caller holds a lock must not keep the lock: it outlives the caller.
(
  exec 9>"$work/held.lock"
  flock 9
  unset DISPLAY
  export LX_WINEPREFIX="$work/prefix" LX_BUILD_WIN="$work/win"
  source "$root/scripts/wine-env"
  lx_display >/dev/null 2>&1 || { echo "FAIL no display"; exit 1; }
  read -r _ pid <"$WINEPREFIX.xvfb"
  held=$(ls -l /proc/$pid/fd 2>/dev/null | grep -c "held.lock")
  kill "$pid" 2>/dev/null
  [ "$held" -eq 0 ] || { echo "FAIL the display holds the caller's lock file"; exit 1; }
  echo "ok   the display keeps no descriptor of its caller"
  # Nor does what "wine" and "wineserver" start (a server that lingers after the caller).
  out=$(wine cmd /c exit 0 >/dev/null 2>&1; for p in $(pgrep -f "wineserver" ); do
          [ "$(readlink /proc/$p/fd/* 2>/dev/null | grep -c held.lock)" -eq 0 ] || echo "$p"; done)
  wineserver -k >/dev/null 2>&1
  [ -z "$out" ] || { echo "FAIL a Wine server keeps the caller's lock file"; exit 1; }
  echo "ok   Wine keeps no descriptor of its caller"
) || fail=1

exit $fail
