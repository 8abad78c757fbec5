# Sourced by the shell checks (bash): counting checks, a virtual X display, the project version.
passed=0
failed=0
skipped=0
ok() { passed=$((passed + 1)); echo "ok - $1"; }
fail() { failed=$((failed + 1)); echo "FAIL - $1"; }
# skip NAME (REASON): a check that cannot run on this machine; test.sh lists these lines in its summary.
skip() { skipped=$((skipped + 1)); echo "skip - $1"; }
check() {  # check NAME COMMAND...: passes when the command succeeds
  local name=$1
  shift
  if "$@"; then ok "$name"; else fail "$name"; fi
}
finish() {
  echo "$passed passed, $failed failed$([ "$skipped" -eq 0 ] || echo ", $skipped skipped")"
  [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
  exit $?
}

# start_xvfb [XVFB_OPTION...]: starts Xvfb on a display of its own and exports DISPLAY; sets xvfb_pid. Xvfb
# picks a free display itself and names it once it takes connections (-displayfd), so suites running side by
# side never take the same one, and nothing waits a fixed time for it.
xvfb_pid=
start_xvfb() {
  local fifo display=
  fifo=$(mktemp -u) && mkfifo "$fifo" || return 1
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp "$@" 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 30 display <"$fifo"
  rm -f "$fifo"
  if [ -n "$display" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
    export DISPLAY=":$display"
    return 0
  fi
  kill "$xvfb_pid" 2>/dev/null
  xvfb_pid=
  return 1
}
stop_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
  fi
}

# The project version, from CMakeLists.txt.
project_version() {
  sed -n 's/^project(scaleboot VERSION \([0-9][0-9.]*\)[ )].*/\1/p' "$1/CMakeLists.txt"
}

# ctest_report LOG TEST_LOG: one line of counts for a CTest run whose console output is in LOG ("N tests: P
# passed, S skipped, F failed"), then a line for each skipped test with the reason the test gave (its output line
# that says "skipped: ..."), and for each failed test its first failure lines, read from the same run's detailed
# log TEST_LOG (CTest's Testing/Temporary/LastTest.log).
ctest_report() {
  local log=$1 test_log=$2 total failed_tests skipped_tests name reason
  total=$(sed -n 's/.*tests passed, [0-9]* tests\{0,1\} failed out of \([0-9]*\).*/\1/p' "$log" | tail -n1)
  failed_tests=$(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of.*/\1/p' "$log" | tail -n1)
  skipped_tests=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$log")
  if [ -z "$total" ]; then
    echo "no test results"
    return
  fi
  local skipped_count=0
  [ -n "$skipped_tests" ] && skipped_count=$(wc -l <<<"$skipped_tests")
  echo "$total tests: $((total - failed_tests - skipped_count)) passed, $skipped_count skipped, $failed_tests failed"
  while IFS= read -r name; do
    [ -n "$name" ] || continue
    reason=$(awk -v test="$name" '
      $0 ~ /^[0-9]+\/[0-9]+ Test: / { sub(/^[0-9]+\/[0-9]+ Test: /, ""); current = $0 }
      current == test && /skipped: / { sub(/.*skipped: /, ""); print; exit }' \
      "$test_log" 2>/dev/null)
    echo "  skipped $name: ${reason:-no reason given}"
  done <<<"$skipped_tests"
  # Each failed test with its first lines that tell a failure, so that a summary read alone names what to look at.
  local shown=0
  while IFS= read -r name; do
    [ -n "$name" ] || continue
    if [ $((shown += 1)) -gt 10 ]; then
      echo "  ... and more failed: see the suite's output above"
      break
    fi
    echo "  failed $name:"
    awk -v test="$name" '
      $0 ~ /^[0-9]+\/[0-9]+ Test: / { sub(/^[0-9]+\/[0-9]+ Test: /, ""); current = $0; next }
      current == test && /^\[ RUN / { running = $0; next }
      current == test && /^\[       OK / { next }
      current == test && /(\[  FAILED|Failure$|^FAIL|not ok|Expected|Which is|runtime error|aborting|Aborted|double free|Segmentation|timed? ?out)/ && shown < 8 {
        if (shown == 0 && running != "") print "    " running
        print "    " $0; shown++ }' "$test_log" 2>/dev/null
  done < <(sed -n '/^The following tests FAILED:/,/^$/s/^[[:space:]]*[0-9]* - \(.*\) ([^)]*)$/\1/p' "$log")
}
