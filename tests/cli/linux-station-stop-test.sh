#!/bin/bash
# scaleboot-cli station stopped with a card whose store stops answering: a file system on a loop device over the
# file that tests/linux/flipping-store.c serves, whose daemon is then stopped (SIGSTOP), so that every read and
# write of the card waits in the kernel. Ctrl+C must still end the station with its summary: at once when the
# card was there at the start (its check is dropped), within the stop's bound (60 s) when the card was being
# written (then ended as one that stopped answering, status 3). The daemon goes on afterwards, so that the
# kernel lets the program go. Runs under tests/linux/removable-card.sh for its private mount namespace, as root.
#   linux-station-stop-test.sh FIRMWARE_DIR SCALEBOOT_CLI FLIPPING_STORE
set -u
firmware=$1 cli=$2 store=$3
. "$(dirname "$0")/../lib.sh"
[ "$(id -u)" -eq 0 ] || { echo "skipped: not root (loop devices and mounts)"; exit 77; }
[ -c /dev/fuse ] || { echo "skipped: no /dev/fuse"; exit 77; }
type=${SCALEBOOT_TEST_CARD_TYPE:?run under tests/linux/removable-card.sh}
case "$type" in
  vfat) mkfs=(mkfs.vfat -n SCALEBOOT) ;;
  *) mkfs=(mke2fs -q -t ext2 -F -L SCALEBOOT) ;;
esac
[ -d "$firmware" ] || { echo "skipped: no firmware folder"; exit 77; }
work=$(mktemp -d) || exit 1
station= store_pid= device= flag=
detach() {
  [ -n "$store_pid" ] && kill -CONT "$store_pid" 2>/dev/null
  [ -n "$station" ] && kill "$station" 2>/dev/null && wait "$station" 2>/dev/null
  mountpoint -q "$work/card" && umount "$work/card"
  [ -n "$flag" ] && umount "$flag" 2>/dev/null
  [ -n "$device" ] && losetup -d "$device" 2>/dev/null
  mountpoint -q "$work/store" && umount "$work/store"
  [ -n "$store_pid" ] && wait "$store_pid" 2>/dev/null
  station= store_pid= device= flag=
}
trap 'detach; rm -rf "$work"' EXIT
wait_for() {  # wait_for TEXT FILE SECONDS: until FILE holds TEXT
  local i
  for i in $(seq $(($3 * 10))); do grep -sqF -- "$1" "$2" && return 0; sleep 0.1; done
  return 1
}

# A fresh card over a store that keeps every byte, on a loop device flagged removable, mounted.
new_card() {
  rm -rf "$work/store" "$work/card" "$work/card.img" && mkdir "$work/store" "$work/card"
  truncate -s 8M "$work/card.img" && "${mkfs[@]}" "$work/card.img" >/dev/null || return 1
  "$store" "$work/card.img" "$work/store" - &
  store_pid=$!
  for _ in $(seq 100); do [ -e "$work/store/card.img" ] && break; sleep 0.1; done
  device=$(losetup --find --show "$work/store/card.img") || return 1
  printf '1\n' >"$work/removable"
  flag=/sys/block/${device#/dev/}/removable
  mount --bind "$work/removable" "$flag" || return 1
}
# The store stops answering: what the kernel kept of the card is dropped, so every access waits on the store.
stop_store() { kill -STOP "$store_pid" && echo 3 >/proc/sys/vm/drop_caches; }

# stop_station LIMIT: Ctrl+C, then the summary within LIMIT seconds; `ended` says whether it came, `took` when.
stop_station() {
  local begun=$SECONDS
  kill -INT "$station"
  ended=0
  wait_for " failed" "$work/err" "$1" && ended=1
  took=$((SECONDS - begun))
  # The daemon goes on: the thread the kernel held in the card's I/O returns, and the program can be reaped.
  kill -CONT "$store_pid"
  wait "$station"
  status=$?
  station=
}

# A card there at the start whose store stops answering: its check waits on the card, and is dropped.
what="a card there at the start that stopped answering"
if new_card && mount -t "$type" "$device" "$work/card" && stop_store; then
  "$cli" station --no-eject "$device" >"$work/out" 2>"$work/err" &
  station=$!
  wait_for "stop with Ctrl+C" "$work/err" 30
  stop_station 10
  check "$what: Ctrl+C ends the station with its summary at once (took ${took} s)" test "$ended" -eq 1
  check "$what: nothing was written or failed" grep -qF "scaleboot-cli: 0 written, 0 failed" "$work/err"
  check "$what: the station ends with status 0" test "$status" -eq 0
  cat "$work/err"
else
  fail "$what: the card cannot be set up over the store"
fi
detach

# A card whose store stops answering while it is written: given up once the bound is past, and recorded so.
what="a card that stopped answering while it was written"
if new_card && losetup -d "$device"; then
  "$cli" station --no-eject --log "$work/cards.log" "$device" >"$work/out" 2>"$work/err" &
  station=$!
  wait_for "watching: $device" "$work/err" 30
  losetup "$device" "$work/store/card.img" && mount -t "$type" "$device" "$work/card" && stop_store
  wait_for "writing..." "$work/err" 30
  stop_station 75
  check "$what: Ctrl+C ends the station with its summary within the bound (took ${took} s)" test "$ended" -eq 1
  check "$what: its line says it stopped answering" \
    grep -qE "^[0-9:]{8} $work/card: stopped answering: take it out; its files may be incomplete"$'\a\a\a'"$" "$work/err"
  check "$what: the summary counts it as failed" grep -qF "scaleboot-cli: 0 written, 1 failed" "$work/err"
  check "$what: the station ends with status 3" test "$status" -eq 3
  check "$what: the record says io-error" grep -qF '"outcome":"io-error"' "$work/cards.log"
  cat "$work/err"
else
  fail "$what: the card cannot be set up over the store"
fi
detach
finish
