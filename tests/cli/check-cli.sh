#!/bin/bash
# Drives the real scaleboot-cli against a card the system lists as a removable drive, the way a technician
# would from a terminal or a script, and checks its output, its exit statuses and the files on the card.
#   check-cli.sh FIRMWARE_DIR CARD_DIR ROOT LISTED_ROOT FIXED_ROOT FIXED_DIR CLI [CLI_ARGUMENTS...]
# CARD_DIR is the card's folder as this script sees it; ROOT is how the test types the card's root (a spelling
# the program must accept), LISTED_ROOT how `list` prints it; FIXED_ROOT names a drive of the computer's own
# disk, seen here as FIXED_DIR. CLI and its arguments start the program (a wrapper such as Wine may come
# first). Prints "N passed, M failed" and exits non-zero when any check failed.
# shellcheck disable=SC2016,SC2034  # check evaluates the conditions, which are in single quotes
set -u
firmware=$1 card=$2 root=$3 listed=$4 fixed_root=$5 fixed_dir=$6
shift 6
cli=("$@")
# The project version, as the build stamps it into the program.
version=$(sed -n 's/^project(scaleboot VERSION \([0-9][0-9.]*\)[ )].*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")

passed=0 failed=0
# check DESCRIPTION CONDITION...: each CONDITION is one quoted shell condition, evaluated in order when check
# runs; the check passes when all of them hold, and a failure names the first one that did not. Every part of
# a check goes inside its quotes: a condition written after "check ... &&" would run once check has already
# counted and printed its result, and its failure would be lost.
check() {
  local what=$1 condition
  shift
  [ $# -gt 0 ] || { echo "check '$what' has no condition" >&2; exit 2; }
  for condition in "$@"; do
    if ! eval "$condition"; then
      failed=$((failed + 1))
      echo "FAIL - $what"
      echo "  does not hold: $condition"
      echo "  status $status; stdout: $(printf %q "$out"); stderr: $(printf %q "$err")"
      return 1
    fi
  done
  passed=$((passed + 1))
  echo "ok - $what"
}
# run ARGUMENTS...: sets status, out and err.
. "$(dirname "$0")/cli-checks.sh"
contains() { [[ $1 == *"$2"* ]]; }
no_carriage_return() { [[ $1 != *$'\r'* ]]; }
valid_utf8() { printf %s "$1" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1; }
images=(32yk2368.bin 32yk936.bin yk2368.bin yk936.bin)
same_as_images() {
  local f
  for f in "${images[@]}"; do cmp -s "$firmware/$f" "$card/$f" || return 1; done
}

run --version
check "--version names the program and its version, and says it is a test build" '[ "$status" -eq 0 ]' \
  '[ "$out" = "scaleboot-cli $version" ]' '[ "$marked" -eq 1 ]'

run list
check "list shows the card" '[ "$status" -eq 0 ]' 'grep -qxF -- "$listed" <<<"$out"'

run write "$root" --quiet
check "write puts the module on the card" '[ "$status" -eq 0 ]' \
  '[ "$out" = "Module creation completed successfully" ]' '[ -z "$err" ]' same_as_images

run --lang ru verify "$root"
check "verify finds exactly the module, in valid UTF-8 Russian through a pipe" '[ "$status" -eq 0 ]' \
  'valid_utf8 "$out"' 'contains "$out" "yk936.bin: совпадает"' 'contains "$out" "В папке в точности этот модуль."'

# One byte changed on the card, as a failing card might.
byte=$(od -An -tu1 -j1000 -N1 "$card/yk936.bin" | tr -d ' ')
printf "\\$(printf %03o $(((byte + 1) % 256)))" | dd of="$card/yk936.bin" bs=1 seek=1000 conv=notrunc status=none
run verify "$listed"
check "verify finds the changed byte" '[ "$status" -eq 1 ]' \
  'contains "$out" "yk936.bin: differs at byte 1000 (differing bytes: 1)"' \
  'contains "$out" "32yk2368.bin: identical"' 'contains "$out" "The folder does not hold this module."'
check "verify calls the card with the changed byte damaged" \
  'contains "$out" "yk936.bin: differs at byte 1000 (differing bytes: 1); damaged: its checksum does not hold"' \
  '[ "$(tail -n1 <<<"$out")" = "Verdict: the card is damaged or incomplete." ]'

# Another firmware version on the card: each file with a payload of its own and a trailer holding its sum.
for f in "${images[@]}"; do
  python3 -c 'import sys
b = bytearray(open(sys.argv[1], "rb").read())
b[:-4] = bytes((x + 1) % 256 for x in b[:-4])
b[-4:] = sum(b[:-4]).to_bytes(4, "little")
open(sys.argv[2], "wb").write(b)' "$firmware/$f" "$card/$f"
done
run --lang ru verify "$root"
check "verify tells an intact module of another version, in Russian" '[ "$status" -eq 1 ]' 'valid_utf8 "$out"' \
  'grep -qx "yk2368.bin: отличается в байте 0 (.*); другая версия, без повреждений" <<<"$out"' \
  'contains "$out" "Итог: на карте целый модуль другой версии."'
run verify "$root" --json
check "verify --json gives the verdict and each file's intact flag" '[ "$status" -eq 1 ]' \
  'json_check "d[\"verdict\"] == \"other-version\" and [f[\"intact\"] for f in d[\"files\"]] == [True] * 4"'

before=$(ls -A "$fixed_dir" 2>/dev/null | sort)
run write "$fixed_root"
check "write refuses the computer's own disk and names the removable drives" '[ "$status" -eq 2 ]' \
  'contains "$err" "is not a removable drive"' 'contains "$err" "$listed"' '[ -z "$out" ]'
check "nothing written to the computer's own disk" '[ "$(ls -A "$fixed_dir" 2>/dev/null | sort)" = "$before" ]'

run --lang ru contents
check "contents in Russian, valid UTF-8 with bare line feeds through a pipe" '[ "$status" -eq 0 ]' \
  'valid_utf8 "$out"' 'no_carriage_return "$out"' 'contains "$out" "Версии прошивок:"' \
  'contains "$out" "P321835 - для весов ЮКС-Л(1)Д"'

# A device as the log (the null device: /dev/null, or NUL on Windows) would swallow every line.
null_device=/dev/null
[[ $fixed_root == ?: ]] && null_device=NUL
rm -f "$card"/*.bin
run write "$root" --log "$null_device"
check "a --log that is a device is refused before any card is touched" '[ "$status" -eq 2 ]' \
  'contains "$err" "it is not a regular file"' '! ls "$card"/*.bin >/dev/null 2>&1'

run write
check "a missing root is a usage error" '[ "$status" -eq 2 ]' 'contains "$err" "--help"'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
