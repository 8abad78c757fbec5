#!/bin/bash
# The disk the running system uses is never a card: of the two cards that tests/linux/removable-card.sh mounts
# (SCALEBOOT_TEST_CARDS=2), the first is also mounted at /home (only inside the harness's private mount
# namespace), which makes its disk the system's own. It is not listed, not written by write --all, refused by
# write, eject and the station naming it (code system-disk, status 2, in both languages), and stays mounted;
# verify still reads it. The second card is listed and written as always.
#   linux-system-disk-test.sh FIRMWARE_DIR SCALEBOOT_CLI
set -u
firmware=$1 cli=("$2")
a=${SCALEBOOT_TEST_CARD:?run under tests/linux/removable-card.sh} b=${SCALEBOOT_TEST_CARD2:?run with two cards}
device=$SCALEBOOT_TEST_CARD_DEVICE type=$SCALEBOOT_TEST_CARD_TYPE
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/cli-checks.sh"
work=$(mktemp -d) || exit 1
trap 'mountpoint -q /home && umount /home; rm -rf "$work"' EXIT
# No udisks can be reached: an eject that got past the refusal would unmount the card directly.
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-bus"
mount -t "$type" "$device" /home || { echo "cannot mount the first card at /home"; exit 1; }
empty() { [ -z "$(ls -A "$1")" ]; }
both_mounted() { mountpoint -q /home && mountpoint -q "$a"; }

listed_second_only() { [ "$status" -eq 0 ] && [ "$out" = "$b" ]; }
run list
expect "list shows the second card only" listed_second_only

wrote_second_only() { [ "$status" -eq 0 ] && holds_module "$b" && empty "$a" && empty /home; }
run write --all --quiet
expect "write --all writes the second card only" wrote_second_only

# refused LANGUAGE TEXT COMMAND...: status 2, the line naming the first card, the JSON code, nothing touched.
refused() {
  local language=$1 text=$2
  shift 2
  run "$@" --lang "$language"
  [ "$status" -eq 2 ] && [ "$err" = "scaleboot-cli: '$a' $text" ] && empty "$a" && both_mounted || return 1
  run "$@" --lang "$language" --json
  [ "$status" -eq 2 ] && json_check "d['error']['code'] == 'system-disk' and d['exit_status'] == 2" && both_mounted
}
write_en() { refused en "is on the disk the system runs from; nothing was written." write "$a"; }
eject_en() { refused en "is on the disk the system runs from; nothing was ejected." eject "$a"; }
write_ru() { refused ru "находится на диске, с которого работает система; ничего не записано." write "$a" "$b"; }
eject_ru() { refused ru "находится на диске, с которого работает система; ничего не извлечено." eject "$b" "$a"; }
station_en() { refused en "is on the disk the system runs from; the station did not start." station "$a"; }
expect "write naming it is refused as the system's disk" write_en
expect "eject naming it is refused as the system's disk" eject_en
expect "write naming it, in Russian" write_ru
expect "eject naming it, in Russian" eject_ru
expect "the station naming it as a reader does not start" station_en

read_not_holding() { [ "$status" -eq 1 ] && both_mounted; }
run verify "$a" --quiet
expect "verify still reads it" read_not_holding

# Once it is no longer the system's, the same card is a card again.
written_first() { [ "$status" -eq 0 ] && holds_module "$a"; }
umount /home
run write "$a" --quiet
expect "unmounted from /home, it is written" written_first
finish
