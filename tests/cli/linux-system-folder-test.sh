#!/bin/bash
# A stick holding a folder the system keeps is the system's disk, not a card: of the three cards that
# tests/linux/removable-card.sh mounts (SCALEBOOT_TEST_CARDS=3), the first is also mounted at /var/log and the
# second at /home/tester, over a tmpfs /home (both only inside the harness's private mount namespace). Neither
# is listed, nor written by write --all; write and eject naming either, by its own folder or by the system's,
# are refused (code system-disk, status 2), and both stay mounted. The third card is listed and written.
#   linux-system-folder-test.sh FIRMWARE_DIR SCALEBOOT_CLI
set -u
firmware=$1 cli=("$2")
a=${SCALEBOOT_TEST_CARD:?run under tests/linux/removable-card.sh} b=${SCALEBOOT_TEST_CARD2:?run with three cards}
c=${SCALEBOOT_TEST_CARD3:?run with three cards} type=$SCALEBOOT_TEST_CARD_TYPE
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/cli-checks.sh"
work=$(mktemp -d) || exit 1
trap 'mountpoint -q /home/tester && umount /home/tester; mountpoint -q /home && umount /home
      mountpoint -q /var/log && umount /var/log; rm -rf "$work"' EXIT
# No udisks can be reached: an eject that got past the refusal would unmount the card directly.
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-bus"
mount -t "$type" "$SCALEBOOT_TEST_CARD_DEVICE" /var/log || { echo "cannot mount the first card at /var/log"; exit 1; }
mount -t tmpfs -o size=1m tmpfs /home && mkdir /home/tester || { echo "cannot put a tmpfs at /home"; exit 1; }
mount -t "$type" "$SCALEBOOT_TEST_CARD2_DEVICE" /home/tester || { echo "cannot mount the second card at /home/tester"; exit 1; }
empty() { [ -z "$(ls -A "$1")" ]; }
all_mounted() { mountpoint -q /var/log && mountpoint -q /home/tester && mountpoint -q "$a" && mountpoint -q "$b"; }
untouched() { empty "$a" && empty "$b" && all_mounted; }

listed_third_only() { [ "$status" -eq 0 ] && [ "$out" = "$c" ]; }
run list
expect "list shows the third card only" listed_third_only

wrote_third_only() { [ "$status" -eq 0 ] && holds_module "$c" && untouched; }
run write --all --quiet
expect "write --all writes the third card only" wrote_third_only

refused() {
  run "$@" --json
  [ "$status" -eq 2 ] && json_check "d['error']['code'] == 'system-disk'" && untouched
}
for root in "$a" /var/log/ "$b" /home/tester/; do
  write_refused() { refused write "$root"; }
  eject_refused() { refused eject "$root"; }
  expect "write $root is refused as the system's disk" write_refused
  expect "eject $root is refused as the system's disk" eject_refused
done
finish
