#!/bin/bash
# scaleboot-cli on two real removable cards at once, the two that tests/linux/removable-card.sh mounts for it
# (SCALEBOOT_TEST_CARDS=2): both written in one command and verified; then one of them write-protected, which
# must fail alone while the other is written. Also the folder and file checks of verify, a full standard
# output, and the JSON documents, read by a JSON parser.
#   linux-batch-test.sh FIRMWARE_DIR SCALEBOOT_CLI
set -u
firmware=$1 cli=("$2")
a=${SCALEBOOT_TEST_CARD:?run under tests/linux/removable-card.sh} b=${SCALEBOOT_TEST_CARD2:?run with two cards}
. "$(dirname "$0")/../lib.sh"

. "$(dirname "$0")/cli-checks.sh"
empty() { [ -z "$(ls -A "$1")" ]; }

both_written() {
  [ "$status" -eq 0 ] && [ -z "$err" ] &&
    [ "$out" = "$a: Module creation completed successfully"$'\n'"$b: Module creation completed successfully" ] &&
    holds_module "$a" && holds_module "$b"
}
run write "$a" "${b%/}" --quiet
expect "write A B writes and verifies both cards in one command" both_written

verified_by_the_program() {
  [ "$status" -eq 0 ] && [ "$(tail -n2 <<<"$out")" = $'The folder holds this module.\nVerdict: the card holds this module.' ]
}
run verify "$a"
expect "verify finds the module on the first card" verified_by_the_program
run verify "$b"
expect "verify finds the module on the second card" verified_by_the_program

# One card write-protected: it fails with its own error, the other is written and verified all the same.
rm -f "${a}"{32yk2368,32yk936,yk2368,yk936}.bin "${b}"{32yk2368,32yk936,yk2368,yk936}.bin
mount -o remount,ro "$b" || { fail "the second card cannot be made read-only"; finish; }
one_protected() {
  [ "$status" -eq 3 ] && [ "$out" = "$a: Module creation completed successfully" ] &&
    [ "$err" = "scaleboot-cli: $b: I/O error 19." ] && holds_module "$a" && empty "$b"
}
run write "$a" "$b" --quiet
expect "a write-protected card fails with I/O error 19. and status 3; the other is written" one_protected
run verify "$a"
expect "the card written beside the protected one holds the module" verified_by_the_program
json_protected() {
  [ "$status" -eq 3 ] && json_check 'd["exit_status"] == 3 and [(c["outcome"], c.get("io_code")) for c in d["cards"]] == [("verified", None), ("io-error", 19)]'
}
run write "$a" "$b" --json
expect "write --json names the write-protected card's I/O error and code" json_protected
mount -o remount,rw "$b"

# verify refuses what is not a folder before reading anything, and says what a card file is.
run verify "${a}missing-folder"
no_folder() { [ "$status" -eq 2 ] && [ -z "$out" ] && [[ $err == "scaleboot-cli: the folder '${a}missing-folder' does not exist"* ]]; }
expect "verify on a folder that does not exist: status 2, said before reading" no_folder
run verify "${a}yk936.bin"
not_folder() { [ "$status" -eq 2 ] && [ -z "$out" ] && [[ $err == "scaleboot-cli: '${a}yk936.bin' is not a folder"* ]]; }
expect "verify on a file: status 2, not a folder" not_folder

mv "${a}yk936.bin" "${a}real.bin" && ln -s real.bin "${a}yk936.bin"
rm -f "${a}32yk936.bin" && mkfifo "${a}32yk936.bin"
run verify "$a"
named_kinds() {
  [ "$status" -eq 3 ] && grep -qxF "yk936.bin: cannot be read: a symbolic link" <<<"$out" &&
    grep -qxF "32yk936.bin: cannot be read: not a regular file" <<<"$out" && ! grep -q "access denied" <<<"$out"
}
expect "verify names a symbolic link and a FIFO instead of access denied (status 3)" named_kinds
rm -f "${a}yk936.bin" "${a}32yk936.bin" && mv "${a}real.bin" "${a}yk936.bin"
head -c 20 /dev/zero >>"${a}yk2368.bin"
run verify "$a" --json
json_longer() {
  [ "$status" -eq 1 ] && json_check '[f["finding"] for f in d["files"]] == ["identical", "missing", "longer", "identical"] and d["files"][2]["size"] == d["files"][2]["image_size"] + 20'
}
expect "verify --json: a longer file gives its real size" json_longer

# Output that cannot be written is an error, never success.
full_output() {
  local message
  message=$("${cli[@]}" contents 2>&1 >/dev/full)
  [ $? -eq 3 ] && [ "$message" = "scaleboot-cli: cannot write to standard output" ]
}
expect "contents >/dev/full: an error on standard error and status 3" full_output

help_wins() { [ "$status" -eq 0 ] && [[ $out == "Usage: scaleboot-cli"* ]] && [ -z "$err" ]; }
run write /nowhere --json --lang de -h
expect "--help wins over every other argument" help_wins

finish
