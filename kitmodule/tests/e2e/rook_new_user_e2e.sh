#!/usr/bin/env bash
# The kit path as a new user meets it: Lumivex.exe with Tarn-Rook.dll as its device module over
# TarnControl and a simulated kit holding its default NOR chip, no configuration given beforehand,
# driven from outside. Device > Open Device... brings up the kit's configuration sheet; the part that
# matches the chip is picked from the Predefined List; the device opens without any identity
# question, and the NOR explorer shows the chip.
# Usage: rook_new_user_e2e.sh <Lumivex.exe> <bin folder> <rook_e2e_driver.exe> <close_main_window.exe> <work>
set -uo pipefail
exe=$1 bin=$2 driver=$3 closer=$4 work=$5
root=$(cd "$(dirname "$0")/../../.." && pwd)

source "$root/scripts/e2e-lib"
source "$(dirname "$0")/rook_e2e_install.sh"
export LX_SCREENSHOT_DIR=$(winpath "${LX_BUILD_WIN:-$root/build/win64}/screenshots")

run() { timeout -k 5 120 "$@"; }
install=$work/install
rook_install "$install" "$exe" "$bin"
# What a user with a kit puts beside the program: its FPGA image (here the stand-in).
"$root/scripts/standin-fpga-image" "$install"

# Boxes are recorded (and answered with their default button) so that none can hang the run; the
# sheet is a real window all the same, since no preset is given.
export LX_PROMPT_LOG=$(winpath "$work/prompts.log")
# The kits' serials come from the test's registration (cmake/KitSerials.cmake).
export LX_KITSIM=II LX_KITSIM_SERIAL=${LX_KITSIM_SERIAL:?no serial base for the simulated kits} LX_TARNROOK_CLOCK_SPEED=1
unset LX_TARNROOK_PRESET
(cd "$install" && run "$LX_WINE" regsvr32 /s TarnControl.dll >/dev/null 2>&1)
(cd "$install" && run "$LX_WINE" Lumivex.exe /RegServer >/dev/null 2>&1)
step() { run "$LX_WINE" "$(winpath "$driver")" "$@" 2>&1 | tr -d '\r'; }

(cd "$install" && timeout -k 5 600 "$LX_WINE" Lumivex.exe >/dev/null 2>&1) &
lumivex=$!

info=$(step sheet 0 Oska OS064NSI tarnrook_new_user_sheet tarnrook_new_user_open_device)
echo "$info"
check "the sheet lists the simulated chip's part and the device opens with it" grep -q '^\[JEDEC ID:7E1001\]' <<<"$info"
check "as a legacy NOR of the chip's size" bash -c 'grep -q -- "-Type: Legacy NOR" <<<"$0" && grep -q -- "-Chip Size: 8388608 Bytes" <<<"$0"' "$info"
check "no identity question was asked" bash -c '! grep -qi "device ID" "$0" 2>/dev/null' "$work/prompts.log"
check "no box said the kit failed" bash -c '! grep -qi "failed" "$0" 2>/dev/null' "$work/prompts.log"
title=$(step explorer tarnrook_new_user_explorer)
echo "$title"
check "the NOR explorer shows the chip's first window" grep -q '^Device Explorer: window#0/8191$' <<<"$title"

check "Lumivex closes" run "$LX_WINE" "$(winpath "$closer")" tarnrook_new_user_frame
wait $lumivex
if [ -s "$work/prompts.log" ]; then echo "--- boxes of the run:"; cat "$work/prompts.log"; fi
exit $fails
