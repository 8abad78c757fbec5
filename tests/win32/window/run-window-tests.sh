#!/usr/bin/env bash
# Window tests of ScaleBoot.exe under Wine and a virtual X display:
#   run-window-tests.sh SCALEBOOT_EXE DRIVER_EXE SOURCE_DIR WORK_DIR
# Starts Xvfb on a free display, creates the Wine prefix WORK_DIR/wineprefix when missing, runs copies of the
# program from WORK_DIR and checks them stage by stage with the test driver (same prefix), checks the files the
# program writes against the repository's firmware images and documents, and cleans up (program, wineserver,
# Xvfb) however it ends. Prints "N passed, M failed" and exits non-zero when any check failed.
set -u

exe=$1
driver=$2
source_dir=$3
work=$4

export WINEDEBUG=-all
export WINEPREFIX="$work/wineprefix"
# No desktop integration, no Mono or Gecko installers, and no hand-over of opened documents to the host's
# viewer (the program ignores whether the shell could open them).
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d;winebrowser.exe=d"

. "$source_dir/tests/lib.sh"
. "$source_dir/tests/win32/wine.sh"

# The display's DPI for the programs started next: LogPixels of the user's desktop settings in the prefix
# (unset: 96). set_dpi DPI sets it, set_dpi "" removes it again. The prefix is this test's own, and each run
# starts by removing it, so an interrupted run leaves nothing that matters.
desktop_key='HKCU\Control Panel\Desktop'
set_dpi() {
  if [ -n "$1" ]; then
    wine_tool reg add "$desktop_key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  else
    wine_tool reg delete "$desktop_key" /v LogPixels /f >/dev/null 2>&1
  fi
}

# The sizes of the icons the program's main window hands to X ("Icon (16 x 16) Icon (32 x 32) ").
main_window_icons() {
  local window_id version
  version=$(project_version "$source_dir" | cut -d. -f1,2)
  window_id=$(xwininfo -root -tree | sed -n "s/^ *\(0x[0-9a-f]*\) \"Загрузочный модуль ЮКС (версия ${version//./\\.})\( \[ТЕСТ\]\)\{0,1\}\".*/\1/p" | head -n1)
  [ -n "$window_id" ] && xprop -id "$window_id" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | tr '\n' ' '
}

cleanup() {
  wineserver -k >/dev/null 2>&1
  stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Runs one driver stage and adds its counts; a stage that crashes or prints no result counts as a failure.
# The output goes through a file: a program the driver starts inherits its output, so a pipe would stay open.
stage() {
  local log="$work/stage.log" status result
  echo "--- $*"
  wine_start "$driver" "$@" >"$log" 2>&1 </dev/null
  status=$?
  grep -v '^RESULT ' "$log"
  result=$(sed -n 's/^RESULT passed=\([0-9]*\) failed=\([0-9]*\).*/\1 \2/p' "$log" | tail -n1)
  if [ -z "$result" ]; then
    fail "driver stage '$1' ended without a result (exit $status)"
    return 1
  fi
  passed=$((passed + ${result% *}))
  failed=$((failed + ${result#* }))
  [ "$status" -eq 0 ]
}

same_file() {  # same_file ACTUAL EXPECTED NAME
  if [ -f "$1" ] && cmp -s "$1" "$2"; then
    ok "$3"
  else
    fail "$3 ($(stat -c %s "$1" 2>/dev/null || echo missing) bytes, expected $(stat -c %s "$2"))"
  fi
}

windows_path() { wine_tool winepath -w "$1" 2>/dev/null; }

start_program() {  # start_program FOLDER
  stage start "$(windows_path "$1")\\ScaleBoot.exe"
}

for tool in "$WINE64_LOADER" wineserver Xvfb xwininfo xprop cmp; do
  command -v "$tool" >/dev/null 2>&1 || { fail "$tool is not installed"; finish; }
done
[ -f "$exe" ] && [ -f "$driver" ] || { fail "missing $exe or $driver"; finish; }
# A 32-bit build on a machine that runs no 32-bit programs: nothing of it can run here.
wine_can_start "$driver" || { wine_start "$driver"; exit; }

start_xvfb || { fail "no X display could be started"; finish; }

mkdir -p "$work"
wine_prefix_ensure || { fail "the Wine prefix could not be created"; finish; }
wineserver -k >/dev/null 2>&1  # no program of an earlier run left behind
# The runs below take the display at 96 DPI, whatever an interrupted run may have left.
set_dpi ""
stage remove-card

firmware="$source_dir/resources/firmware"
documents="$source_dir/resources/documents"
images=(32yk2368.bin 32yk936.bin yk2368.bin yk936.bin)

# ---- Run 1: the program as built ----
app="$work/app"
card="$work/card"
rm -rf "$app" "$card"
mkdir -p "$app" "$card"
cp "$exe" "$app/ScaleBoot.exe"
# A longer file already on the card must be cut to the image's length.
head -c 20000 /dev/zero >"$card/yk936.bin"

if start_program "$app"; then
  stage layout
  # Wine hands the window's icons to X: both sizes of the main icon must be there.
  icons=$(main_window_icons)
  case "$icons" in
    *"Icon (32 x 32)"*"Icon (16 x 16)"* | *"Icon (16 x 16)"*"Icon (32 x 32)"*) ok "window shows the main icon (16 and 32 px)" ;;
    *) fail "window shows the main icon (found: ${icons:-none})" ;;
  esac
  stage language
  stage hints
  stage contents

  stage documents "$(windows_path "$app")"
  same_file "$app/Instruction.pdf" "$documents/Instruction.pdf" "saved Instruction.pdf equals the manual"
  same_file "$app/Instruction_eng.pdf" "$documents/Instruction_eng.pdf" "saved Instruction_eng.pdf equals the manual"
  same_file "$app/Changes.pdf" "$documents/Changes.pdf" "saved Changes.pdf equals the change log"

  rm -f "$app/Instruction.pdf"
  mkdir "$app/Instruction.pdf"
  stage document-error "$(windows_path "$app")"
  rmdir "$app/Instruction.pdf"

  stage card "$card"
  for image in "${images[@]}"; do
    same_file "$card/$image" "$firmware/$image" "card file $image has the image's length and bytes"
  done

  # A folder where the first file goes: the run fails at once with an I/O error.
  rm -f "$card/32yk2368.bin"
  mkdir "$card/32yk2368.bin"
  stage card-error
  stage card-removed
  rmdir "$card/32yk2368.bin"

  # The drive letter goes away while the first file is written: no later file may be written anywhere.
  rm -f "$card"/*
  stage card-unmapped "$card" "$(windows_path "$card/${images[0]}")"
  stray=$(cd "$card" && ls -A | grep -vx "${images[0]}")
  stray+=$(for image in "${images[@]}"; do
    for folder in "$app" "$WINEPREFIX/drive_c" "$WINEPREFIX/drive_c/windows"; do
      [ -e "$folder/$image" ] && echo " $folder/$image"
    done
  done)
  if [ -z "$stray" ]; then
    ok "unmapped: no file written after the drive went away, on the card or elsewhere"
  else
    fail "unmapped: files written after the drive went away: $stray"
  fi

  # The station window, opened with no drive listed, writes a card whose drive appears meanwhile.
  card5="$work/card-station"
  rm -rf "$card5"
  mkdir -p "$card5"
  echo "an earlier line" >"$work/record.log"
  stage station "$card5" "$(windows_path "$work/record.log")"
  for image in "${images[@]}"; do
    same_file "$card5/$image" "$firmware/$image" "station: card file $image equals the image"
  done
  if [ "$(head -n1 "$work/record.log")" = "an earlier line" ] &&
    sed -n 2p "$work/record.log" | grep -q '"program":"ScaleBoot".*"outcome":"verified"'; then
    ok "station: the card's record line is appended to the record file"
  else
    fail "station: the card's record line is appended to the record file ($(head -c 300 "$work/record.log"))"
  fi
  stage remove-card

  stage close
fi
wineserver -k >/dev/null 2>&1

# ---- Run 2: the version in the title comes from the program's own version resource ----
app2="$work/app-version"
rm -rf "$app2"
mkdir -p "$app2"
cp "$exe" "$app2/ScaleBoot.exe"
if stage patch-version "$(windows_path "$app2")\\ScaleBoot.exe" 3 7 && start_program "$app2"; then
  stage title 3.7
  stage close
fi
cp "$exe" "$app2/ScaleBoot.exe"
if stage blank-version "$(windows_path "$app2")\\ScaleBoot.exe" && start_program "$app2"; then
  stage title 65535.65535
  stage close
fi
wineserver -k >/dev/null 2>&1

# ---- Run 3: a damaged image makes the program refuse to write and say so ----
app3="$work/app-corrupt"
card3="$work/card-corrupt"
rm -rf "$app3" "$card3"
mkdir -p "$app3" "$card3"
cp "$exe" "$app3/ScaleBoot.exe"
if stage corrupt-firmware "$(windows_path "$app3")\\ScaleBoot.exe" "$(windows_path "$firmware/32yk936.bin")" &&
  start_program "$app3"; then
  stage corrupt-card "$card3"
  stage corrupt-contents
  stage corrupt-station
  stage close
fi
stage remove-card
if [ -z "$(ls -A "$card3")" ]; then
  ok "nothing written to the card by the damaged program"
else
  fail "the damaged program wrote to the card: $(ls "$card3")"
fi

# ---- Run 4: the display at 100, 125, 150 and 200 % ----
# The program lays its window out for the DPI it starts at (and for a change of DPI meanwhile): one focused
# stage per scale. A folder stands where the first card file goes, so a click on the write button gives its
# error box at once.
app4="$work/app-dpi"
card4="$work/card-dpi"
for dpi in 96 120 144 192; do
  rm -rf "$app4" "$card4"
  mkdir -p "$app4" "$card4/${images[0]}"
  cp "$exe" "$app4/ScaleBoot.exe"
  set_dpi "$dpi"
  if start_program "$app4"; then
    stage dpi "$dpi" "$(windows_path "$app4")" "$(windows_path "$source_dir/resources")" "$card4"
    # The main icon at the sizes this scale asks for: 16 and 32 pixels scaled.
    small=$(((16 * dpi + 48) / 96)) big=$(((32 * dpi + 48) / 96))
    icons=$(main_window_icons)
    if [[ $icons == *"Icon ($small x $small)"* && $icons == *"Icon ($big x $big)"* ]]; then
      ok "$dpi DPI: window shows the main icon at $small and $big px"
    else
      fail "$dpi DPI: window shows the main icon at $small and $big px (found: ${icons:-none})"
    fi
    stage close
  fi
  stage remove-card
  wineserver -k >/dev/null 2>&1
done
set_dpi ""

finish
