#!/usr/bin/env bash
# The release script with other firmware images, made by the placeholder generator with another seed and other
# labels (other bytes, correct trailers, the folder's description naming those labels):
#  - refusals, one altered copy each: a missing image, a wrong length, a wrong trailer, a folder that does not
#    exist, a folder without its description, a description whose label does not match the image. Each stops the script with its message and a non-zero status before anything is built (its build
#    folder is never made), and the output folder keeps exactly what it held;
#  - a release from such a folder (--firmware, built in BUILD_1): the packaged programs carry those images:
#    scaleboot-cli from the Debian package (and scaleboot-cli.exe from the 64-bit zip, under Wine) says
#    identical against them and differs against the repository's placeholders, and all six programs hold their
#    bytes and none of the placeholders'; FIRMWARE.txt lists their labels and SHA-256 (as generated
#    placeholders), scaleboot-cli's contents and the window's contents box (ScaleBoot.exe under Wine, driven by
#    DRIVER_X64_EXE when given) name their firmware versions; the AppStream metadata lists the two screenshots
#    at the web address given;
#  - a second release from a copy of the same images in another folder, named relative to the caller through
#    SCALEBOOT_FIRMWARE_DIR and built in BUILD_2, gives the same files.
# BUILD_1 and BUILD_2 may be the release build folders of earlier runs: only what the images change is rebuilt.
#   check-firmware.sh SOURCE_DIR GENERATOR WORK_DIR BUILD_1 BUILD_2 [DRIVER_X64_EXE]
set -u
export LC_ALL=C.UTF-8
source_dir=$(cd "$1" && pwd)
generator=$2
work=$(mkdir -p "$3" && cd "$3" && pwd)
build1=$4
build2=$5
driver=${6:+$(realpath -m "$6")}
. "$source_dir/tests/lib.sh"
. "$source_dir/tests/win32/wine.sh"
version=$(project_version "$source_dir")
placeholders=$source_dir/resources/firmware
names=(32yk2368.bin 32yk936.bin yk2368.bin yk936.bin)
screenshots=https://downloads.example/scaleboot/$version

images=$work/images
rm -rf "$work/images" "$work/refused" "$work/dist-"* "$work/unpacked"
mkdir -p "$images"
# Other firmware versions: P410207 (set A) and P400503 (set B) as the programs compose them.
labels=(P41xx07 P4102xx P40xx03 P4005xx) versions=(P410207 P400503)
"$generator" "$images" 7 "${labels[@]}" >/dev/null || { fail "the placeholder generator makes other images"; finish; }
check "the generated images differ from the repository's placeholders" \
  bash -c '! cmp -s "$1/yk936.bin" "$2/yk936.bin"' _ "$images" "$placeholders"

# ---- Refusals ----
echo "--- refusals"
refused_dist=$work/dist-refused
mkdir -p "$refused_dist"
echo "an earlier release" >"$refused_dist/SHA256SUMS"
echo "kept" >"$refused_dist/scaleboot_0.9_amd64.deb"
listing() {  # every file of a folder with its size, time and SHA-256
  (cd "$1" && find . -printf '%p %s %T@\n' | sort && find . -type f -exec sha256sum {} + | sort)
}
remove_image() { rm yk2368.bin; }
shorten_image() { truncate -s -1 32yk936.bin; }
damage_trailer() {  # the trailer's top byte, 0 for an image this short, set to 0x80
  printf '\200' | dd of=yk936.bin bs=1 seek=15749 conv=notrunc status=none
}
remove_description() { rm images.txt; }
relabel() { sed -i 's/^yk2368.bin 422916 P40xx03$/yk2368.bin 422916 P40xx13/' images.txt; }
remove_folder() {
  local here=$PWD
  cd .. && rm -r "$here"
}
# refused NAME ALTERATION MESSAGE: a copy of the generated images altered by the function ALTERATION (run in
# the copy's folder) is given to the release script, which must fail with MESSAGE (an extended regular
# expression, after "error: " and the copy's path) on a line of its own, build nothing and leave the output
# folder as it was.
refused() {
  local folder="$work/refused/$1" log="$work/refused/$1.log" build="$work/refused/build" status=0 before
  mkdir -p "$folder"
  cp "$images"/* "$folder/"
  (cd "$folder" && "$2") || { echo "    could not alter the copy"; return 1; }
  before=$(listing "$refused_dist")
  SCALEBOOT_DIST_DIR=$refused_dist SCALEBOOT_PACKAGE_BUILD_DIR=$build \
    "$source_dir/scripts/package.sh" --firmware "$folder" >"$log" 2>&1 </dev/null || status=$?
  sed 's/^/    /' "$log"
  [ "$status" -ne 0 ] || { echo "    the script went on"; return 1; }
  grep -qxE "error: $work/refused/$1$3" "$log" || { echo "    no line: error: .../$1$3"; return 1; }
  [ ! -e "$build" ] || { echo "    something was built in $build"; return 1; }
  [ "$(listing "$refused_dist")" = "$before" ] || { echo "    the output folder changed"; return 1; }
}
while IFS='|' read -r name alteration message; do
  check "refused: $name" refused "$name" "$alteration" "$message"
done <<'CASES'
a missing image|remove_image|/yk2368\.bin: missing
a wrong length|shorten_image|/32yk936\.bin: length 15749 instead of 15750
a wrong trailer|damage_trailer|/yk936\.bin: trailer [0-9]+ instead of [0-9]+ \(the sum of its payload bytes\)
a folder that does not exist|remove_folder|: no such folder
a folder without its description|remove_description|/images\.txt: missing .*
a label that does not match the image|relabel|/yk2368\.bin: a placeholder of label P40xx03, described as P40xx13
CASES

# ---- A release from the generated images ----
echo "--- a release from $images"
dist1=$work/dist-1
status=0
SCALEBOOT_DIST_DIR=$dist1 SCALEBOOT_PACKAGE_BUILD_DIR=$build1 "$source_dir/scripts/package.sh" \
  --firmware "$images" --screenshots-url "$screenshots/" >"$work/release-1.log" 2>&1 </dev/null || status=$?
tail -n 12 "$work/release-1.log" | sed 's/^/    /'
check "the release script builds from them and says they are placeholders" \
  bash -c '[ "$1" -eq 0 ] && tail -n 4 "$2" | grep -q "PLACEHOLDER firmware images"' _ "$status" "$work/release-1.log"
[ "$status" -eq 0 ] || finish

firmware_listed() {  # each image's line in FIRMWARE.txt: name, length, label, placeholder, SHA-256; the versions
  local i name
  for i in "${!names[@]}"; do
    name=${names[$i]}
    grep -qE "^$name +$(stat -c %s "$images/$name") +${labels[$i]} +yes, generated +$(sha256sum <"$images/$name" | cut -d' ' -f1)$" \
      "$dist1/FIRMWARE.txt" || { echo "    no line for $name"; return 1; }
  done
  grep -qx "Firmware versions, as the programs show them: ${versions[0]}, ${versions[1]}" "$dist1/FIRMWARE.txt"
}
check "FIRMWARE.txt lists the images with their labels and SHA-256, and their firmware versions" firmware_listed
check "SHA256SUMS holds for every file" bash -c 'cd "$1" && sha256sum --quiet -c SHA256SUMS' _ "$dist1"

unpacked=$work/unpacked
mkdir -p "$unpacked"
for deb in "$dist1"/*_amd64.deb; do dpkg-deb -x "$deb" "$unpacked/deb"; done
for deb in "$dist1"/*_arm64.deb; do dpkg-deb -x "$deb" "$unpacked/deb-arm64"; done
for arch in x64 x86; do unzip -q "$dist1/ScaleBoot-$version-windows-$arch.zip" -d "$unpacked/$arch"; done

# verifies CLI... FOLDER STATUS TEXT: `scaleboot-cli verify FOLDER` exits with STATUS and says TEXT for each image.
verifies() {
  local folder=${*: -3:1} want=${*: -2:1} text=${*: -1} out status name
  out=$("${@:1:$#-3}" verify "$folder" --lang en --quiet 2>&1)
  status=$?
  sed 's/^/    /' <<<"$out" | tr -d '\r'
  [ "$status" -eq "$want" ] || { echo "    status $status"; return 1; }
  for name in "${names[@]}"; do
    grep -q "^$name: $text" <<<"$out" || return 1
  done
}
cli=$unpacked/deb/usr/bin/scaleboot-cli
names_versions() {  # names_versions COMMAND...: its output names the other firmware's versions and not this one's
  local out
  out=$("$@" 2>&1 | tr -d '\r')
  sed 's/^/    /' <<<"$out"
  grep -q "^${versions[0]} - " <<<"$out" && grep -q "^${versions[1]} - " <<<"$out" && ! grep -qE 'P321835|P282935' <<<"$out"
}
check "the packaged scaleboot-cli: contents names the images' firmware versions" names_versions "$cli" contents --lang en
check "the packaged scaleboot-cli: identical against the images" verifies "$cli" "$images" 0 identical
check "the packaged scaleboot-cli: differs against the placeholders" verifies "$cli" "$placeholders" 1 differs
exe=$unpacked/x64/scaleboot-cli.exe
if wine_can_start "$exe" && command -v wineserver >/dev/null; then
  export WINEPREFIX=${WINEPREFIX:-$work/wineprefix} WINEDEBUG=-all
  wine=("$source_dir/tests/win32/wine-run.sh" "$exe")
  check "x64: scaleboot-cli.exe under Wine: identical against the images" \
    verifies "${wine[@]}" "Z:${images//\//\\}" 0 identical
  check "x64: scaleboot-cli.exe under Wine: differs against the placeholders" \
    verifies "${wine[@]}" "Z:${placeholders//\//\\}" 1 differs
  if [ -f "$driver" ] && start_xvfb; then
    window=("$source_dir/tests/win32/wine-run.sh" "$driver")
    # stage ARGS...: one stage of the window test driver; passes when it reports no failed check.
    # Into a file: the program the start stage leaves running holds any pipe open.
    stage() {
      "${window[@]}" "$@" >"$work/stage.log" 2>&1 </dev/null
      sed 's/^/    /' "$work/stage.log"
      grep -q '^RESULT passed=[1-9][0-9]* failed=0' "$work/stage.log"
    }
    check "x64: ScaleBoot.exe under Wine starts" stage start "Z:${unpacked//\//\\}\\x64\\ScaleBoot.exe"
    check "x64: ScaleBoot.exe under Wine: its contents box names the images' firmware versions" \
      stage contents-of "${versions[@]}"
    stage close >/dev/null
    stop_xvfb
  else
    skip "x64: the window's contents box (no window driver given, or no X display)"
  fi
  wineserver -k >/dev/null 2>&1
else
  skip "x64: scaleboot-cli.exe under Wine (Wine cannot start it here)"
fi

carry() {  # every packaged program holds the bytes of each image and of no placeholder
  python3 - "$images" "$placeholders" "$@" <<'EOF'
import pathlib, sys
names = ["32yk2368.bin", "32yk936.bin", "yk2368.bin", "yk936.bin"]
images, placeholders = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
ok = True
for program in sys.argv[3:]:
    data = pathlib.Path(program).read_bytes()
    missing = [n for n in names if (images / n).read_bytes() not in data]
    stale = [n for n in names if (placeholders / n).read_bytes() in data]
    print(f"    {program}: missing {missing or 'none'}, placeholders {stale or 'none'}")
    ok = ok and not missing and not stale
sys.exit(0 if ok else 1)
EOF
}
check "all eight programs carry the images and none of the placeholders" carry \
  "$unpacked/deb/usr/bin/scaleboot" "$cli" "$unpacked"/deb-arm64/usr/bin/scaleboot* "$unpacked"/x64/*.exe \
  "$unpacked"/x86/*.exe

metainfo=$unpacked/deb/usr/share/metainfo/org.scaleboot.ScaleBoot.metainfo.xml
check "metainfo with the screenshots' web address validates and lists both screenshots" bash -c '
  appstreamcli validate --no-net "$1" >/dev/null &&
    grep -qF "<image>$2/screenshot-linux.png</image>" "$1" && grep -qF "<image>$2/screenshot-windows.png</image>" "$1"' \
  _ "$metainfo" "$screenshots"

# ---- The same images from another folder, in another build folder ----
echo "--- the same images again, from a copy, built in $build2"
dist2=$work/dist-2
cp -r "$images" "$work/images copy"
status=0
(cd "$work" && SCALEBOOT_DIST_DIR=$dist2 SCALEBOOT_PACKAGE_BUILD_DIR=$build2 SCALEBOOT_FIRMWARE_DIR="images copy" \
  SCALEBOOT_SCREENSHOTS_URL=$screenshots "$source_dir/scripts/package.sh") >"$work/release-2.log" 2>&1 </dev/null ||
  status=$?
check "a second release from a copy of the images gives the same files" \
  bash -c '[ "$1" -eq 0 ] && cmp "$2/SHA256SUMS" "$3/SHA256SUMS" && diff -r "$2" "$3"' _ "$status" "$dist1" "$dist2"
rm -rf "$work/images copy"
finish
