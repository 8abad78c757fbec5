#!/usr/bin/env bash
# Builds everything and runs all tests (installing what they need when missing):
#   1. the Linux build: core, Linux platform layer, Qt window (offscreen) and document checks;
#   2. the core and the Linux platform layer again under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the Windows build, cross-compiled with MinGW-w64, its tests and window tests run under Wine and Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
ensure_packages "${LINUX_BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

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

if [ ${#failed[@]} -ne 0 ]; then
  echo "Failing test suites: ${failed[*]}" >&2
  exit 1
fi
echo "All test suites passed."
