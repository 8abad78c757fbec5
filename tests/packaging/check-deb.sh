#!/usr/bin/env bash
# Checks the Debian packages in dist/, scaleboot (the window) and scaleboot-cli (the command-line program,
# without Qt) for amd64 and arm64, and scaleboot-station (the station as a system service): lintian finds
# neither errors nor warnings, each holds its own files, the desktop entry and the AppStream metainfo validate,
# the icons are the program's own icon, the programs are of their architecture and hardened (the arm64 ones
# without the x86-only control-flow protection), the arm64 ones start under qemu-aarch64, the station's unit
# is hardened past a threshold (systemd-analyze security) and its maintainer scripts use Debian's helpers;
# then, as root (CI runs on a throwaway machine), installs the amd64 window and command line with apt, checks what they installed, runs the command-line program and starts the
# installed window as an ordinary user (offscreen, then on a virtual display where its manual button is
# clicked: the manual must land in that user's cache folder and be handed to the desktop), clicks the manual
# button again as root (the manual must land in root's cache folder, not in /usr/bin), installs the station's
# package (its unit passes systemd-analyze verify and is enabled) and removes all three again.
#   check-deb.sh SOURCE_DIR DIST_DIR WORK_DIR
set -u
export LC_ALL=C.UTF-8
source_dir=$(cd "$1" && pwd)
dist=$(cd "$2" && pwd)
work=$(mkdir -p "$3" && cd "$3" && pwd)
. "$source_dir/tests/lib.sh"
version=$(project_version "$source_dir")
deb=$dist/scaleboot_${version}_amd64.deb
cli_deb=$dist/scaleboot-cli_${version}_amd64.deb
appid=org.scaleboot.ScaleBoot
user=scaleboot-check

arm_deb=$dist/scaleboot_${version}_arm64.deb
arm_cli_deb=$dist/scaleboot-cli_${version}_arm64.deb
station_deb=$dist/scaleboot-station_${version}_all.deb
for file in "$deb" "$cli_deb" "$arm_deb" "$arm_cli_deb" "$station_deb"; do
  [ -f "$file" ] || { fail "$file exists"; finish; }
done

# ---- The packages' contents ----
lintian_clean() {  # lintian_clean DEB: no errors, no warnings
  local log
  log="$work/lintian-$(basename "$1").log"
  lintian --display-level '>=info' "$1" >"$log" 2>&1
  grep -v 'running with root privileges' "$log" | sed 's/^/    /'
  ! grep -qE '^[EW]: ' "$log"
}
tree="$work/tree"
cli_tree="$work/cli-tree"
rm -rf "$tree" "$cli_tree"
dpkg-deb -x "$deb" "$tree"
dpkg-deb -x "$cli_deb" "$cli_tree"
control=$(dpkg-deb -f "$deb")
cli_control=$(dpkg-deb -f "$cli_deb")
depends=$(sed -n 's/^Depends: //p' <<<"$control")
cli_depends=$(sed -n 's/^Depends: //p' <<<"$cli_control")
echo "    scaleboot Depends: $depends"
echo "    scaleboot-cli Depends: $cli_depends"

echo "--- scaleboot-cli"
check "lintian: scaleboot-cli is clean" lintian_clean "$cli_deb"
check "control: scaleboot-cli, version $version from CMakeLists.txt" \
  bash -c 'grep -qx "Package: scaleboot-cli" <<<"$1" && grep -qx "Version: $2" <<<"$1"' _ "$cli_control" "$version"
check "control: scaleboot-cli needs the C library and no Qt" \
  bash -c '[[ "$1" == *libc6* && "$1" == *libmount1* && "$1" != *qt* ]]' _ "$cli_depends"
check "control: both programs need libsystemd0, through which they ask udisks to eject a card" \
  bash -c '[[ "$1" == *libsystemd0* && "$2" == *libsystemd0* ]]' _ "$cli_depends" "$depends"
check "scaleboot-cli holds the command-line program, its manual page, its copyright, changelog and troubleshooting only" \
  test "$(cd "$cli_tree" && find . -type f | sort | tr '\n' ' ')" = \
  "./usr/bin/scaleboot-cli ./usr/share/doc/scaleboot-cli/changelog.gz ./usr/share/doc/scaleboot-cli/copyright ./usr/share/doc/scaleboot-cli/troubleshooting.md.gz ./usr/share/man/man1/scaleboot-cli.1.gz "

echo "--- scaleboot"
check "lintian: scaleboot is clean" lintian_clean "$deb"
check "control: scaleboot, version $version from CMakeLists.txt" \
  bash -c 'grep -qx "Package: scaleboot" <<<"$1" && grep -qx "Version: $2" <<<"$1"' _ "$control" "$version"
check "control: the Qt libraries and the platform plugins among the dependencies, scaleboot-cli suggested" \
  bash -c '[[ "$1" == *libqt6widgets6* && "$1" == *libqt6gui6* && "$1" == *libc6* && "$1" == *qt6-qpa-plugins* ]] &&
    grep -qx "Suggests: scaleboot-cli (= $3)" <<<"$2"' _ "$depends" "$control" "$version"
check "control: both descriptions name the command-line program" \
  bash -c '[[ "$1" == *"Description:"*scaleboot-cli* && "$2" == *"Description:"*"command line"* ]]' _ "$control" "$cli_control"
check "scaleboot leaves the command-line program to scaleboot-cli" \
  test ! -e "$tree/usr/bin/scaleboot-cli" -a ! -e "$tree/usr/share/man/man1/scaleboot-cli.1.gz"

desktop="$tree/usr/share/applications/$appid.desktop"
check "desktop entry passes desktop-file-validate" desktop-file-validate "$desktop"
check "desktop entry: Russian and English names, comments and keywords, Utility and FileTools, the program and its icon" bash -c '
  for key in "Name=" "Name\[ru\]=" "Comment=" "Comment\[ru\]=" "Keywords=.*firmware" "Keywords\[ru\]=.*прошивка" \
    "Categories=Utility;FileTools;$" "Exec=scaleboot$" "Icon=scaleboot$"; do
    grep -q "^$key" "$1" || { echo "    missing $key"; exit 1; }; done' _ "$desktop"
metainfo="$tree/usr/share/metainfo/$appid.metainfo.xml"
check "metainfo passes appstreamcli validate" appstreamcli validate --no-net "$metainfo"
check "metainfo: names, summaries, descriptions (naming scaleboot-cli) and keywords in both languages, release $version with its notes" bash -c '
  for pattern in "<name>" "<name xml:lang=\"ru\">" "<summary>" "<summary xml:lang=\"ru\">" "<p>" \
    "<p xml:lang=\"ru\">" "program scaleboot-cli" "командной строки scaleboot-cli" "<keyword>" \
    "<keyword xml:lang=\"ru\">" "<release version=\"$2\"" "<category>FileTools</category>"; do
    grep -qF "$pattern" "$1" || { echo "    missing $pattern"; exit 1; }; done
  release=$(tr -d "\n" <"$1" | grep -o "<release [^>]*>.*</release>")
  [[ "$release" == *"<description>"* ]] || { echo "    the release has no notes"; exit 1; }' _ "$metainfo" "$version"
# The project has no web site of its own; screenshots need a web address, given only at release time.
check "metainfo: no project URL, no screenshots without a web address for them" \
  bash -c '! grep -qE "<url|<screenshots>" "$1"' _ "$metainfo"

icons_ok() {  # each hicolor PNG is the program's icon drawn at its size; the 48 px one is the window's icon
  local size png
  for size in 16 22 24 32 48 64 128 256; do
    png="$tree/usr/share/icons/hicolor/${size}x${size}/apps/scaleboot.png"
    [ "$(file -b "$png" | cut -d, -f2)" = " $size x $size" ] || { echo "    $png: $(file -b "$png")"; return 1; }
  done
  cmp -s "$tree/usr/share/icons/hicolor/48x48/apps/scaleboot.png" "$source_dir/resources/icon/scaleboot.png"
}
check "hicolor icons 16 to 256 px from the program's own icon" icons_ok

for program in scaleboot scaleboot-cli; do
  root=$tree
  [ "$program" = scaleboot-cli ] && root=$cli_tree
  check "/usr/bin/$program is a stripped x86-64 program" \
    bash -c 'file -b "$1" | grep -q "ELF 64-bit.*x86-64.*stripped" && ! file -b "$1" | grep -q "not stripped"' \
    _ "$root/usr/bin/$program"
  check "manual page of $program formats without warnings" bash -c \
    'out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null); [ -z "$out" ] || { echo "$out"; exit 1; }' \
    _ "$root/usr/share/man/man1/$program.1.gz"
  check "copyright file and changelog of $program" test -s "$root/usr/share/doc/$program/copyright" -a \
    -s "$root/usr/share/doc/$program/changelog.gz"
  check "troubleshooting of $program under /usr/share/doc, in both languages, as in the repository" bash -c \
    'zcat "$1" | cmp -s - "$2" && zgrep -q "Запись загрузочного модуля на карту завершена успешно" "$1"' \
    _ "$root/usr/share/doc/$program/troubleshooting.md.gz" "$source_dir/docs/troubleshooting.md"
done

# ---- Debian's hardening ----
# hardening-check judges each program by what the binary shows; its exit status also counts lines it cannot
# judge. On Debian 12 its stack-clash line says "unknown" whatever the flags, and its control-flow line says
# "no" because of the C library's start-up files: those two are reported, and the flags behind them are read
# from the package build's CMakeCache.txt instead.
hardened() {  # hardened PROGRAM: PIE, stack protection, read-only relocations and immediate binding say yes
  local report line bad=0
  report=$(hardening-check "$1" 2>&1)
  sed -n 's/^ /    /p' <<<"$report"
  for line in "Position Independent Executable" "Stack protected" "Read-only relocations" "Immediate binding"; do
    grep -q "^ $line: yes" <<<"$report" || { echo "    not: $line"; bad=1; }
  done
  return $bad
}
if command -v hardening-check >/dev/null 2>&1; then
  check "hardening-check: scaleboot-cli is hardened" hardened "$cli_tree/usr/bin/scaleboot-cli"
  check "hardening-check: scaleboot is hardened" hardened "$tree/usr/bin/scaleboot"
else
  fail "hardening-check (devscripts) is installed"
fi
cache="${SCALEBOOT_PACKAGE_BUILD_DIR:-$source_dir/build/package}/linux/CMakeCache.txt"
[[ $cache == /* ]] || cache=$source_dir/$cache
built_with() {  # built_with FLAG...: the package build's compiler flags (C and C++) hold every FLAG
  local variable value flag
  for variable in CMAKE_C_FLAGS CMAKE_CXX_FLAGS; do
    value=" $(sed -n "s/^$variable:[A-Z]*=//p" "$cache") "
    for flag in "$@"; do [[ $value == *" $flag "* ]] || { echo "    $variable lacks $flag"; return 1; }; done
  done
}
if [ -f "$cache" ]; then
  check "the package build's compiler flags: fortified, stack, stack-clash and control-flow protection" \
    built_with -D_FORTIFY_SOURCE=2 -fstack-protector-strong -fstack-clash-protection -fcf-protection
  check "the package build's linker flags: read-only relocations, bound at start" \
    grep -qx 'CMAKE_EXE_LINKER_FLAGS:[A-Z]*=-Wl,-z,relro,-z,now' "$cache"
else
  skip "the package build's flags ($cache: no package build here)"
fi

# ---- The arm64 packages: the same programs for 64-bit ARM, cross-built ----
arm_tree="$work/arm-tree"
arm_cli_tree="$work/arm-cli-tree"
rm -rf "$arm_tree" "$arm_cli_tree"
dpkg-deb -x "$arm_deb" "$arm_tree"
dpkg-deb -x "$arm_cli_deb" "$arm_cli_tree"
files_of() { (cd "$1" && find . -type f | sort); }
echo "--- the arm64 packages"
for pair in "scaleboot:$deb:$arm_deb" "scaleboot-cli:$cli_deb:$arm_cli_deb"; do
  IFS=: read -r package amd arm <<<"$pair"
  check "lintian: $package (arm64) is clean" lintian_clean "$arm"
  check "control: $package is amd64 in one, arm64 in the other, of the same version" bash -c \
    '[ "$(dpkg-deb -f "$1" Architecture Version)" = "Architecture: amd64
Version: $3" ] && [ "$(dpkg-deb -f "$2" Architecture Version)" = "Architecture: arm64
Version: $3" ]' _ "$amd" "$arm" "$version"
done
check "the arm64 packages hold the same files as the amd64 ones" bash -c \
  '[ "$(cd "$1" && find . -type f | sort)" = "$(cd "$2" && find . -type f | sort)" ] &&
   [ "$(cd "$3" && find . -type f | sort)" = "$(cd "$4" && find . -type f | sort)" ]' _ \
  "$tree" "$arm_tree" "$cli_tree" "$arm_cli_tree"
check "control: the arm64 scaleboot-cli needs the C library, libmount and libsystemd0, and no Qt" \
  bash -c '[[ "$1" == *libc6* && "$1" == *libmount1* && "$1" == *libsystemd0* && "$1" != *qt* ]]' _ \
  "$(dpkg-deb -f "$arm_cli_deb" Depends)"
check "control: the arm64 scaleboot needs the Qt libraries and the platform plugins" \
  bash -c '[[ "$1" == *libqt6widgets6* && "$1" == *qt6-qpa-plugins* ]]' _ "$(dpkg-deb -f "$arm_deb" Depends)"
for program in scaleboot scaleboot-cli; do
  root=$arm_tree
  [ "$program" = scaleboot-cli ] && root=$arm_cli_tree
  check "/usr/bin/$program (arm64) is a stripped ARM aarch64 program" \
    bash -c 'file -b "$1" | grep -q "ELF 64-bit.*ARM aarch64.*stripped" && ! file -b "$1" | grep -q "not stripped"' \
    _ "$root/usr/bin/$program"
  if command -v hardening-check >/dev/null 2>&1; then
    check "hardening-check: $program (arm64) is hardened" hardened "$root/usr/bin/$program"
  fi
done
arm_cache="${SCALEBOOT_PACKAGE_BUILD_DIR:-$source_dir/build/package}/linux-arm64/CMakeCache.txt"
[[ $arm_cache == /* ]] || arm_cache=$source_dir/$arm_cache
if [ -f "$arm_cache" ]; then
  check "the arm64 package build's flags: fortified, stack and stack-clash protection, no x86-only flag" \
    bash -c 'cache=$1; built_with() { local v f; for v in CMAKE_C_FLAGS CMAKE_CXX_FLAGS; do
      value=" $(sed -n "s/^$v:[A-Z]*=//p" "$cache") "
      for f in -D_FORTIFY_SOURCE=2 -fstack-protector-strong -fstack-clash-protection; do
        [[ $value == *" $f "* ]] || { echo "    $v lacks $f"; return 1; }; done
      [[ $value != *-fcf-protection* ]] || { echo "    $v has -fcf-protection"; return 1; }; done; }; built_with' \
    _ "$arm_cache"
  check "the arm64 package build's linker flags: read-only relocations, bound at start" \
    grep -qx 'CMAKE_EXE_LINKER_FLAGS:[A-Z]*=-Wl,-z,relro,-z,now' "$arm_cache"
else
  skip "the arm64 package build's flags ($arm_cache: no package build here)"
fi
# Under the emulator, with the :arm64 libraries this machine builds with.
if [ -x /usr/bin/qemu-aarch64 ] && [ -e /lib/ld-linux-aarch64.so.1 ]; then
  check "the arm64 scaleboot-cli runs under qemu-aarch64 and shows its version" bash -c \
    '[ "$(/usr/bin/qemu-aarch64 "$1" --version | head -n1)" = "scaleboot-cli $2" ]' _ \
    "$arm_cli_tree/usr/bin/scaleboot-cli" "$version"
  arm_window_starts() {
    local out status
    install -d -m 0700 "$work/arm-runtime"
    out=$(XDG_RUNTIME_DIR=$work/arm-runtime QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/qemu-aarch64 \
      "$arm_tree/usr/bin/scaleboot" 2>&1)
    status=$?
    [ -n "$out" ] && echo "    $out"
    [ "$status" -eq 124 ] && [ -z "$out" ]
  }
  check "the arm64 scaleboot starts under qemu-aarch64 (Qt offscreen)" arm_window_starts
else
  skip "running the arm64 programs: no qemu-aarch64 or no arm64 C library here"
fi

# ---- The station's service ----
echo "--- scaleboot-station"
station_tree="$work/station-tree"
rm -rf "$station_tree"
dpkg-deb -x "$station_deb" "$station_tree"
station_control=$(dpkg-deb -f "$station_deb")
unit=$station_tree/lib/systemd/system/scaleboot-station.service
check "lintian: scaleboot-station is clean" lintian_clean "$station_deb"
check "control: scaleboot-station, for every architecture, needs scaleboot-cli of its version" bash -c \
  'grep -qx "Architecture: all" <<<"$1" && grep -q "^Depends: .*scaleboot-cli (>= $2)" <<<"$1"' _ \
  "$station_control" "$version"
check "the window's package never pulls the station in" \
  bash -c '! grep -E "^(Depends|Pre-Depends|Recommends)" <<<"$1" | grep -q scaleboot-station' _ "$control"
check "scaleboot-station holds its unit, journal catalog, settings file, copyright, changelog and troubleshooting only" \
  test "$(files_of "$station_tree" | tr '\n' ' ')" = \
  "./etc/default/scaleboot-station ./lib/systemd/system/scaleboot-station.service ./usr/lib/systemd/catalog/scaleboot-station.catalog ./usr/share/doc/scaleboot-station/changelog.gz ./usr/share/doc/scaleboot-station/copyright ./usr/share/doc/scaleboot-station/troubleshooting.md.gz "
check "its settings file is kept on upgrades (a configuration file)" \
  bash -c '[ "$(dpkg-deb -I "$1" conffiles)" = /etc/default/scaleboot-station ]' _ "$station_deb"
check "its maintainer scripts enable, start and stop the unit through deb-systemd-helper and deb-systemd-invoke" \
  bash -c 'd=$(mktemp -d) && dpkg-deb -e "$1" "$d" && grep -q "deb-systemd-helper enable" "$d/postinst" &&
    grep -q "deb-systemd-invoke stop" "$d/prerm" && grep -q "deb-systemd-helper purge" "$d/postrm"; s=$?; rm -rf "$d"; exit $s' \
  _ "$station_deb"
# The catalog: journalctl indexes it, and it describes, in English and in Russian, every MESSAGE_ID the station
# sends (the program's own list).
catalog_complete() {
  local ids id listed
  ids=$(grep -oE '"[0-9a-f]{32}"' "$source_dir/main/cli/StationJournal.h" | tr -d '"')
  [ "$(wc -w <<<"$ids")" -ge 5 ] || { echo "    the program's MESSAGE_IDs not found"; return 1; }
  journalctl --root="$station_tree" --update-catalog || return 1
  listed=$(journalctl --root="$station_tree" --list-catalog) || return 1
  rm -rf "$station_tree/var"
  for id in $ids; do
    grep -q "^$id ScaleBoot: " <<<"$listed" || { echo "    $id not in the index"; return 1; }
    grep -qx -- "-- $id ru" "$station_tree/usr/lib/systemd/catalog/scaleboot-station.catalog" ||
      { echo "    $id has no Russian entry"; return 1; }
  done
  [ "$(grep -c '^-- ' "$station_tree/usr/lib/systemd/catalog/scaleboot-station.catalog")" -eq $((2 * $(wc -w <<<"$ids"))) ] ||
    { echo "    the catalog describes entries the program never sends"; return 1; }
}
check "its journal catalog indexes, and describes every kind of entry the station sends in both languages" \
  catalog_complete
# The exposure systemd-analyze gives (0 to 10, lower is better; 1.6 today): a unit that lost its read-only
# system, its system-call filter, its capability bound or its no-new-privileges goes past 1.7 (the lines below
# check the rest by name).
exposure() {
  local report
  report=$(systemd-analyze security --offline=true --threshold=17 "$unit" 2>&1)
  local status=$?
  grep -F 'Overall exposure' <<<"$report" | sed 's/^/    /'
  [ $status -eq 0 ] || grep -F '✗' <<<"$report" | sed 's/^/    /' | head -n 20
  return $status
}
check "systemd-analyze security: the unit's exposure stays within 1.7" exposure
check "the unit: read-only system but its record and mount folders, no network, card readers' devices only" \
  bash -c 'for line in ProtectSystem=strict StateDirectory=scaleboot RuntimeDirectory=scaleboot PrivateTmp=yes \
    PrivateNetwork=yes RestrictAddressFamilies=AF_UNIX DevicePolicy=closed "DeviceAllow=block-sd rw" Type=notify; do
    grep -qx "$line" "$1" || { echo "    missing $line"; exit 1; }; done' _ "$unit"

# ---- Installed with apt ----
if [ "$(id -u)" -ne 0 ]; then
  skip "installing the packages with apt needs root (CI runs this as root)"
  finish
fi
. "$source_dir/scripts/packages.sh"

echo "--- apt install $deb $cli_deb"
wait_for_apt_lock
apt_quiet() {  # apt_quiet ARGS...: apt-get, its output shown only when it fails
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=120 -y -q "$@" >"$work/apt.log" 2>&1 ||
    { sed 's/^/    /' "$work/apt.log"; return 1; }
}
check "apt installs both packages" apt_quiet install "$deb" "$cli_deb"
check "apt installs the station's package beside them" apt_quiet install "$station_deb"
check "its unit passes systemd-analyze verify" systemd-analyze verify /lib/systemd/system/scaleboot-station.service
check "it is enabled for boot" test -L /etc/systemd/system/multi-user.target.wants/scaleboot-station.service
for package in scaleboot scaleboot-cli; do
  check "dpkg lists $package as installed, version $version" \
    bash -c '[ "$(dpkg-query -W -f="\${Status} \${Version}" "$1")" = "install ok installed $2" ]' _ "$package" "$version"
  check "/usr/bin/$package is on the PATH" test "$(command -v "$package")" = "/usr/bin/$package"
  check "man finds $package(1)" bash -c 'man -w "$1" | grep -q "/$1.1"' _ "$package"
done
check "the menu entry is installed" test -f "/usr/share/applications/$appid.desktop"

# An ordinary user.
id -u "$user" >/dev/null 2>&1 || useradd -m -s /bin/bash "$user"
home=$(getent passwd "$user" | cut -d: -f6)
runtime="$work/runtime"
rm -rf "$runtime"
install -d -m 0700 -o "$user" "$runtime"
chmod o+x "$work"
as_user() {
  runuser -u "$user" -- env -i HOME="$home" USER="$user" LANG=C.UTF-8 PATH="$PATH" XDG_RUNTIME_DIR="$runtime" "$@"
}
# Root, with a home of its own for the check.
root_home="$work/root-home"
rm -rf "$root_home"
install -d -m 0700 "$root_home" "$root_home/runtime"
as_root() {
  env -i HOME="$root_home" USER=root LANG=C.UTF-8 PATH="$PATH" XDG_RUNTIME_DIR="$root_home/runtime" "$@"
}

cli_runs() {  # without a display: the version, and the firmware versions in Russian
  local out
  out=$(as_user scaleboot-cli --version 2>&1) && [ "${out%%$'\n'*}" = "scaleboot-cli $version" ] &&
    out=$(as_user scaleboot-cli contents --lang ru 2>&1) && [[ "$out" == "Версии прошивок:"* ]] ||
    { echo "    $out"; return 1; }
}
check "as $user, the installed scaleboot-cli runs without a display" cli_runs

started_offscreen() {  # still running after 3 s, nothing said on the way
  local out status
  out=$(as_user QT_QPA_PLATFORM=offscreen timeout 3 scaleboot 2>&1)
  status=$?
  [ -n "$out" ] && echo "    $out"
  [ "$status" -eq 124 ] && [ -z "$out" ]
}
check "as $user, the installed scaleboot starts (Qt offscreen)" started_offscreen

# The manual button on a real (virtual) display. A stand-in xdg-open records what the program hands to the
# desktop.
opener="$work/opener"
rm -rf "$opener"
mkdir -p "$opener"
cat >"$opener/xdg-open" <<'OPEN'
#!/bin/sh
echo "$1" >>"$(dirname "$0")/opened.log"
OPEN
chmod 0755 "$opener/xdg-open"
chown -R "$user" "$opener"

# manual_click WHO OWNER HOME RUN: starts the installed window through RUN (as_user or as_root), clicks its
# manual button and checks that the manual is saved into HOME's cache folder, belongs to OWNER and is handed to
# the desktop, and that nothing is saved in /usr/bin.
manual_click() {
  local who=$1 owner=$2 cache="$3/.cache/scaleboot" run=$4 program window= shown geometry
  local title="Загрузочный модуль ЮКС (версия $(echo "$version" | cut -d. -f1,2))"
  # A test build (placeholder images) says so after its title, as its --version says so on a second line.
  [ -z "$(as_user scaleboot-cli --version 2>/dev/null | sed -n 2p)" ] || title+=" [ТЕСТ]"
  rm -rf "$cache" "$opener/opened.log"
  "$run" DISPLAY="$DISPLAY" PATH="$opener:$PATH" QT_QPA_PLATFORM=xcb scaleboot >"$work/scaleboot-$who.log" 2>&1 &
  program=$!
  # Its top-level window, by its class; then its title as the window manager would show it.
  for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --class '^scaleboot$' 2>/dev/null | head -n1)
    [ -n "$window" ] && break
    sleep 0.1
  done
  shown=$([ -n "$window" ] && xdotool getwindowname "$window")
  echo "    window title: $shown"
  check "as $who, the window appears with the Russian title" test -n "$window" -a "$shown" = "$title"
  if [ -n "$window" ]; then
    geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: //p')
    check "its client area is 311 x 83 (got $geometry)" test "$geometry" = 311x83
    # SpeedButton2, the manual: 25 x 25 pixels at 232,52.
    xdotool mousemove --window "$window" 244 64 click 1
    for _ in $(seq 100); do
      [ -f "$opener/opened.log" ] && break
      sleep 0.1
    done
    check "as $who, the manual is saved into $cache/Instruction.pdf" \
      cmp -s "$cache/Instruction.pdf" "$source_dir/resources/documents/Instruction.pdf"
    check "the manual is handed to the desktop to open" \
      grep -qx "file://$cache/Instruction.pdf" "$opener/opened.log"
    check "it belongs to $owner" test "$(stat -c %U "$cache/Instruction.pdf" 2>/dev/null)" = "$owner"
    check "as $who, nothing is saved in /usr/bin" test ! -e /usr/bin/Instruction.pdf
  fi
  # The program first, then what started it (runuser does not pass its end on); gone before the next start.
  pkill -P "$program" 2>/dev/null
  kill "$program" 2>/dev/null
  wait "$program" 2>/dev/null
  for _ in $(seq 50); do
    xdotool search --onlyvisible --class '^scaleboot$' >/dev/null 2>&1 || break
    sleep 0.1
  done
}

# A copy left by an earlier version of the program would hide what this one does.
rm -f /usr/bin/Instruction.pdf
# The display takes the other user's connections (-ac: no access control), as a desktop session's would.
if start_xvfb -ac; then
  manual_click "$user" "$user" "$home" as_user
  # root may write into /usr/bin: the installed program must still keep out of it.
  manual_click root root "$root_home" as_root
  stop_xvfb
else
  fail "no X display could be started"
fi
rm -f /usr/bin/Instruction.pdf

echo "--- apt remove scaleboot scaleboot-cli"
wait_for_apt_lock
check "apt removes the three packages" apt_quiet purge scaleboot-station scaleboot scaleboot-cli
check "the station is no longer enabled" test ! -e /etc/systemd/system/multi-user.target.wants/scaleboot-station.service
check "/usr/bin/scaleboot and /usr/bin/scaleboot-cli are gone" test ! -e /usr/bin/scaleboot -a ! -e /usr/bin/scaleboot-cli
finish
