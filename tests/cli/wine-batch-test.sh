#!/bin/bash
# scaleboot-cli.exe under Wine with two temporary folders mapped as the removable drives E: and F: of the prefix:
# both written by one command, its --json documents read by a JSON parser, and "/?" asking for help.
#   wine-batch-test.sh WINE_RUN SCALEBOOT_CLI_EXE FIRMWARE_DIR
set -uo pipefail
wine_run=$1 exe=$2 firmware=$3
here=$(dirname "$0")
. "$here/../win32/removable-drives.sh"
. "$here/../lib.sh"

use_build_prefix "$exe"
wine_can_start "$exe" || { wine_start "$exe"; exit; }
# Creates the prefix when it is missing.
"$wine_run" "$exe" --version >/dev/null || { echo "FAIL: scaleboot-cli.exe does not start under Wine"; exit 1; }
e=$(mktemp -d) f=$(mktemp -d)
map_removable_drive e "$e"
map_removable_drive f "$f"

cli=("$wine_run" "$exe")
. "$here/cli-checks.sh"

both_written() {
  [ "$status" -eq 0 ] && [ -z "$err" ] &&
    [ "$out" = $'E:\\: Module creation completed successfully\nF:\\: Module creation completed successfully' ] &&
    holds_module "$e/" && holds_module "$f/"
}
run write E: f:\\ -q
expect "write E: F: writes and verifies both removable drives" both_written

json_list() { [ "$status" -eq 0 ] && json_check '"E:\\" in d["roots"] and "F:\\" in d["roots"] and "C:\\" not in d["roots"]'; }
run list --json
expect "list --json parses and names E: and F: only" json_list

json_write() {
  [ "$status" -eq 0 ] && json_check 'd["exit_status"] == 0 and [(c["root"], c["outcome"]) for c in d["cards"]] == [("F:\\", "verified"), ("E:\\", "verified")]'
}
run --json write F: E: --lang ru
expect "write --json parses: both cards verified, in the order given" json_write

json_verify() {
  [ "$status" -eq 0 ] && json_check 'd["holds_module"] and [f["finding"] for f in d["files"]] == ["identical"] * 4'
}
run verify e: --json
expect "verify --json parses and finds the module" json_verify

json_contents() { [ "$status" -eq 0 ] && json_check 'len(d["sets"]) == 2 and "\u0432\u0435\u0441\u043e\u0432" in d["sets"][0]["text"]'; }
run contents --json --lang ru
expect "contents --json parses, its Russian text intact" json_contents

json_refused() {
  [ "$status" -eq 2 ] && json_check 'd["error"]["code"] == "not-removable" and "E:\\" in d["error"]["removable_roots"]' &&
    [[ $err == "scaleboot-cli: 'C:' is not a removable drive; nothing was written."* ]]
}
run write E: C: --json
expect "a fixed disk among the roots refuses the command, in JSON too" json_refused

help_shown() { [ "$status" -eq 0 ] && [[ $out == "Usage: scaleboot-cli"* ]] && [ -z "$err" ]; }
run '/?'
expect "/? shows the help" help_shown
version_shown() { [ "$status" -eq 0 ] && [[ $out == "scaleboot-cli "[0-9]* ]]; }
run -V
expect "-V shows the version" version_shown

# Two letters of one folder (as subst makes them) are one card, written once and named by both; a letter of
# another folder of that card is a card of its own.
ln -sfn "$e" "$WINEPREFIX/dosdevices/f:"
rm -f "$e"/*.bin
one_card_two_letters() {
  [ "$status" -eq 0 ] && [ -z "$err" ] &&
    [ "$out" = $'E:\\ and F:\\ are the same card: Module creation completed successfully' ] && holds_module "$e/"
}
run write E: F: -q
expect "write E: F: with both letters on one folder writes it once and names both" one_card_two_letters
json_same_card() {
  [ "$status" -eq 0 ] && json_check '[(c["root"], c.get("also_named")) for c in d["cards"]] == [("F:\\", ["E:\\"])]'
}
run write F: E: --json -q
expect "write --json gives the card once, with also_named" json_same_card
mkdir -p "$e/fw"
ln -sfn "$e/fw" "$WINEPREFIX/dosdevices/f:"
two_folders() {
  [ "$status" -eq 0 ] &&
    [ "$out" = $'E:\\: Module creation completed successfully\nF:\\: Module creation completed successfully' ] &&
    holds_module "$e/" && holds_module "$e/fw/"
}
run write E: F: -q
expect "a letter of another folder of the same card is written as a card of its own" two_folders
ln -sfn "$f" "$WINEPREFIX/dosdevices/f:"

finish
