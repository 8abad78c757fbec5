#!/bin/bash
# scaleboot-cli.exe station under Wine: E: is registered as a removable drive before the start, mapped to a
# folder that does not exist yet (an empty reader), so the station watches it; the folder made during the run is
# a card that appears and is written, verified and logged. C:, a fixed disk named as a reader too, is refused
# and said so once. The station is then ended by killing its process:
# waiting for wineserver while it runs would wait for the station.
#   wine-station-test.sh WINE_RUN SCALEBOOT_CLI_EXE FIRMWARE_DIR
set -uo pipefail
wine_run=$1 exe=$2 firmware=$3
. "$(dirname "$0")/../win32/removable-drives.sh"
. "$(dirname "$0")/../lib.sh"

use_build_prefix "$exe"
wine_can_start "$exe" || { wine_start "$exe"; exit; }
"$wine_run" "$exe" --version >/dev/null || { echo "FAIL: scaleboot-cli.exe does not start under Wine"; exit 1; }
card=$(mktemp -d) work=$(mktemp -d)
map_removable_drive e "$card"
rmdir "$card"
holds_module() {
  local file
  for file in 32yk2368.bin 32yk936.bin yk2368.bin yk936.bin; do cmp -s "$firmware/$file" "$card/$file" || return 1; done
}
wait_for() {
  local i
  for i in $(seq 300); do grep -qF -- "$1" "$2" && return 0; sleep 0.1; done
  return 1
}

wine_start "$exe" station E: C: --no-eject --log "Z:$work/cards.log" >"$work/out" 2>"$work/err" &
check "an empty reader at the start is watched, not left alone" wait_for "watching: E:" "$work/err"
sleep 1.5
mkdir "$card"
check "a card appearing in the watched letter is written" \
  wait_for "E: Module creation completed successfully; remove the card" "$work/err"
check "and holds the module" holds_module
logged() {
  python3 -c 'import json, sys; r = [json.loads(l) for l in open(sys.argv[1])]; sys.exit(0 if len(r) == 1 and r[0]["root"] == "E:\\" and r[0]["outcome"] == "verified" else 1)' "$work/cards.log"
}
check "its record is appended to the log" logged
refused_once() { [ "$(grep -cF "'C:' is not a removable drive; nothing was written." "$work/err")" -eq 1 ]; }
check "a named reader that is a fixed disk is refused, and said so once" refused_once
# The station's own process, found by the log path that only this run names.
station=$(pgrep -f -- "station E: C: --no-eject --log Z:$work/cards.log" | head -n1)
[ -n "$station" ] && kill "$station"
for i in $(seq 50); do kill -0 "$station" 2>/dev/null || break; sleep 0.1; done
cat "$work/err"
rm -rf "$work"
finish
