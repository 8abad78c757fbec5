#!/bin/bash
# scaleboot-cli.exe under Wine with a temporary folder mapped as the removable drive E: of the prefix: the
# common checks, typing the root as "e:" and taking C: as the computer's own disk.
#   wine-cli-test.sh WINE_RUN SCALEBOOT_CLI_EXE FIRMWARE_DIR
set -uo pipefail
wine_run=$1 exe=$2 firmware=$3
. "$(dirname "$0")/../win32/removable-drives.sh"

use_build_prefix "$exe"
wine_can_start "$exe" || { wine_start "$exe"; exit; }
# Creates the prefix when it is missing.
"$wine_run" "$exe" --version >/dev/null || { echo "FAIL: scaleboot-cli.exe does not start under Wine"; exit 1; }
card=$(mktemp -d)
map_removable_drive e "$card"

"$(dirname "$0")/check-cli.sh" "$firmware" "$card" "e:" 'E:\' "C:" "$WINEPREFIX/drive_c" "$wine_run" "$exe"
