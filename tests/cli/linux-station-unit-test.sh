#!/bin/bash
# The station as the scaleboot-station service starts it: the unit's own ExecCondition and ExecStart lines,
# expanded from its own settings file as systemd expands them, with the reader named by a link to its device (as
# /dev/disk/by-path/ names one) and a NOTIFY_SOCKET receiver standing in for systemd. On the loop card that
# tests/linux/removable-card.sh makes: with no reader named the station does not start; with the card's reader
# named, a card that appears is written, verified and recorded in the unit's record file, the service manager
# hears READY=1 and then the counts, and SIGTERM (systemctl stop) ends it with status 0 once the card in hand is
# finished, STOPPING=1 said meanwhile. The LEDs named (a stand-in of /sys/class/leds: one LED the board has, one
# it lacks) are off while nothing is in hand, steady for a card to take away, and get their own trigger back at
# the stop. Standard error is the journal ($JOURNAL_STREAM) and a stand-in of journald's socket receives the
# entries, in a mount namespace of the test's own: the start, each card's end and the summary are entries with
# their MESSAGE_IDs and fields, and no bell and no such line is written to standard error; where JOURNAL_STREAM
# names another file than standard error, the journal gets nothing.
#   linux-station-unit-test.sh FIRMWARE_DIR SCALEBOOT_CLI UNIT SETTINGS
set -u
firmware=$1 cli=$2 unit=$3 settings=$4
card=${SCALEBOOT_TEST_CARD:?run under tests/linux/removable-card.sh}
device=$SCALEBOOT_TEST_CARD_DEVICE type=$SCALEBOOT_TEST_CARD_TYPE
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/cli-checks.sh"
# Runs again in a mount namespace of its own, where the journal's socket folder can be the stand-in's; the card
# is unmounted first, so that the mounts of it the test makes there are its only ones.
if [ -z "${SCALEBOOT_OWN_NAMESPACE:-}" ]; then
  unshare -m --propagation private true 2>/dev/null ||
    { echo "skipped: no mount namespace of its own can be made here (unshare -m)"; exit 77; }
  umount "$card" || { echo "the card cannot be unmounted"; exit 1; }
  SCALEBOOT_OWN_NAMESPACE=1 exec unshare -m --propagation private "$0" "$@"
fi
mount -t "$type" "$device" "$card" || { echo "the card cannot be mounted in the test's namespace"; exit 1; }
work=$(mktemp -d) || exit 1
links=$(mktemp -d /dev/shm/scaleboot-by-path.XXXXXX) || exit 1
trap 'kill "$station" "$receiver" "$journald" 2>/dev/null; wait; rm -rf "$work" "$links"' EXIT
wait_for() {
  local i
  for i in $(seq 300); do grep -qF -- "$1" "$2" && return 0; sleep 0.1; done
  return 1
}
image=$(losetup -nO BACK-FILE "$device")
# Another card in the reader: taken out and put in again (a new disk sequence number), then mounted.
insert() {
  umount "$card" 2>/dev/null
  losetup -d "$device" && sleep 0.5 && losetup "$device" "$image" && mount -t "$type" "$device" "$card"
}

# unit_command KEY: the unit's KEY= line expanded as systemd does: "${NAME}" one word, $NAME split at blanks,
# the settings file's values unquoted; the program and the record folder moved to this test's own.
unit_command() {
  /usr/bin/python3 - "$unit" "$1" "$work/settings" "$cli" "$work/state" <<'PY'
import re, shlex, sys
unit, key, settings, cli, state = sys.argv[1:]
env = {}
for line in open(settings):
    line = line.strip()
    if line and not line.startswith("#"):
        name, _, value = line.partition("=")
        env[name] = " ".join(shlex.split(value))
line = next(l for l in open(unit) if l.startswith(key + "="))[len(key) + 1:].strip()
words = []
for word in shlex.split(line):
    if re.fullmatch(r"\$[A-Za-z_]\w*", word):
        words += env.get(word[1:], "").split()
    else:
        words.append(re.sub(r"\$\{(\w+)\}", lambda m: env.get(m.group(1), ""), word))
words = [cli if w == "/usr/bin/scaleboot-cli" else w.replace("/var/lib/scaleboot", state) for w in words]
print("".join(w + "\0" for w in words), end="")
PY
}
run_unit() { # run_unit KEY: the unit's command, started in the background as $station, with the settings
  local words settings=()
  mapfile -d '' words < <(unit_command "$1")
  # systemd passes the settings file's variables on (EnvironmentFile=), and names standard error when it is the
  # journal.
  mapfile -t settings < <(grep -E '^[A-Z_]+=' "$work/settings" | sed -E 's/^([A-Z_]+)="(.*)"$/\1=\2/')
  : >"$work/err"
  env "${settings[@]}" NOTIFY_SOCKET=$work/notify JOURNAL_STREAM="${journal_stream:-$(stat -c %d:%i "$work/err")}" "${words[@]}" \
    >"$work/out" 2>>"$work/err" &
  station=$!
}

# The settings as installed: no reader named.
cp "$settings" "$work/settings"
mkdir -p "$work/state"
run_unit ExecCondition
wait "$station"
check "with the installed settings (no reader named) the unit's condition keeps the station from starting" \
  test $? -ne 0

# The LED stand-in: "act" with the trigger the board gave it; "gone" is named but missing.
leds=$work/leds
mkdir -p "$leds/act"
echo "none rfkill0 [mmc0] timer" >"$leds/act/trigger"
echo 0 >"$leds/act/brightness"
echo 255 >"$leds/act/max_brightness"
export SCALEBOOT_LED_FOLDER=$leds
led() { [ "$(cat "$leds/act/trigger")/$(cat "$leds/act/brightness")" = "$1" ]; }
wait_led() { for _ in $(seq 100); do led "$1" && return 0; sleep 0.05; done; led "$1"; }

# The card's reader named by a link to its device, English, the record in the unit's record file.
ln -s "$device" "$links/platform-test-usb-0:1:1.0-scsi-0:0:0:0"
sed -i -e "s|^SCALEBOOT_READERS=.*|SCALEBOOT_READERS=\"$links/platform-test-usb-0:1:1.0-scsi-0:0:0:0\"|" \
  -e 's/^SCALEBOOT_LANG=.*/SCALEBOOT_LANG=en/' -e 's/^SCALEBOOT_NO_EJECT=.*/SCALEBOOT_NO_EJECT="--no-eject"/' -e 's/^SCALEBOOT_LEDS=.*/SCALEBOOT_LEDS="act gone"/' \
  "$work/settings"
run_unit ExecCondition
wait "$station"
check "with a reader named the condition lets it start" test $? -eq 0
/usr/bin/python3 - "$work/notify" "$work/notified" <<'PY' &
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
with open(sys.argv[2], "ab", buffering=0) as out:
    while True:
        out.write(s.recv(4096).replace(b"\n", b"|") + b"\n")
PY
receiver=$!
# journald's stand-in: each entry of the native protocol (NAME=value, or NAME, a 64-bit length and the bytes)
# as one line of NAME=value fields joined by "|".
mkdir -p "$work/journal"
/usr/bin/python3 - "$work/journal/socket" "$work/journal.log" <<'PY' &
import socket, struct, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
with open(sys.argv[2], "ab", buffering=0) as out:
    while True:
        data, fields = s.recv(1 << 20), []
        while data:
            line, _, rest = data.partition(b"\n")
            if b"=" in line:
                fields.append(line)
                data = rest
            else:
                size = struct.unpack("<Q", rest[:8])[0]
                fields.append(line + b"=" + rest[8:8 + size])
                data = rest[9 + size:]
        out.write(b"|".join(fields).replace(b"\n", b"\\n") + b"\n")
PY
journald=$!
for _ in $(seq 50); do [ -S "$work/notify" ] && [ -S "$work/journal/socket" ] && break; sleep 0.1; done
# In this namespace only: where the machine has no journal folder, a folder of its own is made on a tmpfs.
[ -d /run/systemd/journal ] || mount -t tmpfs tmpfs /run/systemd 2>/dev/null || mount -t tmpfs tmpfs /run
mkdir -p /run/systemd/journal && mount --bind "$work/journal" /run/systemd/journal ||
  { fail "journald's stand-in cannot take the place of its socket"; finish; }
umount "$card" || { fail "the card cannot be unmounted before the start"; finish; }
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/scaleboot-test-bus
# Standard error sent elsewhere since (JOURNAL_STREAM names another file): the station's lines go there, and
# the journal gets nothing.
journal_stream=$(stat -c %d:%i "$work/settings") run_unit ExecStart
check "where standard error is not the stream JOURNAL_STREAM names, the station says its lines there" \
  wait_for "stop with Ctrl+C" "$work/err"
kill -TERM "$station"
wait "$station"
check "... and sends the journal nothing" test ! -s "$work/journal.log"
: >"$work/notified"
echo "none rfkill0 [mmc0] timer" >"$leds/act/trigger"  # as the kernel lists it again
run_unit ExecStart
check "the service manager hears READY=1 once the station watches, with its counts" \
  wait_for "READY=1|STATUS=In progress: 0; written: 0; failed: 0" "$work/notified"
check "the named LED is off while nothing is in hand" wait_led none/0
insert
check "a card in the named reader is written and verified: its entry in the journal says so" \
  wait_for "MESSAGE_ID=e30bfc32b3bf4df5bfc6e38044ae95fa|MESSAGE=" "$work/journal.log"
card_entry() { grep -m1 "MESSAGE_ID=e30bfc32b3bf4df5bfc6e38044ae95fa" "$work/journal.log"; }
check "... with its message, priority, outcome and clock" bash -c 'grep -qE "MESSAGE=[0-9:]{8} .*Module creation completed successfully; remove the card\|PRIORITY=6\|SYSLOG_IDENTIFIER=scaleboot-cli\|.*SCALEBOOT_OUTCOME=verified\|.*SCALEBOOT_CLOCK_SYNCHRONISED=(true|false)" <<<"$1"' _ "$(card_entry)"
check "... and each image's file, firmware and SHA-256" \
  test "$(card_entry | grep -oE 'SCALEBOOT_FILE=[a-z0-9]+\.bin [^ |]+ [0-9a-f]{64}' | wc -l)" -eq 4
check "... and it is no line of standard error" bash -c '! grep -q "remove the card" "$1"' _ "$work/err"
check "... and the status counts it" wait_for "STATUS=In progress: 0; written: 1; failed: 0" "$work/notified"
check "... a card being written is in the status while it is" grep -qF "STATUS=In progress: 1;" "$work/notified"
check "... the LED shows it steady: take the card away" wait_led none/255
check "its record is in the unit's record file, saying whether the clock was synchronised" \
  grep -qE '"outcome":"verified".*"clock_synchronised":(true|false)' "$work/state/cards.log"
rm -f "$card"/*.bin
insert
for _ in $(seq 300); do [ "$(grep -c 'writing\.\.\.' "$work/err")" -ge 2 ] && break; sleep 0.05; done
kill -TERM "$station"
wait "$station"
status=$?
check "SIGTERM ends the station with status 0 once the card in hand is finished" test "$status" -eq 0
check "... the LED gets its own trigger back" test "$(cat "$leds/act/trigger")" = mmc0
check "... the LED the board lacks is left alone" test ! -e "$leds/gone"
check "... both cards recorded" test "$(grep -c '"outcome":"verified"' "$work/state/cards.log")" -eq 2
# The second card may have ended before the stop reached the station: STOPPING=1 goes with the line that says
# a card is being finished.
stopping_said() {
  if grep -qF "stopping: finishing 1 card(s)" "$work/err"; then
    grep -qF "STOPPING=1|STATUS=Stopping; in progress: 1;" "$work/notified"
  else
    echo "    (the card had ended before the stop)"
    ! grep -qF "STOPPING=1" "$work/notified"
  fi
}
check "... STOPPING=1 said while it finishes" stopping_said
check "the journal has the start and the summary, as entries of their kinds" bash -c \
  'grep -q "MESSAGE_ID=ac80d016679a4745a17f9654ccb6f537|.*SCALEBOOT_READER=" "$1" &&
   grep -q "MESSAGE_ID=3444ce24b1da4d46a460aca0f62160eb|.*SCALEBOOT_WRITTEN=2|SCALEBOOT_FAILED=0" "$1"' _ \
  "$work/journal.log"
check "no bell where standard error is the journal" bash -c '! grep -q $'"'"'\a'"'"' "$1"' _ "$work/err"
cat "$work/err"
finish
