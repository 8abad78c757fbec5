#!/bin/bash
# Runs win32_platform_tests.exe under Wine with a temporary folder mapped as the removable drive E: of the
# prefix, then checks from outside Wine that the four files the tests wrote to that drive match the firmware.
#   run-platform-tests.sh WINE_RUN TEST_EXE FIRMWARE_DIR [GTEST_ARGUMENTS...]
set -uo pipefail
wine_run=$1 exe=$2 firmware=$3
shift 3

. "$(dirname "$0")/../removable-drives.sh"

use_build_prefix "$exe"
wine_can_start "$exe" || { wine_start "$exe"; exit; }
# Creates the prefix when it is missing.
"$wine_run" "$exe" --gtest_list_tests >/dev/null || { echo "FAIL: the test program does not start under Wine"; exit 1; }
card=$(mktemp -d)
map_removable_drive e "$card"

SCALEBOOT_TEST_REMOVABLE_ROOT='E:\' "$wine_run" "$exe" "$@"
status=$?

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
