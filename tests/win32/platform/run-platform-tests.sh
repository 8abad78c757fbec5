#!/bin/bash
# Runs win32_platform_tests.exe under Wine with a temporary folder mapped as the removable drive E: of the
# prefix, then checks from outside Wine that the four files the tests wrote to that drive match the firmware.
#   run-platform-tests.sh WINE_RUN TEST_EXE FIRMWARE_DIR [GTEST_ARGUMENTS...]
set -uo pipefail
wine_run=$1 exe=$2 firmware=$3
shift 3

export WINEDEBUG="${WINEDEBUG:--all}"
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$exe")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  export WINEPREFIX="$dir/wineprefix"
fi
# Creates the prefix when it is missing.
"$wine_run" "$exe" --gtest_list_tests >/dev/null || { echo "FAIL: the test program does not start under Wine"; exit 1; }

card=$(mktemp -d)
link="$WINEPREFIX/dosdevices/e:"
old_link=$(readlink "$link" 2>/dev/null || true)
had_key=0
wine reg query 'HKLM\Software\Wine\Drives' /v e: /reg:64 >/dev/null 2>&1 && had_key=1
restore() {
  if [ -n "$old_link" ]; then ln -sfn "$old_link" "$link"; else rm -f "$link"; fi
  [ "$had_key" = 1 ] || wine reg delete 'HKLM\Software\Wine\Drives' /v e: /f /reg:64 >/dev/null 2>&1
  wineserver -w
  rm -rf "$card"
}
trap restore EXIT

ln -sfn "$card" "$link"
wine reg add 'HKLM\Software\Wine\Drives' /v e: /d floppy /f /reg:64 >/dev/null
wineserver -w

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
