#!/usr/bin/env bash
# Builds everything and runs all tests (installing what they need when missing):
#   1. the Linux build: core, Linux platform layer, Qt window (offscreen) and document checks;
#   2. the core and the Linux platform layer again under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the Windows builds for 64- and 32-bit Windows, cross-compiled with MinGW-w64, their tests and window tests
#      run under Wine and Xvfb; where this machine runs no 32-bit programs (or SCALEBOOT_NO_32BIT=1 says to act
#      so), the 32-bit build is still made and its run-time suites are reported as skipped;
#   4. the release packages (scripts/package.sh), built twice to show they come out the same, and checked; then
#      signed releases in the first build folder (a throwaway certificate in a file and on a SoftHSM2 token) and
#      their refusals; then from other firmware images: refused when damaged, and carried by every program when
#      sound;
#   5. the path of a machine without 32-bit programs, forced, whatever this machine runs.
# Ends with a summary of every suite (passed, skipped and why, failed); exits 0 when nothing failed.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
. scripts/packages.sh
ensure_packages "${LINUX_BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}" \
  "${SIGNING_TEST_PACKAGES[@]}"
. tests/lib.sh
. tests/win32/wine.sh

# Once per run; every script and test started below reads the answer from SCALEBOOT_WINE32.
if wine_runs_32bit; then
  echo "=== This machine runs 32-bit programs: the 32-bit Windows suites run."
else
  echo "=== 32-bit Windows suites are built but not run: $(wine_no_32bit_reason)."
fi
# Wine prefixes made before Wine's 32-bit part was installed cannot start 32-bit programs: made again on use.
while IFS= read -r prefix; do
  wine_prefix_refresh "$prefix"
done < <(find build -maxdepth 7 -type d -name wineprefix 2>/dev/null)

jobs=$(nproc 2>/dev/null || echo 2)
logs=build/test-logs
mkdir -p "$logs"
failing=()
summary=()

# suite NAME STATUS LOG: records a suite's outcome for the summary: a check script's last "N passed" line.
suite() {
  local name=$1 status=$2 log=$3
  summary+=("$name: $(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -n1 || echo "status $status")")
  summary+=("$(sed -n 's/^skip - /  skipped /p' "$log")")
  [ "$status" -eq 0 ] || failing+=("$name")
}

run_suite() {
  local preset=$1 log="$logs/$1.log" status=0
  echo "=== $preset: configure and build"
  if ! { cmake --preset "$preset" -DSCALEBOOT_BUILD_TESTS=ON && cmake --build --preset "$preset" -j "$jobs"; }; then
    failing+=("$preset")
    summary+=("$preset: the build failed")
    return
  fi
  echo "=== $preset: tests"
  ctest --preset "$preset" -j 1 2>&1 | tee "$log" || status=$?
  summary+=("$preset: $(ctest_report "$log" "build/$preset")")
  [ "$status" -eq 0 ] || failing+=("$preset")
}

run_suite linux
run_suite linux-sanitize
run_suite windows
run_suite windows-x86

echo "=== packages: build, build again from scratch, check"
package_start=$SECONDS
checks=build/package-check
mkdir -p "$checks"
if scripts/package.sh; then
  cp dist/SHA256SUMS "$checks/SHA256SUMS.first"
  rm -rf build/package-again
  if SCALEBOOT_PACKAGE_BUILD_DIR=build/package-again scripts/package.sh >"$checks/again.log" 2>&1 &&
    cmp -s "$checks/SHA256SUMS.first" dist/SHA256SUMS; then
    echo "ok - a second build from scratch gives the same files"
    summary+=("package-reproducible: the same files twice")
  else
    echo "FAIL - a second build from scratch gives different files:"
    diff "$checks/SHA256SUMS.first" dist/SHA256SUMS || true
    failing+=(package-reproducible)
  fi
  (cd dist && sha256sum -c SHA256SUMS) || failing+=(package-checksums)
  status=0
  bash tests/packaging/check-zips.sh . dist build/windows/tests/win32/window/win32_window_driver.exe \
    build/windows-x86/tests/win32/window/win32_window_driver.exe "$checks/zips" 2>&1 | tee "$logs/zips.log" ||
    status=$?
  suite package-zips "$status" "$logs/zips.log"
  status=0
  bash tests/packaging/check-deb.sh . dist "$checks/deb" 2>&1 | tee "$logs/deb.log" || status=$?
  suite package-deb "$status" "$logs/deb.log"
  # Signed releases from the first build folder while it holds this release's build (only the signing and the
  # packages are redone), each into a folder of its own: dist/ stays unsigned. The zips' checks reuse their folder.
  status=0
  signing_start=$SECONDS
  bash tests/packaging/check-signing.sh . build/package "$checks/signing" \
    build/windows/tests/win32/window/win32_window_driver.exe \
    build/windows-x86/tests/win32/window/win32_window_driver.exe "$checks/zips" 2>&1 | tee "$logs/signing.log" ||
    status=$?
  suite package-signing "$status" "$logs/signing.log"
  echo "=== package-signing: $((SECONDS - signing_start)) s"
  # Other firmware images: the refusals, and two releases from them in the two build folders above (only what
  # the images change is rebuilt), each into a folder of its own: dist/ keeps the release checked above.
  status=0
  WINEPREFIX=$PWD/$checks/zips/wineprefix bash tests/packaging/check-firmware.sh . \
    build/linux/make_placeholder_firmware "$checks/firmware" build/package build/package-again 2>&1 |
    tee "$logs/firmware.log" || status=$?
  suite package-firmware "$status" "$logs/firmware.log"
else
  failing+=(package)
fi
status=0
bash tests/packaging/apt-lock-test.sh 2>&1 | tee "$logs/apt-lock.log" || status=$?
suite apt-lock "$status" "$logs/apt-lock.log"
echo "=== packages: $((SECONDS - package_start)) s"

echo "=== without 32-bit programs (forced by SCALEBOOT_NO_32BIT=1)"
status=0
bash tests/win32/no-32bit-check.sh . 2>&1 | tee "$logs/no-32bit.log" || status=$?
suite no-32bit-path "$status" "$logs/no-32bit.log"

echo "=== summary ($((SECONDS - start)) s)"
printf '%s\n' "${summary[@]}" | sed '/^$/d'
if [ ${#failing[@]} -ne 0 ]; then
  echo "Failing test suites: ${failing[*]}" >&2
  exit 1
fi
echo "All test suites passed."
