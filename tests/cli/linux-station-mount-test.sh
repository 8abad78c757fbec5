#!/bin/bash
# scaleboot-cli station with a card nobody mounts, on the loop card tests/linux/removable-card.sh makes: a card
# there (unmounted) at the start is left alone; a card that appears while the station runs and stays unmounted
# past the grace is mounted by the station under /run/scaleboot, written, verified and unmounted again, even
# with --no-eject, its folder removed and its files intact on the device. Putting it in again mounts it again,
# into the empty folder a killed run left; SIGHUP stops the station with nothing left mounted. A card with a
# file system the scales do not read (ext2) is left alone, said once. No udisks is asked: the system bus points
# nowhere, so the station mounts the card itself as root.
#   linux-station-mount-test.sh FIRMWARE_DIR SCALEBOOT_CLI
set -u
firmware=$1 cli=$2
card=${SCALEBOOT_TEST_CARD:?run under tests/linux/removable-card.sh}
device=$SCALEBOOT_TEST_CARD_DEVICE type=$SCALEBOOT_TEST_CARD_TYPE
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/cli-checks.sh"
work=$(mktemp -d) || exit 1
check_dir=$(mktemp -d) || exit 1
trap 'kill "$station" 2>/dev/null; wait; umount "$check_dir" 2>/dev/null; rmdir "$check_dir"; rm -rf "$work"' EXIT
wait_for() {
  local i
  for i in $(seq 300); do grep -qF -- "$1" "$2" && return 0; sleep 0.1; done
  return 1
}
ended_lines() { grep -cE '^[0-9]{2}:[0-9]{2}:[0-9]{2} ' "$work/err"; }
folder=/run/scaleboot/${device#/dev/}
image=$(losetup -nO BACK-FILE "$device")
# Taking the card out and putting it in again: a new disk sequence number, as a new card in a reader gets.
reinsert() { losetup -d "$device" && sleep 0.5 && losetup "$device" "$image"; }
on_device_holds_module() {
  mount -t "$type" "$device" "$check_dir" || return 1
  holds_module "$check_dir/"
  local ok=$?
  rm -f "$check_dir"/*.bin
  umount "$check_dir" && return $ok
}

umount "$card" || { fail "the card cannot be unmounted before the start"; finish; }
if [ "$type" != vfat ]; then
  "$cli" station --no-eject >"$work/out" 2>"$work/err" &
  station=$!
  wait_for "insert a card" "$work/err"
  reinsert
  check "an $type card nobody mounts is left alone, said once" \
    wait_for "$device: left alone: its file system ($type) is neither FAT nor exFAT" "$work/err"
  sleep 2
  check "... and never mounted" eval '! grep -q "^$device " /proc/mounts && test ! -e "$folder"'
  check "... said once only" test "$(grep -c "left alone: its file system" "$work/err")" -eq 1
  kill -INT "$station"
  wait "$station"
  check "the station ends with status 0 and no card written" grep -qF "0 written, 0 failed" "$work/err"
  cat "$work/err"
  finish
fi
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/scaleboot-test-bus SCALEBOOT_MOUNT_GRACE_MS=500
"$cli" station --no-eject >"$work/out" 2>"$work/err" &
station=$!
wait_for "insert a card" "$work/err"
sleep 2
check "an unmounted card there at the start is left alone: not mounted" eval '! grep -q "^$device " /proc/mounts'
reinsert
check "a card nobody mounts is mounted by the station, written and verified" \
  wait_for "$folder: Module creation completed successfully; remove the card" "$work/err"
sleep 1.5
check "after its run it is unmounted although kept in" eval '! grep -q "^$device " /proc/mounts'
check "the folder made for it is removed" test ! -e "$folder"
check "it is not mounted or written again while it stays in" test "$(ended_lines)" -eq 1
check "its files are on the device" on_device_holds_module
mkdir -p "$folder"
reinsert
for i in $(seq 300); do [ "$(ended_lines)" -ge 2 ] && break; sleep 0.1; done
check "put in again, it is mounted into the folder a killed run left, and written again" test "$(ended_lines)" -eq 2
reinsert
for i in $(seq 300); do [ "$(grep -c "writing\.\.\." "$work/err")" -ge 3 ] && break; sleep 0.1; done
kill -HUP "$station"
wait "$station"
status=$?
check "SIGHUP mid-write ends the station once its card is written" grep -qF "3 written, 0 failed" "$work/err"
check "... status 0" test "$status" -eq 0
check "nothing is left mounted" eval '! grep -q "^$device " /proc/mounts && test -z "$(ls -A /run/scaleboot 2>/dev/null)"'
cat "$work/err"
finish
