#!/usr/bin/env bash
# Builds everything and runs all tests (installing what they need when missing):
#   1. the Linux build: core, Linux platform layer, Qt window (offscreen) and document checks;
#   2. the core and the Linux platform layer again under AddressSanitizer and UndefinedBehaviorSanitizer; then
#      the Linux build for 64-bit ARM, cross-compiled, whose core, platform and command-line card suites run under
#      qemu-aarch64 (what differs by architecture; the window's drawing and the documents' checks run once, native);
#   3. the Windows builds for 64- and 32-bit Windows, cross-compiled with MinGW-w64, their tests and window tests
#      run under Wine and Xvfb; where this machine runs no 32-bit programs (or SCALEBOOT_NO_32BIT=1 says to act
#      so), the 32-bit build is still made and its run-time suites are reported as skipped;
#   4. the release packages (scripts/package.sh), built twice to show they come out the same (the second time
#      from scratch, without the compiler cache), and checked; then signed releases in the first build folder (a
#      throwaway certificate in a file and on a SoftHSM2 token) and their refusals; then from other firmware
#      images: refused when damaged, and carried by every program when sound;
#   5. the path of a machine without 32-bit programs, forced, whatever this machine runs.
#
# The builds run one after another, each on every processor; the suites run beside them as soon as what they
# need is built, in three lanes: the Linux suites (the two Linux builds' suites one after the other: loop
# devices are global, and a station given no reader takes any card), the Windows suites, and the packages'
# checks. Each suite has a time limit (about three times what it takes on a 2-core machine); one still running
# then is ended, and the summary names it. A compiler cache (ccache, outside the clone) makes a build the machine
# has made before quick, in this clone or another.
#
#   scripts/test.sh            everything, then a table of each build's and suite's seconds and the summary
#   scripts/test.sh --suite S  one build or suite alone (the names of the table; what it needs must be built)
#
# Exits 0 when nothing failed.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
. scripts/packages.sh
. tests/lib.sh
. tests/win32/wine.sh

jobs=$(nproc 2>/dev/null || echo 2)
logs=build/test-logs
checks=build/package-check

# ---- The builds and suites, each a command of its own ----

suite_build() { # suite_build PRESET
  cmake --preset "$1" -DSCALEBOOT_BUILD_TESTS=ON && cmake --build --preset "$1" -j "$jobs"
}
suite_ctest() { # suite_ctest PRESET
  # CTest's detailed log is kept beside the suite's own: a later suite that runs CTest in the same build folder
  # (the path of a machine without 32-bit programs) writes it again, and the summary reads this run's failures.
  local status=0
  ctest --preset "$1" -j 1 || status=$?
  cp "build/$1/Testing/Temporary/LastTest.log" "$logs/$1.ctest.log" 2>/dev/null || true
  return "$status"
}
suite_package() {
  scripts/package.sh && mkdir -p "$checks" && cp dist/SHA256SUMS "$checks/SHA256SUMS.first"
}
# The same release from scratch in another folder, without the compiler cache, which would hide a difference.
suite_package_again() {
  rm -rf build/package-again "$checks/dist-again"
  CCACHE_DISABLE=1 SCALEBOOT_PACKAGE_BUILD_DIR=build/package-again SCALEBOOT_DIST_DIR=$checks/dist-again \
    scripts/package.sh >"$checks/again.log" 2>&1 || { tail -n 30 "$checks/again.log"; return 1; }
  if cmp -s "$checks/SHA256SUMS.first" "$checks/dist-again/SHA256SUMS"; then
    echo "1 passed, 0 failed: a second build from scratch gives the same files"
  else
    echo "FAIL - a second build from scratch gives different files:"
    diff "$checks/SHA256SUMS.first" "$checks/dist-again/SHA256SUMS" || true
    echo "0 passed, 1 failed"
    return 1
  fi
}
suite_package_zips() {
  (cd dist && sha256sum -c SHA256SUMS) &&
    bash tests/packaging/check-zips.sh . dist build/windows/tests/win32/window/win32_window_driver.exe \
      build/windows-x86/tests/win32/window/win32_window_driver.exe "$checks/zips"
}
suite_package_deb() {
  bash tests/packaging/check-deb.sh . dist "$checks/deb"
}
# Signed releases from the first build folder while it holds this release's build (only the signing and the
# packages are redone), each into a folder of its own: dist/ stays unsigned.
suite_package_signing() {
  bash tests/packaging/check-signing.sh . build/package "$checks/signing" \
    build/windows/tests/win32/window/win32_window_driver.exe \
    build/windows-x86/tests/win32/window/win32_window_driver.exe "$checks/zips"
}
# Other firmware images: the refusals, and two releases from them in the two build folders above (only what the
# images change is rebuilt), each into a folder of its own: dist/ keeps the release checked above.
suite_package_firmware() {
  WINEPREFIX=$PWD/$checks/zips/wineprefix bash tests/packaging/check-firmware.sh . \
    build/linux/make_placeholder_firmware "$checks/firmware" build/package build/package-again \
    build/windows/tests/win32/window/win32_window_driver.exe
}
suite_apt_lock() {
  bash tests/packaging/apt-lock-test.sh
}
suite_no_32bit_path() {
  bash tests/win32/no-32bit-check.sh . "$logs"
}

# NAME -> command, and its time limit in seconds.
declare -A command=(
  [build-linux]="suite_build linux" [build-linux-sanitize]="suite_build linux-sanitize"
  [build-linux-arm64]="suite_build linux-arm64" [linux-arm64]="suite_ctest linux-arm64"
  [build-windows]="suite_build windows" [build-windows-x86]="suite_build windows-x86"
  [linux]="suite_ctest linux" [linux-sanitize]="suite_ctest linux-sanitize"
  [windows]="suite_ctest windows" [windows-x86]="suite_ctest windows-x86"
  [package]=suite_package [package-reproducible]=suite_package_again [package-zips]=suite_package_zips
  [package-deb]=suite_package_deb [package-signing]=suite_package_signing
  [package-firmware]=suite_package_firmware [apt-lock]=suite_apt_lock [no-32bit-path]=suite_no_32bit_path
)
# About three times what each took on a 2-core machine (cold builds: a machine that never built the project; the
# 32-bit suites: as long as the 64-bit ones, where the machine runs them).
declare -A limit=(
  [build-linux]=1500 [build-linux-sanitize]=1200 [build-windows]=1500 [build-windows-x86]=1500
  [build-linux-arm64]=1200 [linux-arm64]=900
  [linux]=1200 [linux-sanitize]=960 [windows]=1500 [windows-x86]=1500
  [package]=1500 [package-reproducible]=1200 [package-zips]=300 [package-deb]=300 [package-signing]=600
  [package-firmware]=600 [apt-lock]=120 [no-32bit-path]=600
)

if [ "${1:-}" = --suite ]; then
  [ -n "${command[${2:-}]:-}" ] || { echo "test.sh: no suite ${2:-} (one of: ${!command[*]})" >&2; exit 2; }
  ${command[$2]}
  exit $?
fi

ensure_packages "${LINUX_BUILD_PACKAGES[@]}" "${ARM64_BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}" \
  "${SIGNING_TEST_PACKAGES[@]}"

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

rm -rf "$logs"
mkdir -p "$logs" "$checks"
# Every Wine prefix the suites make is a copy of one made once (and kept for the next run).
export SCALEBOOT_WINE_TEMPLATE=$PWD/build/wine-template
if command -v ccache >/dev/null 2>&1; then
  ccache -z >/dev/null 2>&1 || true
fi

# run NAME: runs the build or suite NAME within its time limit, its output into $logs/NAME.log; leaves its
# exit status and seconds in $logs/NAME.done (124 when it was ended at its limit).
# The suites that run Windows programs take turns (a lock): each has its own Wine prefix, but with two of them
# at once under load a program once lost its wineserver mid-run ("recvmsg: Connection reset by peer").
run() {
  local name=$1 began status=0
  case $name in
    windows | windows-x86 | package-zips | package-signing | package-firmware | no-32bit-path)
      exec 9>"$logs/wine.lock"
      flock 9
      ;;
  esac
  began=$SECONDS
  timeout -k 30 "${limit[$name]}" bash scripts/test.sh --suite "$name" </dev/null >"$logs/$name.log" 2>&1 9>&- ||
    status=$?
  echo "$status $((SECONDS - began))" >"$logs/$name.done"
  exec 9>&-
}
# await NAME...: waits until each of them has ended.
await() {
  local name
  for name in "$@"; do
    while [ ! -e "$logs/$name.done" ]; do sleep 1; done
  done
}
# succeeded NAME: true when NAME ended with status 0.
succeeded() {
  [ "$(cut -d' ' -f1 "$logs/$1.done" 2>/dev/null)" = 0 ]
}
# skipped NAME WHY: NAME does not run, since what it needs failed.
skipped() {
  echo "- $2" >"$logs/$1.log"
  echo "skipped 0" >"$logs/$1.done"
}
# report NAME: NAME's output (only its end when it passed and is long), once it has ended.
report() {
  local name=$1 status
  await "$name"
  status=$(cut -d' ' -f1 "$logs/$name.done")
  echo "=== $name ($(cut -d' ' -f2 "$logs/$name.done") s)"
  if [ "$status" = 0 ] && [[ $name == build-* ]]; then
    tail -n 3 "$logs/$name.log"
  else
    cat "$logs/$name.log"
  fi
}

# The Linux lane: its suites once their builds are made, one after the other.
linux_lane() {
  await build-linux
  if succeeded build-linux; then run linux; else skipped linux "the build failed"; fi
  await build-linux-sanitize
  if succeeded build-linux-sanitize; then run linux-sanitize; else skipped linux-sanitize "the build failed"; fi
  await build-linux-arm64
  if succeeded build-linux-arm64; then run linux-arm64; else skipped linux-arm64 "the build failed"; fi
}
# The Windows lane: the window tests under Wine, each build's once it is made.
windows_lane() {
  local preset
  for preset in windows windows-x86; do
    await "build-$preset"
    if succeeded "build-$preset"; then run "$preset"; else skipped "$preset" "the build failed"; fi
  done
}
# The packages' lane: the checks of dist/ once the release is made, the firmware releases once the second
# build folder is made too, and the forced path without 32-bit programs once the Windows suites have ended (it
# runs the same builds' suites).
package_lane() {
  await package
  local name
  if succeeded package && succeeded build-windows && succeeded build-windows-x86; then
    for name in package-zips package-deb package-signing; do run "$name"; done
  else
    for name in package-zips package-deb package-signing; do skipped "$name" "the release or a build failed"; done
  fi
  await package-reproducible build-linux
  if succeeded package && succeeded package-reproducible && succeeded build-linux; then
    run package-firmware
  else
    skipped package-firmware "the release, its second build or the Linux build failed"
  fi
  run apt-lock
  await windows windows-x86
  run no-32bit-path
}

lanes=()
linux_lane &
lanes+=($!)
windows_lane &
lanes+=($!)
package_lane &
lanes+=($!)
# The builds, one after the other on every processor, the suites beside them.
for name in build-linux build-linux-sanitize build-windows build-windows-x86 build-linux-arm64 package \
  package-reproducible; do
  run "$name"
  report "$name"
done
for name in linux linux-sanitize linux-arm64 windows windows-x86 package-zips package-deb package-signing package-firmware \
  apt-lock no-32bit-path; do
  report "$name"
done
wait "${lanes[@]}" || true

# ---- Summary: each build's and suite's outcome, then the table of seconds ----
failing=()
summary=()
order=(build-linux linux build-linux-sanitize linux-sanitize build-linux-arm64 linux-arm64 build-windows windows build-windows-x86 windows-x86
  package package-reproducible package-zips package-deb package-signing package-firmware apt-lock no-32bit-path)
for name in "${order[@]}"; do
  read -r status seconds <"$logs/$name.done"
  log=$logs/$name.log
  case $status in
    0) outcome=passed ;;
    124 | 137) outcome="ENDED after its limit of ${limit[$name]} s: it hung or took far too long" ;;
    skipped) outcome="not run: $(sed 's/^- //' "$log")" ;;
    *) outcome="FAILED (status $status)" ;;
  esac
  [ "$status" = 0 ] || failing+=("$name")
  if [[ $name == build-* ]]; then
    summary+=("$name: $outcome")
  elif [[ $name == linux* || $name == windows* ]] && [ "$status" != skipped ]; then
    # The outcome on the counts' line; the skipped and failed tests' lines after it.
    counts=$(ctest_report "$log" "$logs/$name.ctest.log")
    summary+=("$name: ${counts%%$'\n'*} ($outcome)")
    if [[ $counts == *$'\n'* ]]; then summary+=("${counts#*$'\n'}"); fi
  else
    summary+=("$name: $(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -n1 || true) ($outcome)")
    summary+=("$(sed -n 's/^skip - /  skipped /p' "$log")")
  fi
  times+=("$(printf '  %-22s %6s' "$name" "$seconds")")
done
echo "=== summary"
printf '%s\n' "${summary[@]}" | sed '/^$/d'
# A run on a machine without 32-bit programs checks the 32-bit build's files but runs none of its programs: said
# last, where it is read, since only a run on a machine that starts them shows that they pass.
if ! wine_runs_32bit; then
  echo "=== NOT RUN HERE: the 32-bit Windows programs (suite windows-x86: $(wine_no_32bit_reason)); run this command" \
    "on a machine that runs 32-bit programs before the work is done"
fi
echo "=== seconds of each build and suite (the lanes run side by side: the sum is more than the total)"
printf '%s\n' "${times[@]}"
printf '  %-22s %6s\n' total $((SECONDS - start))
if command -v ccache >/dev/null 2>&1; then
  echo "=== compiler cache: $(ccache -s 2>/dev/null | grep -iE '^ *(hits|misses):' | tr -s ' ' | paste -sd';')"
fi
if [ ${#failing[@]} -ne 0 ]; then
  echo "Failing: ${failing[*]}" >&2
  exit 1
fi
echo "All test suites passed."
