#!/usr/bin/env bash
# Builds the release packages into dist/ (installing what it needs when missing):
#   ScaleBoot-VERSION-windows-x64.zip, ScaleBoot-VERSION-windows-x86.zip  ScaleBoot.exe (and scaleboot-cli.exe
#                                                                        when built) with README.txt
#   scaleboot_VERSION_amd64.deb                                          the Linux program for Debian 12
#   SHA256SUMS                                                           checksums of the three
# VERSION is the project version in CMakeLists.txt. The files depend only on the sources: the release builds go
# to build/package/ (or $SCALEBOOT_PACKAGE_BUILD_DIR), and every time stamp is SOURCE_DATE_EPOCH, by default
# the time of the last commit.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
ensure_packages "${LINUX_BUILD_PACKAGES[@]}" g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix \
  "${PACKAGE_PACKAGES[@]}"

version=$(sed -n 's/^project(scaleboot VERSION \([0-9][0-9.]*\)[ )].*/\1/p' CMakeLists.txt)
if [ -z "$version" ]; then
  echo "error: no project version found in CMakeLists.txt" >&2
  exit 1
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)
fi
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C.UTF-8
umask 022

source_dir=$PWD
builds=${SCALEBOOT_PACKAGE_BUILD_DIR:-build/package}
mkdir -p "$builds"
builds=$(cd "$builds" && pwd)
dist=$source_dir/dist
# The AppStream component id; the desktop entry and the metainfo file are named after it.
appid=org.scaleboot.ScaleBoot
jobs=$(nproc 2>/dev/null || echo 2)
day=$(date -u -d "@$SOURCE_DATE_EPOCH" +%F)

# build PRESET FOLDER [COMPILER_FLAGS [LINKER_FLAGS]]: a release build of the programs alone, with no build
# paths in the binaries.
build() {
  echo "=== package: $1 release build in $2"
  local flags="-ffile-prefix-map=$source_dir/= ${3:-}" options=()
  # Linker flags only when given: they replace the toolchain's own (the Windows builds' static runtimes).
  [ -n "${4:-}" ] && options+=("-DCMAKE_EXE_LINKER_FLAGS=$4")
  cmake --preset "$1" -B "$2" -DSCALEBOOT_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
    "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" "${options[@]}" \
    >"$2.configure.log" || { cat "$2.configure.log" >&2; return 1; }
  # Qt's resource compiler stamps each resource with SOURCE_DATE_EPOCH, or else with its override; a build
  # that is not redone when the commit changes must not depend on the commit's time, so it gets a constant.
  env -u SOURCE_DATE_EPOCH QT_RCC_SOURCE_DATE_OVERRIDE=1 cmake --build "$2" -j "$jobs"
}

# find_program FOLDER NAME: the built file NAME below FOLDER, or nothing.
find_program() {
  find "$1" -path '*/CMakeFiles' -prune -o -type f -name "$2" -print | sort | head -n1
}

# fill_in FILE: the template with the version and dates filled in.
fill_in() {
  sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$day/g" -e "s/@APPID@/$appid/g" \
    -e "s/@DATE_RFC2822@/$(date -u -R -d "@$SOURCE_DATE_EPOCH")/g" "$1"
}

mkdir -p "$dist"
rm -f "$dist"/ScaleBoot-*-windows-*.zip "$dist"/scaleboot_*_amd64.deb "$dist/SHA256SUMS"

# ---- Windows: one zip per architecture ----
package_windows() {  # package_windows ARCH PRESET TOOL_PREFIX BITS
  local arch=$1 preset=$2 tools=$3 bits=$4
  local dir=$builds/windows-$arch stage=$builds/stage/windows-$arch
  build "$preset" "$dir"
  rm -rf "$stage"
  mkdir -p "$stage"
  cp "$dir/main/win32/ScaleBoot.exe" "$stage/ScaleBoot.exe"
  local cli entries=("ScaleBoot.exe=$stage/ScaleBoot.exe" "README.txt=$stage/README.txt")
  cli=$(find_program "$dir" scaleboot-cli.exe)
  if [ -n "$cli" ]; then
    # Linked stripped already; strip would stamp the PE header with the time of the run.
    cp "$cli" "$stage/scaleboot-cli.exe"
    entries+=("scaleboot-cli.exe=$stage/scaleboot-cli.exe")
  fi
  # Russian and English; the command-line part only when that program is there. UTF-8 with a byte-order mark
  # and CR LF line ends, so that Notepad shows it right.
  {
    printf '\xef\xbb\xbf'
    fill_in packaging/windows/README.txt | sed -e "s/@BITS@/$bits/g" |
      if [ -n "$cli" ]; then sed -e '/^\[\/\?cli\]$/d'; else sed -e '/^\[cli\]$/,/^\[\/cli\]$/d'; fi |
      sed -e 's/$/\r/'
  } >"$stage/README.txt"
  python3 tools/make_zip.py "$dist/ScaleBoot-$version-windows-$arch.zip" "${entries[@]}"
}
package_windows x64 windows x86_64-w64-mingw32 64
package_windows x86 windows-x86 i686-w64-mingw32 32

# ---- Linux: the Debian package ----
linux=$builds/linux
# With Debian's hardening: fortified libc calls, a read-only relocation table.
build linux "$linux" "-D_FORTIFY_SOURCE=2 -fstack-protector-strong" "-Wl,-z,relro,-z,now"
root=$builds/deb/root
rm -rf "$builds/deb"
mkdir -p "$root/DEBIAN" "$root/usr/bin" "$root/usr/share/applications" "$root/usr/share/metainfo" \
  "$root/usr/share/man/man1" "$root/usr/share/doc/scaleboot"

programs=(scaleboot)
[ -n "$(find_program "$linux" scaleboot-cli)" ] && programs+=(scaleboot-cli)
for program in "${programs[@]}"; do
  install -m 0755 "$(find_program "$linux" "$program")" "$root/usr/bin/$program"
  strip --strip-unneeded --remove-section=.comment --remove-section=.note "$root/usr/bin/$program"
  fill_in "packaging/linux/$program.1.in" | gzip -9n >"$root/usr/share/man/man1/$program.1.gz"
done

install -m 0644 packaging/linux/scaleboot.desktop "$root/usr/share/applications/$appid.desktop"
fill_in packaging/linux/metainfo.xml.in >"$root/usr/share/metainfo/$appid.metainfo.xml"
# The program's own icon, drawn at each size by the tool that draws the window's icon.
python3 - "$root/usr/share/icons/hicolor" <<'EOF'
import pathlib, sys
sys.path.insert(0, "tools")
from make_bitmaps import icon_image, png_bytes
for size in (16, 22, 24, 32, 48, 64, 128, 256):
    folder = pathlib.Path(sys.argv[1]) / f"{size}x{size}" / "apps"
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "scaleboot.png").write_bytes(png_bytes(icon_image(size)))
EOF
install -m 0644 packaging/linux/copyright "$root/usr/share/doc/scaleboot/copyright"
fill_in packaging/linux/changelog.in | gzip -9n >"$root/usr/share/doc/scaleboot/changelog.gz"

# Dependencies from the libraries the binaries link, plus Qt's platform plugins, which the window loads at
# run time and no linker records.
shlibs=$builds/deb/shlibs
mkdir -p "$shlibs/debian"
printf 'Source: scaleboot\n\nPackage: scaleboot\nArchitecture: amd64\n' >"$shlibs/debian/control"
binaries=()
for program in "${programs[@]}"; do binaries+=("-e$root/usr/bin/$program"); done
depends=$(cd "$shlibs" && dpkg-shlibdeps -O "${binaries[@]}" 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')
if [ -z "$depends" ]; then
  echo "error: dpkg-shlibdeps found no dependencies" >&2
  exit 1
fi
depends="$depends, qt6-qpa-plugins"

find "$root" -type d -exec chmod 0755 {} +
installed_size=$(du -sk --apparent-size --exclude=DEBIAN "$root" | cut -f1)
fill_in packaging/linux/control.in | sed -e "s/@INSTALLED_SIZE@/$installed_size/" -e "s/@DEPENDS@/$depends/" \
  >"$root/DEBIAN/control"
(cd "$root" && find usr -type f | sort | xargs md5sum) >"$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
dpkg-deb --root-owner-group -Zxz --build "$root" "$dist/scaleboot_${version}_amd64.deb" >/dev/null

# ---- Checksums ----
(cd "$dist" && sha256sum "ScaleBoot-$version-windows-x64.zip" "ScaleBoot-$version-windows-x86.zip" \
  "scaleboot_${version}_amd64.deb" >SHA256SUMS)
echo "=== package: dist/"
(cd "$dist" && ls -l "ScaleBoot-$version-windows-x64.zip" "ScaleBoot-$version-windows-x86.zip" \
  "scaleboot_${version}_amd64.deb" SHA256SUMS && cat SHA256SUMS)
