#!/usr/bin/env bash
# End to end under Wine, in a prefix of its own so that the first run really is the first:
# registration on first start, none on the second, again for a newer build; and the
# external-library self test on the console.
# Usage: startup_e2e.sh <Lumivex.exe> <close_main_window.exe> <fixtures folder> <work folder> [virtual device dll]
set -uo pipefail
exe=$1 closer=$2 fixtures=$3 work=$4 virtual=${5:-}
root=$(cd "$(dirname "$0")/../../.." && pwd)

source "$root/scripts/e2e-lib"

install=$work/install
mkdir -p "$install/VBScript" "$install/External FS Module" "$work/elsewhere"
cp "$exe" "$install/Lumivex.exe"
printf 'MsgBox "one"\r\n' >"$install/VBScript/one.vbs"
printf 'MsgBox "two"\r\n' >"$install/VBScript/two.vbs"
cp "$fixtures/lxfix_device_all.dll" "$install/External FS Module/"
key='HKCU\Software\Keldorn\Lumivex'

start_and_close() {  # start_and_close <prompt log> <shot name>
  (cd "$work/elsewhere" && LX_PROMPT_LOG=$(winpath "$1") wine "$(winpath "$install/Lumivex.exe")" >/dev/null 2>&1) &
  local pid=$!
  wine "$(winpath "$closer")" "$2" >/dev/null 2>&1
  local closed=$?
  wait $pid
  return $closed
}
reg_value() { wine reg query "$key\\$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v v="$2" '$0 ~ v {print $NF}'; }
reg_path() { wine reg query "$key\\$1" /v "Full Path" 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'; }
lower() { tr '[:upper:]' '[:lower:]'; }

# --- First start: registration -------------------------------------------------------------
check "first start shows and closes its window" start_and_close "$work/first.log" lumivex_first_start
check "first start registers" grep -q "Initial registration has been finished" "$work/first.log"
check "install folder is the program's own folder" \
  test "$(reg_path 'Main App' | lower)" = "$(winpath "$install" | lower)"
check "build number stored" test "$(reg_value 'Main App' 'File Version')" = 001007025002
area=$(reg_path 'User Area')
check "user area below the documents folder" test "$(echo "$area" | lower)" = 'c:\users\root\documents\keldorn\lumivex'
for folder in "User Data" "User Data/External Vyr Module" "User Data/External Vyr Module/Results" \
              "User Data/External Vyr Module/Temp" "User Script"; do
  check "folder $folder" test -d "$docs/Keldorn/Lumivex/$folder"
done
check "sample scripts copied" cmp -s "$install/VBScript/one.vbs" "$docs/Keldorn/Lumivex/User Script/one.vbs"
check "setup.ini created in the install folder" test -f "$install/setup.ini"

# --- Second start, same build: nothing again -----------------------------------------------
printf 'changed' >"$docs/Keldorn/Lumivex/User Script/two.vbs"
check "second start" start_and_close "$work/second.log" lumivex_second_start
check "second start does not register" bash -c "! grep -qs 'Initial registration' '$work/second.log'"

# --- A newer build than the stored one registers again; an older one does not --------------
wine reg add "$key\\Main App" /v "File Version" /d 001007025001 /f >/dev/null 2>&1
check "start after an older build" start_and_close "$work/third.log" lumivex_third_start
check "newer build registers again" grep -q "Initial registration has been finished" "$work/third.log"
check "build number restored" test "$(reg_value 'Main App' 'File Version')" = 001007025002
check "existing scripts stay untouched" grep -q changed "$docs/Keldorn/Lumivex/User Script/two.vbs"
wine reg add "$key\\Main App" /v "File Version" /d 999007025002 /f >/dev/null 2>&1
check "start with a newer stored build" start_and_close "$work/fourth.log" lumivex_fourth_start
check "stored newer build: no registration" bash -c "! grep -qs 'Initial registration' '$work/fourth.log'"

# --- Missing install folder ----------------------------------------------------------------
wine reg delete "$key\\Main App" /v "Full Path" /f >/dev/null 2>&1
(cd "$work/elsewhere" && LX_PROMPT_LOG=$(winpath "$work/noinstall.log") timeout 60 "$LX_WINE" "$(winpath "$install/Lumivex.exe")" >/dev/null 2>&1)
check "no install folder: the program asks for registration and ends" \
  grep -q "Please, select Register Lumivex from Windows Start menu." "$work/noinstall.log"

# --- The register switch registers and ends ------------------------------------------------
(cd "$work/elsewhere" && LX_PROMPT_LOG=$(winpath "$work/register.log") timeout 60 "$LX_WINE" "$(winpath "$install/Lumivex.exe")" /Register >/dev/null 2>&1)
check "register switch registers" grep -q "Initial registration has been finished" "$work/register.log"
check "register switch stores the install folder" \
  test "$(reg_path 'Main App' | lower)" = "$(winpath "$install" | lower)"

# --- External-library self test ------------------------------------------------------------
selftest() {  # selftest <name> <arguments...>: output in $work/<name>.out, boxes in <name>.log
  local name=$1; shift
  (cd "$work/elsewhere" && LX_PROMPT_LOG=$(winpath "$work/$name.log") timeout 60 \
     "$LX_WINE" "$(winpath "$install/Lumivex.exe")" extlibtest "$@" 2>/dev/null | tr -d '\r' >"$work/$name.out")
}
has() { grep -qF -- "$2" "$work/$1.out"; }
hasnot() { ! grep -qF -- "$2" "$work/$1.out"; }

selftest full /L:F "$(winpath "$fixtures/lxfix_device_all.dll")"
check "self test header" has full "<INFO>    : Test Level = 1, Failure Handling = 0"
check "self test loads" has full '<INFO>    : Loading library "'
check "self test done" has full '<INFO>    : Done. ("'
check "self test starts" has full '<INFO>    : Starting test with "gfslDoSelfTest".'
check "library lines" has full "<ERROR>   : fixture error one"
check "library warning" has full "<WARNING> : fixture warning"
check "level 3 is filtered" hasnot full "fixture chatter"
check "result line" has full "========== Result: 1 Errors, 2 Warnings =========="
check "lines are dated" grep -qE '^[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} <INFO>' "$work/full.out"

selftest quiet /M:0 /T:2 /F:C /L:F "$(winpath "$fixtures/lxfix_device_all.dll")"
check "message level 0 keeps errors" has quiet "<ERROR>   : fixture error one"
check "message level 0 drops info" hasnot quiet "<INFO>"
check "message level 0 counts no warnings" has quiet "========== Result: 1 Errors, 0 Warnings =========="

selftest levels /l:f "$(winpath "$fixtures/lxfix_device_all.dll")" /T:2 /F:c
check "lower-case flags and levels reach the library" has levels "fixture test level 2, failure handling 1"

selftest fatal /L:F "$(winpath "$fixtures/lxfix_device_only.dll")"
check "fatal result" has fatal '<FATAL>   : Fatal error occurred while invoking "gfslDoSelfTest".'
check "no result line after a fatal result" hasnot fatal "Result:"

selftest missing /L:F "$(winpath "$fixtures/lxfix_vyr.dll")"
check "library without the self test" has missing '<FATAL>   : Fatal error occurred while invoking "gfslDoSelfTest".'
check "its stub said so" grep -q "gfslDoSelfTest is not supported." "$work/missing.log"

selftest fallback /L:F lxfix_device_all.dll
check "fallback to the module folder" has fallback "<INFO>    : Failed. Try to load from default path."
check "fallback loads" has fallback "External FS Module\\lxfix_device_all.dll"
check "fallback runs" has fallback "Result: 1 Errors, 2 Warnings"

selftest nolib /L:F nowhere.dll
check "no library" has nolib "<FATAL>   : Cannot load library file."
check "no result without a library" hasnot nolib "Result:"

selftest noflag
check "missing /L" has noflag '<FATAL>   : "/L:lib-type lib-path" is needed.'
selftest between /L:F /T:2 x.dll
check "path must follow /L" has between '<FATAL>   : Invalid parameter "x.dll"'
check "no test after an error" hasnot between "Loading library"

if [ -n "$virtual" ]; then
  check "virtual device module exists" test -f "$virtual"
  # The virtual device has no self test of its own: it leaves gfslDoSelfTest out of its exports
  # (its binding reports that slot missing), so the binder's stub answers the call. The run must
  # load the module itself, reach the stub, which says so in its box, and end with the fatal line
  # and no result line.
  selftest virtual /L:F "$(winpath "$virtual")"
  check "virtual device loads from the path given" has virtual "\\$(basename "$virtual")\")"
  check "virtual device: the test starts" has virtual '<INFO>    : Starting test with "gfslDoSelfTest".'
  check "virtual device: the stub says the module has no self test" \
    grep -q "gfslDoSelfTest is not supported." "$work/virtual.log"
  check "virtual device: the fatal line" has virtual '<FATAL>   : Fatal error occurred while invoking "gfslDoSelfTest".'
  check "virtual device: no result line after the fatal one" hasnot virtual "Result:"
  cp "$work/virtual.out" "$work/../virtual-device-selftest.txt" 2>/dev/null
fi

echo "startup_e2e: $passes passed, $fails failed"
[ "$fails" -eq 0 ]
