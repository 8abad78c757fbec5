#!/bin/bash
# scaleboot-cli station where its output goes away, on the loop card tests/linux/removable-card.sh makes: behind
# `2>&1 | tee` whose tee ends while a card is written, then SIGINT; and SIGHUP while a card is written (an ssh
# session that drops). Each card is finished, whole and logged, and the status says what was lost. As root, a
# --log that is a symbolic link or a FIFO nobody reads is refused at once, the file behind the link untouched.
#   linux-station-hangup-test.sh FIRMWARE_DIR SCALEBOOT_CLI
set -u
firmware=$1 cli=$2
card=${SCALEBOOT_TEST_CARD:?run under tests/linux/removable-card.sh}
device=$SCALEBOOT_TEST_CARD_DEVICE type=$SCALEBOOT_TEST_CARD_TYPE
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/cli-checks.sh"
work=$(mktemp -d) || exit 1
trap 'kill "$station" "$reader" 2>/dev/null; wait; rm -rf "$work"' EXIT
station= reader=
wait_for() {
  local i
  for i in $(seq 300); do grep -qF -- "$1" "$2" && return 0; sleep 0.1; done
  return 1
}
logged_once() {
  python3 -c 'import json, sys; r = [json.loads(l) for l in open(sys.argv[1])]; sys.exit(0 if len(r) == 1 and r[0]["outcome"] == "verified" else 1)' "$work/cards.log"
}
image=$(losetup -nO BACK-FILE "$device")
# start_station OUTPUT: the station watching the card's reader, empty (the card taken out: a card there at the
# start would be left alone), its output into OUTPUT.
start_station() {
  umount "$card" 2>/dev/null
  losetup -d "$device"
  rm -f "$work/cards.log"
  "$cli" station "$device" --no-eject --json --log "$work/cards.log" >"$1" 2>&1 &
  station=$!
}
# insert_and_wait OUTPUT: the card put in once the station watches its reader; returns once it is written.
insert_and_wait() {
  wait_for "watching: $device" "$1" && losetup "$device" "$image" && mount -t "$type" "$device" "$card" &&
    rm -f "$card"*.bin && wait_for "writing..." "$1"
}

mkfifo "$work/pipe"
tee "$work/seen" <"$work/pipe" >/dev/null &
reader=$!
start_station "$work/pipe"
insert_and_wait "$work/seen"
kill "$reader"
# Gone before the station writes again: its next write finds nobody reading.
wait "$reader" 2>/dev/null
kill -INT "$station"
wait "$station"
status=$?
check "behind a pipe whose reader ended, the station is not killed: status 3 (output lost), not $status" \
  test "$status" -eq 3
check "... its card is finished" holds_module "$card"
check "... and logged" logged_once

start_station "$work/err"
insert_and_wait "$work/err"
kill -HUP "$station"
wait "$station"
status=$?
check "SIGHUP while a card is written ends the station with status 0 ($status)" test "$status" -eq 0
check "... once its card is finished" holds_module "$card"
check "... logged" logged_once
check "... and the summary said" grep -qF "1 written, 0 failed" "$work/err"

echo kept >"$work/system.conf"
ln -s system.conf "$work/link.log"
mkfifo "$work/fifo.log"
run() { timeout 20 "$cli" station --log "$1" >"$work/out" 2>&1; }
run "$work/link.log"
check "as root a --log that is a symbolic link is refused with status 2" test $? -eq 2
check "... saying why" grep -qF "it is a symbolic link" "$work/out"
check "... the file it points at untouched" test "$(cat "$work/system.conf")" = kept
run "$work/fifo.log"
check "a --log that is a FIFO nobody reads is refused at once with status 2" test $? -eq 2
check "... saying why" grep -qF "a pipe or a socket that nobody reads" "$work/out"
finish
