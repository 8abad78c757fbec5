#!/bin/bash
# Ejecting the card that tests/linux/removable-card.sh mounts (SCALEBOOT_TEST_CARD), as root and without udisks
# (the system bus is pointed at a socket nobody listens on, so no real udisks can be reached): write --eject
# leaves the card unmounted with the four files intact on its device; a card held open by a process is reported
# in use, names that process and stays mounted.
#   linux-eject-test.sh SCALEBOOT_CLI
set -u
cli=$1
card=${SCALEBOOT_TEST_CARD:?run under tests/linux/removable-card.sh}
device=${SCALEBOOT_TEST_CARD_DEVICE:?} type=${SCALEBOOT_TEST_CARD_TYPE:?}
work=$(mktemp -d) || exit 1
holder=
trap '[ -n "$holder" ] && kill "$holder" 2>/dev/null; mountpoint -q "$work/check" && umount "$work/check"; rm -rf "$work"' EXIT
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/no-bus"
status=0
ok() { echo "ok - $*"; }
fail() { echo "FAIL - $*"; status=1; }

# A test build's line after the card's ("test firmware, not for scales") is not what this checks.
out=$("$cli" write "$card" --eject --quiet --lang en 2>"$work/err")
code=$?
out=$(grep -vx 'test firmware, not for scales' <<<"$out")
if [ "$code" -eq 0 ] && [ "$out" = $'Module creation completed successfully\n'"$card: safe to remove" ]; then
  ok "write --eject writes, then says the card is safe to remove"
else
  fail "write --eject: status $code, stdout $(printf %q "$out"), stderr $(cat "$work/err")"
fi
if mountpoint -q "$card"; then fail "the card is still mounted after write --eject"; else ok "the card is unmounted"; fi

mkdir "$work/check"
mount -t "$type" -o ro "$device" "$work/check" || fail "the card's device cannot be mounted again"
if "$cli" verify "$work/check" --quiet >/dev/null; then
  ok "the four files are intact on the device"
else
  fail "the card does not hold the module after the eject"
fi
umount "$work/check"

# The card again, now with a process whose current folder is on it.
mount -t "$type" "$device" "$card" || { fail "the card cannot be mounted again"; exit 1; }
(cd "$card" && exec sleep 60) &
holder=$!
sleep 0.2
err=$("$cli" eject "$card" --lang en 2>&1 >/dev/null)
code=$?
if [ "$code" -eq 3 ] && [[ $err == "scaleboot-cli: $card: could not eject: in use by another program: "*"sleep ($holder)"* ]]; then
  ok "a card in use is not ejected and the holding process is named"
else
  fail "eject of a card in use: status $code, stderr $(printf %q "$err")"
fi
if mountpoint -q "$card"; then ok "the card in use stays mounted"; else fail "the card in use was unmounted"; fi
kill "$holder"; wait "$holder" 2>/dev/null; holder=

out=$("$cli" eject "${card%/}" --json --lang en)
code=$?
if [ "$code" -eq 0 ] && grep -q '"ejected": true' <<<"$out" && ! mountpoint -q "$card"; then
  ok "eject, once nothing holds the card, unmounts it"
else
  fail "eject of a free card: status $code, $(printf %q "$out")"
fi
exit $status
