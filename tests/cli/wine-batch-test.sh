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

run() {  # run ARGUMENTS...: sets status, out and err
  local errfile
  errfile=$(mktemp)
  out=$("$wine_run" "$exe" "$@" 2>"$errfile" </dev/null)
  status=$?
  err=$(cat "$errfile")
  rm -f "$errfile"
}
images=(32yk2368.bin 32yk936.bin yk2368.bin yk936.bin)
holds_module() {
  local file
  for file in "${images[@]}"; do cmp -s "$firmware/$file" "$1/$file" || return 1; done
}
# json_check PYTHON_CONDITION: the condition holds for the JSON document `d` read from $out.
json_check() { python3 -c "import json, sys; d = json.load(sys.stdin); sys.exit(0 if ($1) else 1)" <<<"$out"; }
expect() {  # expect NAME FUNCTION: a check that shows the run when it fails
  if "$2"; then
    ok "$1"
  else
    fail "$1"
    echo "  status $status; stdout: $(printf %q "$out"); stderr: $(printf %q "$err")"
  fi
}

both_written() {
  [ "$status" -eq 0 ] && [ -z "$err" ] &&
    [ "$out" = $'E:\\: Module creation completed successfully\nF:\\: Module creation completed successfully' ] &&
    holds_module "$e" && holds_module "$f"
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

finish
