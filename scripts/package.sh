#!/usr/bin/env bash
# Builds the release packages into dist/ (installing what it needs when missing):
#   ScaleBoot-VERSION-windows-x64.zip, ScaleBoot-VERSION-windows-x86.zip  ScaleBoot.exe and scaleboot-cli.exe
#                                                                        with README.txt, LICENSE.txt and
#                                                                        TROUBLESHOOTING.txt
#   scaleboot_VERSION_amd64.deb      the window for Debian 12
#   scaleboot-cli_VERSION_amd64.deb  the command-line program for Debian 12, without Qt
#   scaleboot_VERSION_arm64.deb, scaleboot-cli_VERSION_arm64.deb     the same for 64-bit ARM (Debian 12 and
#                                    Raspberry Pi OS on a Raspberry Pi 4 or 5), cross-built
#   scaleboot-station_VERSION_all.deb  the station as a system service from boot (a board with no screen), over
#                                    scaleboot-cli of either architecture
#   FIRMWARE.txt                     the firmware images every program carries: name, length, label, SHA-256
#   SHA256SUMS                       checksums of the other files
#   SHA256SUMS.asc, scaleboot-release-key.gpg  with --sign-sums: the checksums' OpenPGP signature, and the key
#                                    that checks it (gpgv --keyring ./scaleboot-release-key.gpg SHA256SUMS.asc)
#
#   scripts/package.sh [--firmware DIR] [--screenshots-url URL] [SIGNING]
#                      [--sign-sums KEY [--sign-sums-passphrase-file FILE]]
#
# --firmware DIR (or SCALEBOOT_FIRMWARE_DIR=DIR): every program is built from the four firmware images in DIR.
#   Without it they carry the repository's placeholder images, which are not for scales, and the zips'
#   README.txt, FIRMWARE.txt and the last lines of this script say so. DIR describes its images in images.txt
#   (each image's file name, length and version label, one line each; docs/releasing.md); the programs carry
#   those labels. Before anything is built the folder is checked: the description present and its labels of
#   the right form, all four images present, of the lengths it gives, each checksum trailer holding the sum of
#   its payload bytes (the program's own start-up test). Any problem stops the script with a message naming the
#   file, and nothing is built.
# --screenshots-url URL (or SCALEBOOT_SCREENSHOTS_URL=URL): the web folder where docs/screenshot-linux.png and
#   docs/screenshot-windows.png are published; the AppStream metadata then lists them (AppStream takes only
#   web addresses for screenshots, and the project has none of its own, so by default it lists none).
#
# SIGNING: ScaleBoot.exe and scaleboot-cli.exe in both zips are signed with the maintainer's code-signing
# certificate (osslsigncode, SHA-256, installed when missing), the key either in a file or on a token:
#   --sign-pkcs12 FILE --sign-password-file FILE
#   --sign-pkcs11-module LIBRARY --sign-key PKCS11-URI --sign-cert FILE --sign-password-file FILE (the PIN)
#   --sign-ca FILE    the CA certificates the signatures are verified against (the signer's root); the system's CA
#                     bundle without it
#   --timestamp URL   an RFC 3161 time stamp from that server; without it a signature stops verifying when the
#                     certificate expires
#   --timestamp-ca FILE  the CA certificates the time stamps are verified against (the time-stamp authority's
#                     root); the system's CA bundle without it
#   --sign-url URL    the web address the signature names (the project has none of its own, so by default none)
# The password or PIN is read from its file by openssl and osslsigncode alone. Before anything is built, a small
# Windows program is signed and verified with the same options: a wrong password, a certificate not for code
# signing or a missing module stops the script in seconds. Each signed program is verified before the zips are
# made, by osslsigncode's own report: its signature, and its time stamp when one was asked for, must each say
# "ok"; any failure stops the script with the reason and dist/ untouched.
#
# --sign-sums KEY: SHA256SUMS is signed (SHA256SUMS.asc, an OpenPGP detached signature, gpg installed when
# missing) by KEY, an exported secret key in a file, or else a key of the user's keyring (GNUPGHOME) named as gpg
# names keys (best by its fingerprint); --sign-sums-passphrase-file FILE holds its passphrase, read by gpg alone.
# The key is tried on a small file before anything is built; the signature is checked with gpgv against the
# exported public key alone before anything reaches dist/, and that key is published beside it.
# Without these options the release is unsigned and reproducible.
#
# VERSION is the project version in CMakeLists.txt. The files depend only on the sources and the images: the
# release builds go to build/package/ (or $SCALEBOOT_PACKAGE_BUILD_DIR), and every time stamp is
# SOURCE_DATE_EPOCH, by default the time of the last commit. The files are made there and moved into dist/ (or
# $SCALEBOOT_DIST_DIR) only once all of them are made: a run that fails leaves dist/ as it was.
set -euo pipefail
. "$(dirname "$0")/signing.sh"

usage() {
  sed -n '2,/^set -euo/{/^#/s/^# \{0,1\}//p}' "$0"
}
fail_usage() {
  echo "package.sh: $1 (see --help)" >&2
  exit 2
}

firmware=${SCALEBOOT_FIRMWARE_DIR:-}
screenshots_url=${SCALEBOOT_SCREENSHOTS_URL:-}
while [ $# -gt 0 ]; do
  case $1 in
    --firmware | --screenshots-url)
      [ $# -ge 2 ] && [ -n "$2" ] || fail_usage "$1 needs a value"
      if [ "$1" = --firmware ]; then firmware=$2; else screenshots_url=$2; fi
      shift 2
      ;;
    --sign-* | --timestamp | --timestamp-*)
      sign_option "$1" "" check
      [ $# -ge 2 ] && [ -n "$2" ] || fail_usage "$1 needs a value"
      sign_option "$1" "$2"
      shift 2
      ;;
    -h | --help)
      usage
      exit 0
      ;;
    *) fail_usage "unknown argument $1" ;;
  esac
done
# The folder as the caller named it, before the script moves to the repository.
[ -z "$firmware" ] || [[ $firmware == /* ]] || firmware=$PWD/$firmware
case $screenshots_url in
  *[[:space:]\"\<\>]*) fail_usage "--screenshots-url: a web address has no blanks, quotes or angle brackets" ;;
  "" | http://* | https://*) screenshots_url=${screenshots_url%/} ;;
  *) fail_usage "--screenshots-url takes a web address (http:// or https://)" ;;
esac
sign_validate

cd "$(dirname "$0")/.."
. scripts/packages.sh
ensure_packages "${LINUX_BUILD_PACKAGES[@]}" "${ARM64_BUILD_PACKAGES[@]}" g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix \
  "${PACKAGE_PACKAGES[@]}" $(sign_packages)

version=$(sed -n 's/^project(scaleboot VERSION \([0-9][0-9.]*\)[ )].*/\1/p' CMakeLists.txt)
if [ -z "$version" ]; then
  echo "error: no project version found in CMakeLists.txt" >&2
  exit 1
fi
source_dir=$PWD
firmware=${firmware:-$source_dir/resources/firmware}
dist=${SCALEBOOT_DIST_DIR:-dist}
[[ $dist == /* ]] || dist=$source_dir/$dist

# ---- The firmware images, checked before anything is built ----
report=$(mktemp)
trap 'rm -f "$report"; sign_cleanup' EXIT
if ! cmake -DFIRMWARE_DIR="$firmware" -DREPORT="$report" -P cmake/FirmwareCheck.cmake; then
  echo "error: the firmware images could not be checked" >&2
  exit 1
fi
if grep -q '^problem' "$report"; then
  sed -n 's/^problem\t/error: /p' "$report" >&2
  echo "package.sh: these firmware images cannot be released; nothing was built and $dist was not touched." >&2
  exit 1
fi
# The key, its password and its certificate, also before anything is built; so the checksums' key.
sign_check
sums_check

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || stat -c %Y CMakeLists.txt)
fi
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C.UTF-8
umask 022

builds=${SCALEBOOT_PACKAGE_BUILD_DIR:-build/package}
mkdir -p "$builds"
builds=$(cd "$builds" && pwd)
out=$builds/out
rm -rf "$out"
mkdir -p "$out"
# The AppStream component id; the desktop entry and the metainfo file are named after it.
appid=org.scaleboot.ScaleBoot
jobs=$(nproc 2>/dev/null || echo 2)
day=$(date -u -d "@$SOURCE_DATE_EPOCH" +%F)

# build PRESET FOLDER TARGET...: a release build of the programs alone from the checked images, with the
# preset's compiler and linker flags (no build paths in the binaries; the Linux preset's with Debian's hardening).
# The test command builds the same presets with the same flags, so a compiler cache serves both.
build() {
  echo "=== package: $1 release build in $2"
  local preset=$1 dir=$2 targets=() target
  shift 2
  for target in "$@"; do targets+=(--target "$target"); done
  cmake --preset "$preset" -B "$dir" -DSCALEBOOT_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
    "-DSCALEBOOT_FIRMWARE_DIR=$firmware" -DSCALEBOOT_FIRMWARE_STRICT=ON \
    >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log" >&2; return 1; }
  # Qt's resource compiler stamps each resource with SOURCE_DATE_EPOCH, or else with its override; a build
  # that is not redone when the commit changes must not depend on the commit's time, so it gets a constant.
  env -u SOURCE_DATE_EPOCH QT_RCC_SOURCE_DATE_OVERRIDE=1 cmake --build "$dir" -j "$jobs" "${targets[@]}"
}

# fill_in FILE: the template with the version and dates filled in.
fill_in() {
  sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$day/g" -e "s/@APPID@/$appid/g" \
    -e "s/@DATE_RFC2822@/$(date -u -R -d "@$SOURCE_DATE_EPOCH")/g" "$1"
}

# ---- Linux: the programs first, since the others' texts name the firmware versions they report ----
linux=$builds/linux
# With Debian's hardening (the linux preset's flags in CMakePresets.json): fortified libc calls, stack
# protection, stack-clash protection, control-flow protection (CET), read-only relocations bound at start.
# tests/packaging/check-deb.sh reads them back from the build's CMakeCache.txt.
build linux "$linux" scaleboot scaleboot-cli firmware_table
cli=$linux/main/cli/scaleboot-cli
if ! "$cli" verify "$firmware" --lang en --quiet >/dev/null; then
  echo "error: the built scaleboot-cli does not carry the images of $firmware" >&2
  exit 1
fi
table=$("$linux/firmware_table")
# The same programs for 64-bit ARM, from the cross build's preset (a compiler cache shared with the test
# command's build of it serves both); what differs by architecture, the images embedded in the program, is
# checked once under the emulator.
linux_arm64=$builds/linux-arm64
build linux-arm64 "$linux_arm64" scaleboot scaleboot-cli
if ! /usr/bin/qemu-aarch64 "$linux_arm64/main/cli/scaleboot-cli" verify "$firmware" --lang en --quiet >/dev/null; then
  echo "error: the arm64 scaleboot-cli, run under qemu-aarch64, does not carry the images of $firmware" >&2
  exit 1
fi
# A test build (placeholder images) says so on the second line of its version: the packages' descriptions too.
test_line=$("$cli" --version --lang en | sed -n 2p)

# ---- FIRMWARE.txt: each image's name, length and SHA-256 from the check, its label from the built table ----
placeholders=()
{
  echo "ScaleBoot $version: the firmware images inside its programs"
  echo "(ScaleBoot.exe and scaleboot-cli.exe in both zips, scaleboot and scaleboot-cli in the Debian packages)"
  echo
  printf '%-13s %-7s %-8s %-21s %s\n' File Length Label Placeholder SHA-256
  while IFS=$'\t' read -r _ name length hash kind described; do
    row=$(awk -F'\t' -v name="$name" '$1 == "image" && $2 == name' <<<"$table")
    IFS=$'\t' read -r _ _ built_length label state <<<"$row"
    if [ "$built_length" != "$length" ] || [ "$label" != "$described" ] || [ "$state" != sound ]; then
      echo "error: the built programs do not carry $name as checked: ${row:-not in the table}" >&2
      exit 1
    fi
    case $kind in
      repository) placeholder="yes, the repository's" ;;
      generated) placeholder="yes, generated" ;;
      *) placeholder=no ;;
    esac
    [ "$kind" = no ] || placeholders+=("$name")
    printf '%-13s %-7s %-8s %-21s %s\n' "$name" "$length" "$label" "$placeholder" "$hash"
  done < <(grep '^image' "$report")
  echo
  echo "Firmware versions, as the programs show them: $(awk -F'\t' '$1 == "version" { print $3 }' <<<"$table" |
    paste -sd, | sed 's/,/, /g')"
  echo "A placeholder is the repository's own stand-in (resources/firmware/) or an image made by its generator"
  echo "(tools/make_placeholder_firmware.cpp): it is not firmware of the scales."
} >"$out/FIRMWARE.txt"
placeholder=0
[ ${#placeholders[@]} -eq 0 ] || placeholder=1

# The firmware versions as the program's contents button shows them, one a line, indented.
versions() {
  "$cli" contents --lang "$1" | tail -n +2 | sed -e 's/^/   /'
}
versions_ru=$(versions ru)
versions_en=$(versions en)

# ---- The Debian packages: the window, and the command-line program without Qt, for each architecture ----
rm -rf "$builds/deb"
declare -A built_in=([amd64]=$linux [arm64]=$linux_arm64)
declare -A strip_tool=([amd64]=strip [arm64]=aarch64-linux-gnu-strip)
# install_program ARCH PACKAGE PROGRAM BUILT: the stripped program and its manual page into the package's tree.
install_program() {
  local root=$builds/deb/$1/$2
  install -d "$root/usr/bin" "$root/usr/share/man/man1"
  install -m 0755 "$4" "$root/usr/bin/$3"
  "${strip_tool[$1]}" --strip-unneeded --remove-section=.comment --remove-section=.note "$root/usr/bin/$3"
  fill_in "packaging/linux/$3.1.in" | gzip -9n >"$root/usr/share/man/man1/$3.1.gz"
}
# window_files ROOT: what the window's package holds besides the program: its menu entry, metainfo and icons.
window_files() {
  local root=$1
  install -d "$root/usr/share/applications" "$root/usr/share/metainfo"
  install -m 0644 packaging/linux/scaleboot.desktop "$root/usr/share/applications/$appid.desktop"
  if [ -n "$screenshots_url" ]; then
    # In XML an ampersand is written &amp;; in sed's replacement, & and the delimiter are escaped.
    url=${screenshots_url//&/\\&amp;}
    fill_in packaging/linux/metainfo.xml.in | sed -e "s|@SCREENSHOTS_URL@|${url//|/\\|}|g"
  else
    fill_in packaging/linux/metainfo.xml.in | sed -e '/^  <screenshots>$/,/^  <\/screenshots>$/d'
  fi >"$root/usr/share/metainfo/$appid.metainfo.xml"
  # The program's own icon, drawn at each size by the tool that draws the window's icon.
  python3 - "$root/usr/share/icons/hicolor" <<'ICONS'
import pathlib, sys
sys.path.insert(0, "tools")
from make_bitmaps import icon_image, png_bytes
for size in (16, 22, 24, 32, 48, 64, 128, 256):
    folder = pathlib.Path(sys.argv[1]) / f"{size}x{size}" / "apps"
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "scaleboot.png").write_bytes(png_bytes(icon_image(size)))
ICONS
}

# make_deb ARCH PACKAGE [MORE_DEPENDS]: the package from its tree. Its dependencies are those of the libraries
# its programs link (dpkg-shlibdeps, told the architecture: the arm64 libraries are the :arm64 ones installed
# beside the amd64 ones), plus MORE_DEPENDS.
make_deb() {
  local arch=$1 package=$2 root=$builds/deb/$1/$2 shlibs=$builds/deb/shlibs-$1-$2 binaries=() program depends
  local installed_size
  install -d "$root/DEBIAN" "$root/usr/share/doc/$package" "$shlibs/debian"
  install -m 0644 packaging/linux/copyright "$root/usr/share/doc/$package/copyright"
  fill_in packaging/linux/changelog.in | gzip -9n >"$root/usr/share/doc/$package/changelog.gz"
  # What the manuals and the manual pages send a technician to: every message, in both languages.
  gzip -9n <docs/troubleshooting.md >"$root/usr/share/doc/$package/troubleshooting.md.gz"
  printf 'Source: scaleboot\n\nPackage: %s\nArchitecture: %s\n' "$package" "$arch" >"$shlibs/debian/control"
  for program in "$root"/usr/bin/*; do [ -e "$program" ] && binaries+=("-e$program"); done
  if [ ${#binaries[@]} -ne 0 ]; then
    depends=$(cd "$shlibs" && DEB_HOST_ARCH=$arch dpkg-shlibdeps -O "${binaries[@]}" 2>/dev/null |
      sed -n 's/^shlibs:Depends=//p')
    if [ -z "$depends" ]; then
      echo "error: dpkg-shlibdeps found no dependencies of $package ($arch)" >&2
      exit 1
    fi
  fi
  depends+=${3:-}
  find "$root" -type d -exec chmod 0755 {} +
  installed_size=$(du -sk --apparent-size --exclude=DEBIAN "$root" | cut -f1)
  {
    fill_in "$(ls packaging/linux/$package.control.in packaging/linux/station/$package.control.in 2>/dev/null)" |
      sed -e "s/@INSTALLED_SIZE@/$installed_size/" -e "s/@DEPENDS@/$depends/" -e "s/@ARCH@/$arch/"
    # The long description (the control file's last field) of a test build ends in the programs' own words.
    [ -z "$test_line" ] || printf ' .\n %s:\n this build carries placeholder images for testing the program itself.\n' \
      "${test_line^}"
  } >"$root/DEBIAN/control"
  # Every file but the configuration files, whose sums dpkg keeps apart.
  (cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\n' | sort |
    grep -vxF -f <(sed 's|^/||' DEBIAN/conffiles 2>/dev/null) | xargs md5sum) >"$root/DEBIAN/md5sums"
  chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
  find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  dpkg-deb --root-owner-group -Zxz --build "$root" "$out/${package}_${version}_${arch}.deb" >/dev/null
}
for arch in amd64 arm64; do
  install_program "$arch" scaleboot scaleboot "${built_in[$arch]}/main/qt/scaleboot"
  install_program "$arch" scaleboot-cli scaleboot-cli "${built_in[$arch]}/main/cli/scaleboot-cli"
  window_files "$builds/deb/$arch/scaleboot"
  # Qt's platform plugins, which the window loads at run time and no linker records.
  make_deb "$arch" scaleboot ", qt6-qpa-plugins"
  make_deb "$arch" scaleboot-cli
done
# The station's service: its unit, its settings (a configuration file the package keeps on upgrades) and the
# maintainer scripts that enable and start it as Debian's helpers do; no program of its own, so one package
# for both architectures.
root=$builds/deb/all/scaleboot-station
install -d "$root/lib/systemd/system" "$root/usr/lib/systemd/catalog" "$root/etc/default" "$root/DEBIAN"
install -m 0644 packaging/linux/station/scaleboot-station.service "$root/lib/systemd/system/"
# The catalog of the station's journal entries (journalctl -x); systemd's own trigger rebuilds the index.
install -m 0644 packaging/linux/station/scaleboot-station.catalog "$root/usr/lib/systemd/catalog/"
install -m 0644 packaging/linux/station/scaleboot-station.default "$root/etc/default/scaleboot-station"
install -m 0755 packaging/linux/station/postinst packaging/linux/station/prerm packaging/linux/station/postrm \
  "$root/DEBIAN/"
echo /etc/default/scaleboot-station >"$root/DEBIAN/conffiles"
chmod 0644 "$root/DEBIAN/conffiles"
make_deb all scaleboot-station

# ---- Windows: one zip per architecture ----
package_windows() { # package_windows ARCH PRESET BITS
  local arch=$1 preset=$2 bits=$3
  local dir=$builds/windows-$arch stage=$builds/stage/windows-$arch
  build "$preset" "$dir" ScaleBoot scaleboot-cli
  rm -rf "$stage"
  mkdir -p "$stage"
  cp "$dir/main/win32/ScaleBoot.exe" "$stage/ScaleBoot.exe"
  # Linked stripped already; strip would stamp the PE header with the time of the run.
  cp "$dir/main/cli/scaleboot-cli.exe" "$stage/scaleboot-cli.exe"
  sign_program "$stage/ScaleBoot.exe" ScaleBoot
  sign_program "$stage/scaleboot-cli.exe" scaleboot-cli
  # Russian and English, with the firmware versions; the warning about placeholder images only for those;
  # what Windows shows of a signed program, or the note that the programs are not signed.
  # UTF-8 with a byte-order mark and CR LF line ends, so that Notepad shows it right.
  {
    printf '\xef\xbb\xbf'
    fill_in packaging/windows/README.txt | sed -e "s/@BITS@/$bits/g" -e "s/@ARCH@/$arch/g" |
      signed=$(signing && echo yes || echo no) publisher=$sign_publisher \
        awk -v ru="$versions_ru" -v en="$versions_en" -v placeholder="$placeholder" '
        /^\[signed\]$/ { skipping = ENVIRON["signed"] != "yes"; next }
        /^\[unsigned\]$/ { skipping = ENVIRON["signed"] == "yes"; next }
        /^\[\/(un)?signed\]$/ { skipping = 0; next }
        /^   @PUBLISHER@$/ { print "   " ENVIRON["publisher"]; next }
        /^@FIRMWARE_RU@$/ { print ru; next }
        /^@FIRMWARE_EN@$/ { print en; next }
        /^\[placeholder\]$/ { skipping = !placeholder; next }
        /^\[\/placeholder\]$/ { skipping = 0; next }
        !skipping' |
      sed -e 's/$/\r/'
  } >"$stage/README.txt"
  # The licence and every message with what to do (the manuals send the reader there), for Notepad too.
  { printf '\xef\xbb\xbf' && sed -e 's/$/\r/' LICENSE; } >"$stage/LICENSE.txt"
  { printf '\xef\xbb\xbf' && sed -e 's/$/\r/' docs/troubleshooting.md; } >"$stage/TROUBLESHOOTING.txt"
  python3 tools/make_zip.py "$out/ScaleBoot-$version-windows-$arch.zip" "ScaleBoot.exe=$stage/ScaleBoot.exe" \
    "scaleboot-cli.exe=$stage/scaleboot-cli.exe" "README.txt=$stage/README.txt" \
    "LICENSE.txt=$stage/LICENSE.txt" "TROUBLESHOOTING.txt=$stage/TROUBLESHOOTING.txt"
}
package_windows x64 windows 64
package_windows x86 windows-x86 32

# ---- Checksums, then everything into dist/ at once ----
files=("ScaleBoot-$version-windows-x64.zip" "ScaleBoot-$version-windows-x86.zip" "scaleboot_${version}_amd64.deb"
  "scaleboot-cli_${version}_amd64.deb" "scaleboot_${version}_arm64.deb" "scaleboot-cli_${version}_arm64.deb"
  "scaleboot-station_${version}_all.deb" FIRMWARE.txt)
(cd "$out" && sha256sum "${files[@]}" >SHA256SUMS)
sums_sign "$out"
mkdir -p "$dist"
rm -f "$dist"/ScaleBoot-*-windows-*.zip "$dist"/scaleboot_*_{amd64,arm64}.deb "$dist"/scaleboot-cli_*_{amd64,arm64}.deb \
  "$dist"/scaleboot-station_*_all.deb \
  "$dist/SHA256SUMS" "$dist/FIRMWARE.txt"
for file in $(sums_files); do rm -f "$dist/$file"; done
mv "$out"/* "$dist/"
echo "=== package: $dist/"
(cd "$dist" && ls -l "${files[@]}" SHA256SUMS $(! signing_sums || sums_files) && cat SHA256SUMS)
sed -n '/^File /,/^Firmware versions/p' "$dist/FIRMWARE.txt"
if [ "$placeholder" = 1 ]; then
  echo "=== package: these programs carry PLACEHOLDER firmware images (${placeholders[*]}), not for scales."
  echo "    A release takes the real images: scripts/package.sh --firmware DIR"
else
  echo "=== package: the programs carry the firmware images of $firmware (none is a placeholder)."
fi
if signing; then
  echo "=== package: the Windows programs are signed by \"$sign_publisher\"$([ -n "$sign_timestamp" ] ||
    echo ", without a time stamp: the signatures stop verifying when the certificate expires")."
else
  echo "=== package: the Windows programs are not signed (see --help for the signing options)."
fi
if signing_sums; then
  echo "=== package: SHA256SUMS is signed by \"$sums_user\", key $sums_fingerprint (SHA256SUMS.asc, checked with gpgv)."
else
  echo "=== package: SHA256SUMS is not signed (--sign-sums KEY signs it)."
fi
