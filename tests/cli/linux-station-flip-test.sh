#!/bin/bash
# scaleboot-cli station on a card whose store changes a sector: a file system on a loop device over the file
# that tests/linux/flipping-store.c serves, which inverts one byte of the sector that starts an image on its
# way to the store. The station must end that card with the mismatch line and three bells and delete its four
# files. The same card over the same store, with nothing changed, is written and verified: the mismatch comes
# from the changed byte, not from the store itself. Runs under tests/linux/removable-card.sh for its private mount
# namespace as root (its own card there before the start is left alone).
#   linux-station-flip-test.sh FIRMWARE_DIR SCALEBOOT_CLI FLIPPING_STORE
set -u
firmware=$1 cli=$2 store=$3
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/cli-checks.sh"
[ "$(id -u)" -eq 0 ] || { echo "skipped: not root (loop devices and mounts)"; exit 77; }
[ -c /dev/fuse ] || { echo "skipped: no /dev/fuse"; exit 77; }
# The file system removable-card.sh chose: FAT where the kernel has it, else ext2.
type=${SCALEBOOT_TEST_CARD_TYPE:?run under tests/linux/removable-card.sh}
case "$type" in
  vfat) mkfs=(mkfs.vfat -n SCALEBOOT) ;;
  *) mkfs=(mke2fs -q -t ext2 -F -L SCALEBOOT) ;;
esac
work=$(mktemp -d) || exit 1
station= store_pid= device= flag=
detach() {
  [ -n "$station" ] && kill "$station" 2>/dev/null && wait "$station" 2>/dev/null
  mountpoint -q "$work/card" && umount "$work/card"
  [ -n "$flag" ] && umount "$flag" 2>/dev/null
  [ -n "$device" ] && losetup -d "$device" 2>/dev/null
  mountpoint -q "$work/store" && umount "$work/store"
  [ -n "$store_pid" ] && wait "$store_pid" 2>/dev/null
  station= store_pid= device= flag=
}
log_args=() log_pid=
trap 'detach; mountpoint -q "$work/logstore" && umount "$work/logstore"; [ -n "$log_pid" ] && wait "$log_pid"
  rm -rf "$work"' EXIT
wait_for() {  # wait_for TEXT FILE: up to 30 seconds until FILE holds TEXT
  local i
  for i in $(seq 300); do grep -sqF -- "$1" "$2" && return 0; sleep 0.1; done
  return 1
}

# new_card CHANGED: a fresh card image over the store, inverting a byte of the sector that starts the first image
# when CHANGED is 1, on a loop device flagged removable (not mounted yet).
new_card() {
  rm -rf "$work/store" "$work/card" "$work/err" "$work/card.img" && mkdir "$work/store" "$work/card"
  truncate -s 8M "$work/card.img" && "${mkfs[@]}" "$work/card.img" >/dev/null || return 1
  local changed=-
  [ "$1" -eq 1 ] && changed=$firmware/32yk2368.bin
  "$store" "$work/card.img" "$work/store" "$changed" &
  store_pid=$!
  for _ in $(seq 100); do [ -e "$work/store/card.img" ] && break; sleep 0.1; done
  device=$(losetup --find --show "$work/store/card.img") || return 1
  printf '1\n' >"$work/removable"
  flag=/sys/block/${device#/dev/}/removable
  mount --bind "$work/removable" "$flag" || return 1
}

# run_card CHANGED: such a card is inserted while the station watches its device; the station is stopped once it
# has ended.
run_card() {
  new_card "$1" || return 1
  # Taken out before the start (a card there at the start is left alone) and put in while watched.
  losetup -d "$device" || return 1
  "$cli" station --no-eject "${log_args[@]}" "$device" >"$work/out" 2>"$work/err" &
  station=$!
  wait_for "watching: $device" "$work/err" || return 1
  losetup "$device" "$work/store/card.img" || return 1
  mount -t "$type" "$device" "$work/card" || return 1
  for _ in $(seq 300); do grep -sqE '^[0-9]{2}:[0-9]{2}:[0-9]{2} ' "$work/err" && break; sleep 0.1; done
  kill -INT "$station"
  wait "$station"
  status=$?
  station=
}
no_files() { ! ls "$work/card" | grep -qE '\.bin$'; }
ended_with() { grep -qE "^[0-9:]{8} .*$1$" "$work/err"; }

# changed  outcome line (regular expression, bells included)                  status  summary
cases=(
  "0|Module creation completed successfully; remove the card"$'\a'"|0|1 written, 0 failed"
  "1|Module creation completed with errors!; remove the card"$'\a\a\a'"|1|0 written, 1 failed"
)
for row in "${cases[@]}"; do
  IFS='|' read -r changed line want summary <<<"$row"
  what=$([ "$changed" -eq 1 ] && echo "a store that changes a byte" || echo "a store that keeps every byte")
  if ! run_card "$changed"; then
    fail "$what: the card cannot be set up over the store"
    detach
    continue
  fi
  check "$what: the card's run ends with \"$line\"" ended_with "$(printf %s "$line" | sed 's/[!.]/\\&/g')"
  check "$what: the summary says $summary" grep -qF "scaleboot-cli: $summary" "$work/err"
  check "$what: the station ends with status $want (a mismatch is 1)" test "$status" -eq "$want"
  if [ "$want" -eq 0 ]; then
    check "$what: the card holds the four images" holds_module "$work/card/"
  else
    check "$what: the card's four files are deleted" no_files
  fi
  cat "$work/err"
  detach
done

# A record whose disk cannot keep it: the log on a store whose every sync fails, as a disk's does when it cannot
# put the data on it. The card is written, but the record is not on the disk: its line says so and rings three
# bells, and the station ends with status 3.
mkdir "$work/logstore" && truncate -s 1M "$work/log.img"
"$store" "$work/log.img" "$work/logstore" - failing-sync &
log_pid=$!
for _ in $(seq 100); do [ -e "$work/logstore/card.img" ] && break; sleep 0.1; done
log_args=(--log "$work/logstore/card.img")
what="a record whose sync fails"
if run_card 0; then
  check "$what: the card's line asks for the user with three bells" ended_with "remove the card"$'\a\a\a'
  check "$what: the station says the record failed" \
    grep -qF "cannot append to the log '$work/logstore/card.img'" "$work/err"
  check "$what: the station ends with status 3" test "$status" -eq 3
  cat "$work/err"
else
  fail "$what: the card cannot be set up over the store"
fi
detach
log_args=()
umount "$work/logstore" && wait "$log_pid"
log_pid=

# The four files copied onto such a card while the system's cache keeps the right bytes: verify judges the bytes
# read past the cache, so the card is damaged, not "another version, intact".
if new_card 1 && mount -t "$type" "$device" "$work/card" && cp "$firmware"/*.bin "$work/card/" && sync; then
  "$cli" verify "$work/card/" >"$work/out" 2>&1
  check "a copy onto a store that changes a byte: verify exits 1" test $? -eq 1
  check "a copy onto a store that changes a byte: verify calls the copy damaged" \
    grep -qF "32yk2368.bin: differs at byte" "$work/out"
  check "a copy onto a store that changes a byte: the verdict is damaged" \
    grep -qxF "Verdict: the card is damaged or incomplete." "$work/out"
  cat "$work/out"
else
  fail "a copy onto a store that changes a byte: the card cannot be set up over the store"
fi
detach
finish
