#!/usr/bin/env bash
# Checks the Debian package in dist/: lintian finds no errors, the desktop entry and the AppStream metainfo
# validate, the icons are the program's own icon; then, as root (CI runs on a throwaway machine), installs it
# with apt, checks what it installed, starts the installed program as an ordinary user (offscreen, then on a
# virtual display where its manual button is clicked: the manual must land in that user's cache folder and be
# handed to the desktop), and removes it again.
#   check-deb.sh SOURCE_DIR DIST_DIR WORK_DIR
set -u
export LC_ALL=C.UTF-8
source_dir=$(cd "$1" && pwd)
dist=$2
work=$(mkdir -p "$3" && cd "$3" && pwd)
. "$source_dir/tests/lib.sh"
version=$(project_version "$source_dir")
deb=$(cd "$dist" && pwd)/scaleboot_${version}_amd64.deb
appid=org.scaleboot.ScaleBoot
user=scaleboot-check
cli_expected=0
[ -d "$source_dir/main/cli" ] && cli_expected=1

[ -f "$deb" ] || { fail "$deb exists"; finish; }

# ---- The package's contents ----
echo "--- lintian"
lintian_log="$work/lintian.log"
lintian --display-level '>=info' "$deb" >"$lintian_log" 2>&1
grep -v 'running with root privileges' "$lintian_log" | sed 's/^/    /'
check "lintian reports no errors" bash -c "! grep -q '^E: ' '$lintian_log'"

tree="$work/tree"
rm -rf "$tree"
dpkg-deb -x "$deb" "$tree"
control=$(dpkg-deb -f "$deb")
check "control: version $version from CMakeLists.txt" grep -qx "Version: $version" <<<"$control"
depends=$(sed -n 's/^Depends: //p' <<<"$control")
echo "    Depends: $depends"
check "control: the Qt libraries and the platform plugins among the dependencies" \
  bash -c '[[ "$1" == *libqt6widgets6* && "$1" == *libqt6gui6* && "$1" == *libc6* && "$1" == *qt6-qpa-plugins* ]]' \
  _ "$depends"

desktop="$tree/usr/share/applications/$appid.desktop"
check "desktop entry passes desktop-file-validate" desktop-file-validate "$desktop"
check "desktop entry: Russian and English names and comments, Utility, the program and its icon" bash -c '
  for key in "Name=" "Name\[ru\]=" "Comment=" "Comment\[ru\]=" "Categories=Utility;" "Exec=scaleboot$" \
    "Icon=scaleboot$"; do grep -q "^$key" "$1" || { echo "    missing $key"; exit 1; }; done' _ "$desktop"
metainfo="$tree/usr/share/metainfo/$appid.metainfo.xml"
check "metainfo passes appstreamcli validate" appstreamcli validate --no-net "$metainfo"
check "metainfo: names, summaries and descriptions in both languages, release $version" bash -c '
  for pattern in "<name>" "<name xml:lang=\"ru\">" "<summary>" "<summary xml:lang=\"ru\">" "<p>" \
    "<p xml:lang=\"ru\">" "<release version=\"$2\""; do
    grep -qF "$pattern" "$1" || { echo "    missing $pattern"; exit 1; }; done' _ "$metainfo" "$version"

icons_ok() {  # each hicolor PNG is the program's icon drawn at its size; the 48 px one is the window's icon
  local size png
  for size in 16 22 24 32 48 64 128 256; do
    png="$tree/usr/share/icons/hicolor/${size}x${size}/apps/scaleboot.png"
    [ "$(file -b "$png" | cut -d, -f2)" = " $size x $size" ] || { echo "    $png: $(file -b "$png")"; return 1; }
  done
  cmp -s "$tree/usr/share/icons/hicolor/48x48/apps/scaleboot.png" "$source_dir/resources/icon/scaleboot.png"
}
check "hicolor icons 16 to 256 px from the program's own icon" icons_ok

programs=(scaleboot)
[ "$cli_expected" = 1 ] && programs+=(scaleboot-cli)
for program in "${programs[@]}"; do
  check "/usr/bin/$program is a stripped x86-64 program" \
    bash -c 'file -b "$1" | grep -q "ELF 64-bit.*x86-64.*stripped" && ! file -b "$1" | grep -q "not stripped"' \
    _ "$tree/usr/bin/$program"
  check "manual page of $program formats without warnings" bash -c \
    'out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null); [ -z "$out" ] || { echo "$out"; exit 1; }' \
    _ "$tree/usr/share/man/man1/$program.1.gz"
done
check "copyright file and changelog" test -s "$tree/usr/share/doc/scaleboot/copyright" -a \
  -s "$tree/usr/share/doc/scaleboot/changelog.gz"

# ---- Installed with apt ----
if [ "$(id -u)" -ne 0 ]; then
  echo "skip - installing the package with apt needs root (CI runs this as root)"
  finish
fi
. "$source_dir/scripts/packages.sh"

echo "--- apt install $deb"
wait_for_apt_lock
apt_quiet() {  # apt_quiet ARGS...: apt-get, its output shown only when it fails
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=120 -y -q "$@" >"$work/apt.log" 2>&1 ||
    { sed 's/^/    /' "$work/apt.log"; return 1; }
}
check "apt installs the package" apt_quiet install "$deb"
check "dpkg lists it as installed, version $version" \
  bash -c '[ "$(dpkg-query -W -f="\${Status} \${Version}" scaleboot)" = "install ok installed $1" ]' _ "$version"
check "/usr/bin/scaleboot is on the PATH" test "$(command -v scaleboot)" = /usr/bin/scaleboot
check "man finds scaleboot(1)" bash -c 'man -w scaleboot | grep -q scaleboot.1'
check "the menu entry is installed" test -f "/usr/share/applications/$appid.desktop"

# An ordinary user.
id -u "$user" >/dev/null 2>&1 || useradd -m -s /bin/bash "$user"
home=$(getent passwd "$user" | cut -d: -f6)
cache="$home/.cache/scaleboot"
runtime="$work/runtime"
rm -rf "$runtime"
install -d -m 0700 -o "$user" "$runtime"
chmod o+x "$work"
as_user() {
  runuser -u "$user" -- env -i HOME="$home" USER="$user" LANG=C.UTF-8 PATH="$PATH" XDG_RUNTIME_DIR="$runtime" "$@"
}

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
rm -rf "$cache"

# The display takes the other user's connections (-ac: no access control), as a desktop session's would.
if start_xvfb -ac; then
  as_user DISPLAY="$DISPLAY" PATH="$opener:$PATH" QT_QPA_PLATFORM=xcb scaleboot >"$work/scaleboot.log" 2>&1 &
  program=$!
  title="Загрузочный модуль ЮКС (версия $(echo "$version" | cut -d. -f1,2))"
  # Its top-level window, by its class; then its title as the window manager would show it.
  window=
  for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --class '^scaleboot$' 2>/dev/null | head -n1)
    [ -n "$window" ] && break
    sleep 0.1
  done
  shown=$([ -n "$window" ] && xdotool getwindowname "$window")
  echo "    window title: $shown"
  check "the window appears with the Russian title" test -n "$window" -a "$shown" = "$title"
  if [ -n "$window" ]; then
    geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: //p')
    check "its client area is 311 x 83 (got $geometry)" test "$geometry" = 311x83
    # SpeedButton2, the manual: 25 x 25 pixels at 232,52.
    xdotool mousemove --window "$window" 244 64 click 1
    for _ in $(seq 100); do
      [ -f "$opener/opened.log" ] && break
      sleep 0.1
    done
    check "the manual is saved into $cache/Instruction.pdf" \
      cmp -s "$cache/Instruction.pdf" "$source_dir/resources/documents/Instruction.pdf"
    check "the manual is handed to the desktop to open" \
      grep -qx "file://$cache/Instruction.pdf" "$opener/opened.log"
    check "it belongs to $user" test "$(stat -c %U "$cache/Instruction.pdf" 2>/dev/null)" = "$user"
    check "nothing is saved in /usr/bin" test ! -e /usr/bin/Instruction.pdf
  fi
  kill "$program" 2>/dev/null
  pkill -P "$program" 2>/dev/null
  wait "$program" 2>/dev/null
  stop_xvfb
else
  fail "no X display could be started"
fi

echo "--- apt remove scaleboot"
wait_for_apt_lock
check "apt removes the package" apt_quiet purge scaleboot
check "/usr/bin/scaleboot is gone" test ! -e /usr/bin/scaleboot
finish
