#!/usr/bin/env bash
# Builds everything and runs all tests (installing what they need when missing):
#   1. the Linux build: core, Linux platform layer, Qt window (offscreen) and document checks;
#   2. the core and the Linux platform layer again under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the Windows builds for 64- and 32-bit Windows, cross-compiled with MinGW-w64, their tests and window tests
#      run under Wine and Xvfb;
#   4. the release packages (scripts/package.sh), built twice to show they come out the same, and checked.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
ensure_packages "${LINUX_BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
# Wine prefixes made before Wine's 32-bit part was installed cannot start 32-bit programs: made again on use.
. tests/win32/wine-prefix.sh
while IFS= read -r prefix; do
  wine_prefix_refresh "$prefix"
done < <(find build -maxdepth 7 -type d -name wineprefix 2>/dev/null)

jobs=$(nproc 2>/dev/null || echo 2)
failed=()
run_suite() {
  local preset=$1
  echo "=== $preset: configure and build"
  cmake --preset "$preset" -DSCALEBOOT_BUILD_TESTS=ON
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset: tests"
  ctest --preset "$preset" -j 1 || failed+=("$preset")
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
  else
    echo "FAIL - a second build from scratch gives different files:"
    diff "$checks/SHA256SUMS.first" dist/SHA256SUMS || true
    failed+=(package-reproducible)
  fi
  (cd dist && sha256sum -c SHA256SUMS) || failed+=(package-checksums)
  bash tests/packaging/check-zips.sh . dist build/windows/tests/win32/window/win32_window_driver.exe \
    build/windows-x86/tests/win32/window/win32_window_driver.exe "$checks/zips" || failed+=(package-zips)
  bash tests/packaging/check-deb.sh . dist "$checks/deb" || failed+=(package-deb)
else
  failed+=(package)
fi
bash tests/packaging/apt-lock-test.sh || failed+=(apt-lock)
echo "=== packages: $((SECONDS - package_start)) s"

if [ ${#failed[@]} -ne 0 ]; then
  echo "Failing test suites: ${failed[*]}" >&2
  exit 1
fi
echo "All test suites passed."
