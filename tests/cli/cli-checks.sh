# Sourced by the command-line program's batch checks (bash), after tests/lib.sh. The caller sets `cli` to the
# command that starts the program (an array: a wrapper such as Wine may come first) and `firmware` to the
# folder of the four images.
#   run ARGUMENTS...        runs the program without input; sets status, out and err, and marked: the lines a
#                           test build adds (placeholder images: "test firmware, not for scales" after the
#                           version, the contents and each card written), which out and err then leave out
#   holds_module FOLDER     the four files in FOLDER (ending in "/") equal the images
#   json_check CONDITION    the Python condition holds for the JSON document `d` read from $out
#   expect NAME FUNCTION    a check of one function; a failing one shows the last run

run() {
  local errfile
  errfile=$(mktemp)
  out=$("${cli[@]}" "$@" 2>"$errfile" </dev/null)
  status=$?
  err=$(cat "$errfile")
  rm -f "$errfile"
  local mark='^(scaleboot-cli: )?(test firmware, not for scales|тестовая прошивка, не для весов)'$'\r''?$'
  marked=$(grep -cE "$mark" <<<"$out$err")
  out=$(grep -vE "$mark" <<<"$out")
  err=$(grep -vE "$mark" <<<"$err")
}

holds_module() {
  local file
  for file in 32yk2368.bin 32yk936.bin yk2368.bin yk936.bin; do cmp -s "$firmware/$file" "$1$file" || return 1; done
}

json_check() { python3 -c "import json, sys; d = json.load(sys.stdin); sys.exit(0 if ($1) else 1)" <<<"$out"; }

expect() {
  if "$2"; then
    ok "$1"
  else
    fail "$1"
    echo "  status $status; stdout: $(printf %q "$out"); stderr: $(printf %q "$err")"
  fi
}
