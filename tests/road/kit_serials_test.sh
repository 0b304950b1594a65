#!/usr/bin/env bash
# Kit serials on the test road: the table (cmake/KitSerials.cmake) refuses a repeated base when it is
# read, and the check of the registered tests (check_kit_serials.cmake) refuses two runs whose kits
# share serials. Given a build tree, that tree's own tests are checked last.
# Usage: kit_serials_test.sh <project folder> [<build tree>]
set -uo pipefail
root=$1 tree=${2:-}
work=$(mktemp -d /tmp/lx-kitserials.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; fail=1; fi
}
refused() { ! "$@" >"$work/out" 2>&1; }
says() { grep -q -- "$1" "$work/out" || { cat "$work/out"; return 1; }; }

# --- The table -----------------------------------------------------------------------------------
table() {  # table <rows...>: the table's check over these rows, in script mode
  printf 'cmake_minimum_required(VERSION 3.20)\ninclude(%s/cmake/KitSerials.cmake)\nlx_kit_serials_check("%s")\n' "$root" "$*" >"$work/table.cmake"
  cmake -P "$work/table.cmake"
}
printf 'cmake_minimum_required(VERSION 3.20)\ninclude(%s/cmake/KitSerials.cmake)\n' "$root" >"$work/read.cmake"
check "the project's table is read" cmake -P "$work/read.cmake"
check "distinct bases pass" table "a;4C581000;b;4C582000;c;4C582100"
check "a repeated base is refused" refused table "a;4C581000;b;4C585000;c;4C585000"
check "  naming both runs" says "c (4C585000) repeats the serials of b (4C585000)"
check "a base inside another run's block is refused" refused table "a;4C585000;b;4C5850FF"
check "  naming both runs" says "b (4C5850FF) repeats the serials of a (4C585000)"
check "a run with two rows is refused" refused table "a;4C581000;a;4C582000"
check "  saying so" says "a has two rows"
check "a base that is no serial is refused" refused table "a;4C58100"
check "  saying so" says "not eight hex digits"
lookup() {
  printf 'cmake_minimum_required(VERSION 3.20)\ninclude(%s/cmake/KitSerials.cmake)\nlx_kit_serial(%s base)\nmessage(STATUS "base=${base}")\n' \
    "$root" "$1" >"$work/lookup.cmake"
  cmake -P "$work/lookup.cmake"
}
lookup_gives() { lookup "$1" 2>&1 | grep -q "base=$2"; }
check "a run finds its base" lookup_gives fwupdate_win_tests 4C585000
check "a run without a row is refused" refused lookup no_such_run
check "  saying so" says "no_such_run uses simulated kits but has no row"

# --- The registered tests ------------------------------------------------------------------------
listing() {  # listing <name=environment>...: a ctest listing of tests with these environments
  local first=1 t name env
  printf '{"kind":"ctestInfo","version":{"major":1,"minor":0},"tests":['
  for t in "$@"; do
    name=${t%%=*} env=${t#*=}
    [ $first = 1 ] || printf ','
    first=0
    printf '{"name":"%s","properties":[{"name":"ENVIRONMENT","value":[' "$name"
    local e sep=
    IFS=';' read -ra parts <<<"$env"
    for e in "${parts[@]}"; do printf '%s"%s"' "$sep" "$e"; sep=,; done
    printf ']},{"name":"TIMEOUT","value":300}]}'
  done
  printf '],"backtraceGraph":{}}'
}
tests_check() {
  listing "$@" >"$work/tests.json"
  cmake -DTESTS_JSON="$work/tests.json" -P "$root/tests/road/check_kit_serials.cmake"
}
check "runs with serials of their own pass" \
  tests_check "a=LX_KITSIM=II;LX_KITSIM_SERIAL=4C585000" "b=LX_KITSIM=II;LX_KITSIM_SERIAL=4C585200" "c=LX_KITSIM=0"
check "two runs with one serial are refused" refused \
  tests_check "fw=LX_KITSIM=II;LX_KITSIM_SERIAL=4C585000" "lld=LX_KITSIM=II;LX_KITSIM_SERIAL=4C585000"
check "  naming both runs" says "lld (4C585000) shares its kits' serials with fw (4C585000)"
check "two runs on the simulator's default are refused" refused tests_check "a=LX_KITSIM=II" "b=LX_KITSIM=I,I"
check "runs without kits need no serial" tests_check "a=LX_KITSIM=II" "b=LX_KITSIM=0" "c=OTHER=1"

if [ -n "$tree" ]; then
  check "the tests of $tree have serials of their own" cmake -DBUILD_TREE="$tree" -P "$root/tests/road/check_kit_serials.cmake"
fi
exit $fail
