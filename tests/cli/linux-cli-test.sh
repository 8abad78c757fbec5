#!/bin/bash
# The command-line program on the card that tests/linux/removable-card.sh mounts for it (SCALEBOOT_TEST_CARD):
# the common checks, typing the mount point without its trailing "/" and taking "/" as the computer's own
# disk, then a write onto the card made read-only, which must fail with the write-protect error.
#   linux-cli-test.sh FIRMWARE_DIR SCALEBOOT_CLI
set -u
firmware=$1 cli=$2
card=${SCALEBOOT_TEST_CARD:?run under tests/linux/removable-card.sh}
here=$(dirname "$0")

"$here/check-cli.sh" "$firmware" "$card" "${card%/}" "$card" / / "$cli"
status=$?

mount -o remount,ro "$card" || { echo "FAIL - the card cannot be made read-only"; exit 1; }
out=$("$cli" write "$card" 2>&1 >/dev/null)
code=$?
if [ "$code" -eq 3 ] && [ "$out" = "scaleboot-cli: I/O error 19." ]; then
  echo "ok - a write-protected card ends the write with I/O error 19. and status 3"
else
  echo "FAIL - a write-protected card: status $code, stderr $(printf %q "$out")"
  status=1
fi
exit $status
