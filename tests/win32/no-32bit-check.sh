#!/usr/bin/env bash
# The path of a machine that runs no 32-bit programs, forced with SCALEBOOT_NO_32BIT=1 whatever this machine
# runs: CTest reports every test of the 32-bit Windows build that starts a program as skipped, each with the
# reason, and exits 0 (the check of the test DLLs' files, which starts none, runs and passes); the
# 64-bit Windows tests still run and pass; the summary of the test command names the skipped tests and why; and
# the 32-bit zip, when built, still gets its contents, PE type and import checks, only its start under Wine
# being skipped. Needs the windows and windows-x86 builds with their tests (and dist/ for the zip).
#   no-32bit-check.sh SOURCE_DIR [RUN_LOGS]
# RUN_LOGS: the test command's logs of this run (windows.log, windows-x86.log, package-zips.log, with their exit
# statuses in NAME.done). Where this machine itself runs no 32-bit programs, that run already took this path:
# its logs are checked instead of running the same suites again.
set -u
source_dir=$(cd "$1" && pwd)
run_logs=${2:-}
cd "$source_dir"
. tests/lib.sh
. tests/win32/wine.sh
reuse=no
if [ -n "$run_logs" ] && [ -f "$run_logs/windows-x86.done" ] && [ -f "$run_logs/windows.done" ] &&
  ! (unset SCALEBOOT_WINE32 SCALEBOOT_NO_32BIT && wine_runs_32bit); then
  reuse=yes
  echo "--- this machine runs no 32-bit programs: the checks read this run's own logs ($run_logs)"
fi
export SCALEBOOT_NO_32BIT=1
unset SCALEBOOT_WINE32
work=build/no-32bit-check
mkdir -p "$work"

echo "--- the 32-bit Windows build's tests"
if [ "$reuse" = yes ]; then
  cp "$run_logs/windows-x86.log" "$work/x86.log"
  cp "$run_logs/windows-x86.ctest.log" "$work/x86.ctest.log"
  status=$(cut -d' ' -f1 "$run_logs/windows-x86.done")
else
  ctest --preset windows-x86 -j 1 >"$work/x86.log" 2>&1
  status=$?
  cp build/windows-x86/Testing/Temporary/LastTest.log "$work/x86.ctest.log"
fi
sed 's/^/    /' "$work/x86.log"
report=$(ctest_report "$work/x86.log" "$work/x86.ctest.log")
echo "$report" | sed 's/^/    /'
total=$(sed -n 's/^\([0-9]*\) tests: .*/\1/p' <<<"$report" | head -n1)
check "CTest exits 0 when it skips them" test "$status" -eq 0
# The one test that starts no program reads the built DLLs' files: it runs, and must pass, here too.
check "the check of the test DLLs' files runs and passes" \
  grep -qE "Test +#[0-9]+: win32_test_dlls \.+ +Passed" "$work/x86.log"
check "each of the other $((${total:-1} - 1)) tests is reported as skipped, none failed" \
  grep -qx "${total:-none} tests: 1 passed, $((${total:-1} - 1)) skipped, 0 failed" <<<"$report"
check "every skipped test says why" \
  test "$(grep -c '^  skipped .*: .*this machine runs no 32-bit programs' <<<"$report")" -eq "$((${total:-1} - 1))"
for name in core_tests win32_platform_tests win32_window cli_end_to_end; do
  check "the summary lists $name as skipped" grep -q "^  skipped $name: " <<<"$report"
done

echo "--- the 64-bit Windows build's tests still run"
if [ "$reuse" = yes ]; then
  passed_in_run() { # each of the three tests passed in the run's own 64-bit suite
    local name
    for name in core_tests win32_platform_tests cli_end_to_end; do
      grep -qE "Test +#[0-9]+: $name \.+ +Passed" "$run_logs/windows.log" || { echo "    $name: not passed"; return 1; }
    done
  }
  check "they pass, none skipped" passed_in_run
else
  ctest --preset windows -j 1 -R '^(core_tests|win32_platform_tests|cli_end_to_end)$' >"$work/x64.log" 2>&1
  status=$?
  report=$(ctest_report "$work/x64.log" build/windows/Testing/Temporary/LastTest.log)
  echo "$report" | sed 's/^/    /'
  check "they pass, none skipped" bash -c '[ "$1" -eq 0 ] && grep -qx "3 tests: 3 passed, 0 skipped, 0 failed" <<<"$2"' \
    _ "$status" "$report"
fi

version=$(project_version .)
if [ -f "dist/ScaleBoot-$version-windows-x86.zip" ]; then
  echo "--- the 32-bit zip"
  if [ "$reuse" = yes ] && [ -f "$run_logs/package-zips.log" ]; then
    grep -E '^(ok|FAIL|skip) - x86: ' "$run_logs/package-zips.log" >"$work/zips.log"
    ! grep -q '^FAIL - x86: ' "$work/zips.log"
  else
    bash tests/packaging/check-zips.sh . dist build/windows/tests/win32/window/win32_window_driver.exe \
      build/windows-x86/tests/win32/window/win32_window_driver.exe "$work/zips" x86 >"$work/zips.log" 2>&1
  fi
  status=$?
  sed 's/^/    /' "$work/zips.log"
  check "its checks pass without Wine" test "$status" -eq 0
  check "its imports are still checked" grep -q '^ok - x86: ScaleBoot.exe imports only DLLs' "$work/zips.log"
  check "only the start under Wine is skipped, with the reason" \
    test "$(grep -c '^skip - x86: .*this machine runs no 32-bit programs' "$work/zips.log")" -eq 1
fi
finish
