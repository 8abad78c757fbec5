#!/bin/bash
# scaleboot-cli.exe under Wine with a temporary folder mapped as the removable drive E: of the prefix: the
# common checks, typing the root as "e:" and taking C: as the computer's own disk.
#   wine-cli-test.sh WINE_RUN SCALEBOOT_CLI_EXE FIRMWARE_DIR
set -uo pipefail
wine_run=$1 exe=$2 firmware=$3

export WINEDEBUG="${WINEDEBUG:--all}"
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$exe")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  export WINEPREFIX="$dir/wineprefix"
fi
# Creates the prefix when it is missing.
"$wine_run" "$exe" --version >/dev/null || { echo "FAIL: scaleboot-cli.exe does not start under Wine"; exit 1; }

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

"$(dirname "$0")/check-cli.sh" "$firmware" "$card" "e:" 'E:\' "C:" "$WINEPREFIX/drive_c" "$wine_run" "$exe"
