#!/usr/bin/env bash
# Lumivex as a newcomer meets it: a new Wine prefix, the installation as the build makes it (the
# program, the virtual device, the sample scripts, the licence and the scripting guide), no image
# yet. Driven from outside with keys and clicks only: the first mount fails and says why; a low
# level format, a format and a mount through Device > Open Device...; a PC file brought in with
# the command dialog; in the volume tree the file copied and pasted into a folder, then deleted
# there with the Delete key; every box under the program's name. The volume is judged at the end
# with fsck.fat and mtools.
# Usage: newcomer_e2e.sh <Lumivex.exe> <Pallix-VirtualDevice.dll> <installation folder> <newcomer_driver.exe> <work>
set -uo pipefail
exe=$1 device=$2 shipped=$3 driver=$4 work=$5
root=$(cd "$(dirname "$0")/../../.." && pwd)

export LX_E2E_NEW_PREFIX=1
source "$root/scripts/e2e-lib"
export LX_SCREENSHOT_DIR=$(winpath "${LX_BUILD_WIN:-$root/build/win64}/screenshots")
mkdir -p "${LX_BUILD_WIN:-$root/build/win64}/screenshots"

lx_e2e_install "$exe" "$device"
cp -r "$shipped/VBScript" "$shipped/help" "$shipped/LicenseAgreement.rtf" "$install/"
area=$docs/Keldorn/Lumivex
log=$work/prompts.log
: >"$log"
# Boxes are recorded and answered with their default button, so that none can hang the run; every
# dialog of the run is a real window all the same.
export LX_PROMPT_LOG=$(winpath "$log")

run() { timeout -k 5 120 "$@"; }
step() { run "$LX_WINE" "$(winpath "$driver")" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
# waits until the boxes' log holds the text (a fixed string), up to 60 seconds
said() {
  for _ in $(seq 600); do grep -qF -- "$1" "$log" && return 0; sleep 0.1; done
  return 1
}
# the caption of the last box with that text
caption_of() { grep -F -- "$1" "$log" | tail -1 | cut -f1; }

(cd "$install" && timeout -k 5 900 "$LX_WINE" Lumivex.exe >"$work/lumivex.out" 2>&1) &
lumivex=$!

# --- The first start registers, copies the samples and opens the licence ----------------------------
check "first start registers" said "Initial registration has been finished."
step wait Lumivex >/dev/null
for sample in ListFolder.vbs CopyPcFileIn.vbs ReadSectors.vbs; do
  check "sample $sample copied into User Script" cmp -s "$install/VBScript/$sample" "$area/User Script/$sample"
done
check "the licence is part of the installation" bash -c "! grep -q 'LicenseAgreement.rtf is missing' '$log'"
check "the licence opens" step opened LicenseAgreement
step shot Lumivex newcomer_first_start

# --- Device > Open Device...: the first mount fails and says why -------------------------------------
step menu d 0
check "Open Device opens from the Device menu" step wait "Open Device"
step click "Open Device" "Mount volume..."
step click "Select Volume" "Volume /a" && step click "Select Volume" "OK"
check "the first mount fails" said "Mount volume /a failed."
check "and names the missing image" grep -qF "Mount volume /a failed.\\nThe device image C:\\\\users\\\\$(id -un)\\\\Documents\\\\Keldorn\\\\Lumivex\\\\User Data\\\\Pallix.img is missing or cannot be opened." "$log"
check "and what makes it" grep -qF "A low level format creates it: Device > Open Device... > Low level format..." "$log"
check "the box is the program's" test "$(caption_of 'Mount volume /a failed.')" = Lumivex

# --- Low level format, format, mount ------------------------------------------------------------------
step click "Open Device" "Low level format..."
step click "Select Volume" "Volume /a" && step click "Select Volume" "OK"
step wait "Low Level Format" >/dev/null
step type "Low Level Format" 0 0x100000
step type "Low Level Format" 1 0x2000000
step shot "Low Level Format" newcomer_low_level_format
step click "Low Level Format" "OK"
check "low level format" said "Low level format finished."
check "it made the image" test -s "$area/User Data/Pallix.img"
step click "Open Device" "Format volume..."
step click "Select Volume" "Volume /a" && step click "Select Volume" "OK"
check "format" said "Format finished."
step click "Open Device" "Mount volume..."
step click "Select Volume" "Volume /a" && step click "Select Volume" "OK"
check "the volume mounts" step wait-text "Open Device" "The volume is currently mounted."
step shot "Open Device" newcomer_open_device_mounted
check "no mount failed after the format" test "$(grep -c 'Mount volume /a failed' "$log")" = 1
step click "Open Device" "OK"
check "the dialog closes" step gone "Open Device"

# --- A PC file comes in through the command dialog (Wine lists no PC drive in the tree) -------------
step menu t 0
title="Command dialog box for thread #1"
check "the command dialog opens from the Tools menu" step wait "$title"
step shot "$title" newcomer_command_dialog
for line in 'gfslExtCopy C:\windows\win.ini /a/win.ini' 'mkdir inbox'; do
  step type "$title" 0 "$line"
  step click "$title" "&Submit"
  outcome=$(step wait-output "* $line ")
  check "the command window ran: $line" test "$outcome" = "* $line had entered."
done

# --- The volume tree: copy and paste into a folder, then the Delete key ------------------------------
step menu v 0
check "the volume tree lists /a" step tree-click /a
step key tree 27  # Right: opens the selected folder
for _ in $(seq 100); do step tree-items | grep -qx /a/inbox && break; sleep 0.2; done
items=$(step tree-items)
check "/a/win.ini listed" grep -qx /a/win.ini <<<"$items"
check "/a/inbox listed" grep -qx /a/inbox <<<"$items"
step tree-click /a/win.ini right
check "a right click selects the file" step tree-selected /a/win.ini
step key tree 28 28 28 28 0D  # Down to Open, Add, Cut, Copy; Enter
step tree-click /a/inbox right
step key tree 28 28 28 28 28 0D  # ... Paste
check "the paste says so" said "Copy finished."
check "under the program's name" test "$(caption_of 'Copy finished.')" = Lumivex
# The paste leaves its folder selected (a click on it now would start renaming it).
check "the paste's folder is selected" step tree-selected /a/inbox
step key tree 27
for _ in $(seq 100); do step tree-items | grep -qx /a/inbox/win.ini && break; sleep 0.2; done
check "the pasted file is listed" bash -c "'$LX_WINE' '$(winpath "$driver")' tree-items 2>/dev/null | tr -d '\r' | grep -qx /a/inbox/win.ini"
step tree-click /a/inbox/win.ini
check "a click selects the pasted file" step tree-selected /a/inbox/win.ini
step shot Lumivex newcomer_tree_before_delete
step key tree 2E  # Delete
check "the Delete key deletes" said "Delete finished."
check "under the program's name" test "$(caption_of 'Delete finished.')" = Lumivex
for _ in $(seq 50); do step tree-items | grep -qx /a/inbox/win.ini || break; sleep 0.1; done
check "the deleted file leaves the tree" bash -c "! '$LX_WINE' '$(winpath "$driver")' tree-items 2>/dev/null | tr -d '\r' | grep -qx /a/inbox/win.ini"
step shot Lumivex newcomer_tree_after_delete

# --- The scripting guide of Script > Script Help... is part of the installation ------------------
check "the scripting guide is installed" test -s "$install/help/VBS GFSL User's Guide v1.0.5.doc"

check "Lumivex closes" step close
wait $lumivex
# A box given no caption is titled "Error" by Windows.
check "no box without the program's caption" bash -c "! cut -f1 '$log' | grep -qvx Lumivex"

# --- The volume, judged from outside --------------------------------------------------------------
img="$area/User Data/Pallix.img"
if "$root/scripts/cut-volume" "$img" 0 "$work/vol.img"; then
  check "fsck.fat finds the volume clean" fsck.fat -n "$work/vol.img"
  export MTOOLS_SKIP_CHECK=1
  check "the file brought in is on the volume" cmp -s <(mtype -i "$work/vol.img" ::/win.ini) "$WINEPREFIX/drive_c/windows/win.ini"
  check "the deleted copy is gone" bash -c "! mdir -i '$work/vol.img' ::/inbox/win.ini >/dev/null 2>&1"
  check "its folder stays" mdir -i "$work/vol.img" ::/inbox
else
  check "the volume can be cut out of the image" false
fi
echo "--- boxes of the run:"; cat "$log"
exit $fails
