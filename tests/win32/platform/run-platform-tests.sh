#!/bin/bash
# Runs win32_platform_tests.exe under Wine with a temporary folder mapped as the removable drive E: of the
# prefix (and F:, G:, H: as fixed drives beside it), then checks from outside Wine that the four files the tests wrote to that
# drive match the firmware.
#   run-platform-tests.sh WINE_RUN TEST_EXE FIRMWARE_DIR [GTEST_ARGUMENTS...]
set -uo pipefail
wine_run=$1 exe=$2 firmware=$3
shift 3

. "$(dirname "$0")/../removable-drives.sh"
. "$(dirname "$0")/../../lib.sh"

use_build_prefix "$exe"
wine_can_start "$exe" || { wine_start "$exe"; exit; }
# Creates the prefix when it is missing.
"$wine_run" "$exe" --gtest_list_tests >/dev/null || { echo "FAIL: the test program does not start under Wine"; exit 1; }
card=$(mktemp -d) other=$(mktemp -d)
# For the folder identity test, as plain (fixed) drives: F: a second letter of E:'s folder, G: another card,
# H: a folder of E:'s card. Skipped where one of these letters is taken.
mkdir "$card/fw"
links=() cloned=1
for drive in "f|$card" "g|$other" "h|$card/fw"; do
  link="$WINEPREFIX/dosdevices/${drive%%|*}:"
  if [ -e "$link" ] || [ -L "$link" ]; then cloned=; else ln -s "${drive#*|}" "$link" && links+=("$link"); fi
done
map_removable_drive e "$card"
# The hidden window that takes a logoff needs a display; without one its test says it is skipped.
start_xvfb || echo "SKIP: no X display: the session-end window is not tested"
trap 'stop_xvfb; restore_removable_drives' EXIT

SCALEBOOT_TEST_REMOVABLE_ROOT='E:\' SCALEBOOT_TEST_CLONED_ROOTS=$cloned "$wine_run" "$exe" "$@"
status=$?
rm -f "${links[@]}"
rm -rf "$other"

# The run on drive E: leaves its four files for this check, unless a filter left that test out.
if [ $status -eq 0 ] && [ -e "$card/32yk2368.bin" ]; then
  for f in 32yk2368.bin 32yk936.bin yk2368.bin yk936.bin; do
    if cmp -s "$firmware/$f" "$card/$f"; then
      echo "PASS: E:\\$f equals $firmware/$f"
    else
      echo "FAIL: E:\\$f differs from $firmware/$f"
      status=1
    fi
  done
fi
exit $status
