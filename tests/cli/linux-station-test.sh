#!/bin/bash
# scaleboot-cli station on real removable cards, the two that tests/linux/removable-card.sh mounts for it
# (SCALEBOOT_TEST_CARDS=2): the first is there before the start and must be left alone; the second, mounted
# while the station runs, is written, verified and logged; unmounted and mounted again, it is a new insertion
# and written again; SIGINT during a run finishes that card and ends with the summary; cards there at the start,
# a whole one and a half-written one, get their verdicts and are not written.
#   linux-station-test.sh FIRMWARE_DIR SCALEBOOT_CLI
set -u
firmware=$1 cli=$2
a=${SCALEBOOT_TEST_CARD:?run under tests/linux/removable-card.sh} b=${SCALEBOOT_TEST_CARD2:?run with two cards}
device=$SCALEBOOT_TEST_CARD2_DEVICE type=$SCALEBOOT_TEST_CARD_TYPE
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/cli-checks.sh"
work=$(mktemp -d) || exit 1
trap 'kill "$station" 2>/dev/null; rm -rf "$work"' EXIT
empty() { [ -z "$(ls -A "$1")" ]; }
# wait_for TEXT FILE: up to 30 seconds until FILE holds TEXT.
wait_for() {
  local i
  for i in $(seq 300); do grep -qF -- "$1" "$2" && return 0; sleep 0.1; done
  return 1
}
ended_lines() { grep -cE '^[0-9]{2}:[0-9]{2}:[0-9]{2} ' "$work/err"; }

umount "$b" || { fail "the second card cannot be unmounted before the start"; finish; }
"$cli" station --no-eject --log "$work/cards.log" >"$work/out" 2>"$work/err" &
station=$!
check "the card there at the start is left alone" wait_for "left alone (there before the start): ${a%/}" "$work/err"
sleep 1.5
mount -t "$type" "$device" "$b" || { fail "the second card cannot be mounted"; finish; }
wait_for "${b%/}: Module creation completed successfully; remove the card" "$work/err"
check "a card mounted while the station runs is written and verified" holds_module "$b"
# Still mounted after its run: not written again until its removal has been seen.
sleep 2.5
check "a card left in after its run is not written again" test "$(ended_lines)" -eq 1
rm -f "$b"*.bin && umount "$b" && sleep 1.5 && mount -t "$type" "$device" "$b"
for i in $(seq 300); do [ "$(ended_lines)" -ge 2 ] && break; sleep 0.1; done
check "unmounted and mounted again, the card is a new insertion, written and verified" holds_module "$b"
kill -INT "$station"
wait "$station"
status=$?
check "SIGINT ends the station with status 0 and the summary" test "$status" -eq 0
check "the summary counts both runs" grep -qF "scaleboot-cli: 2 written, 0 failed" "$work/err"
check "the card there at the start was never written" empty "$a"
check "nothing but JSON would go to standard output: without --json it stays empty" test ! -s "$work/out"
hashes=$(cd "$firmware" && sha256sum 32yk2368.bin 32yk936.bin yk2368.bin yk936.bin | cut -d' ' -f1 | paste -sd,)
log_ok() {
  python3 - "$work/cards.log" "$b" "$hashes" <<'PY'
import json, sys
lines = open(sys.argv[1]).read().splitlines()
records = [json.loads(line) for line in lines]
ok = len(records) == 2 and all(
    r["root"] == sys.argv[2] and r["outcome"] == "verified" and r["io_code"] == 0 and r["ejected"] is False
    and r["time"].endswith("Z") and r["program"] == "scaleboot-cli"
    and ",".join(f["sha256"] for f in r["files"]) == sys.argv[3]
    and [f["firmware"] for f in r["files"]] == ["P32xx35", "P3218xx", "P28xx35", "P2829xx"] for r in records)
sys.exit(0 if ok else 1)
PY
}
check "the log holds one line per card with the images' SHA-256 as sha256sum computes it" log_ok

# SIGINT while a card is being written: that card is finished, then the summary.
rm -f "$b"*.bin && umount "$b"
rm -f "$work/err"
"$cli" station "$device" >"$work/out" 2>"$work/err" &
station=$!
wait_for "watching: $device" "$work/err"
mount -t "$type" "$device" "$b"
wait_for "writing..." "$work/err"
kill -INT "$station"
wait "$station"
status=$?
check "the finished card is ejected: its file system is no longer mounted" eval '! mountpoint -q "$b"'
mount -t "$type" "$device" "$b"
check "a card being written when SIGINT came is finished" holds_module "$b"
check "then the summary; the card counts as written whatever its eject" grep -qF "1 written, 0 failed" "$work/err"
check "the station named by its reader's device path ends with status 0" test "$status" -eq 0

# Cards there at the start, one whole and one whose first file was cut short (a station killed mid-write):
# each is checked and said with its verdict, neither is written.
cp "$firmware"/*.bin "$a" && truncate -s 1000 "$b/32yk2368.bin" && sync
before=$(cat "$a"/*.bin "$b"/*.bin | sha256sum)
"$cli" station --json --no-eject >"$work/out" 2>"$work/err" &
station=$!
for i in $(seq 300); do [ "$(grep -c '"event":"present"' "$work/out")" -ge 2 ] && break; sleep 0.1; done
kill -INT "$station"
wait "$station"
status=$?
verdict_of() { grep '"event":"present"' "$work/out" | grep -F "\"root\":\"$1\"" | grep -qF "\"verdict\":\"$2\""; }
check "present at the start, the whole card is this module" verdict_of "$a" this-module
check "present at the start, the half-written card is damaged" verdict_of "$b" damaged
check "its line says to take it out and insert it again" grep -qF "take it out and insert it again" "$work/err"
check "neither card present at the start is written" test "$(cat "$a"/*.bin "$b"/*.bin | sha256sum)" = "$before"
check "present cards change neither the counts nor the status" eval \
  'grep -qF "0 written, 0 failed" "$work/err" && [ "$status" -eq 0 ]'
cat "$work/err"
finish
