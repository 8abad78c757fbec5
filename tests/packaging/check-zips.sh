#!/usr/bin/env bash
# Checks the Windows zips in dist/: what each unpacks to, its README, the architecture, link time and imported
# DLLs of each executable, and that each ScaleBoot.exe from a zip starts under Wine with the Russian title and
# the 311 x 83 client area (checked by the window test driver of the matching build).
# A zip whose ScaleBoot.exe this machine cannot start (32-bit, where no 32-bit program runs) gets every other
# check, and the start is reported as skipped.
#   check-zips.sh SOURCE_DIR DIST_DIR DRIVER_X64_EXE DRIVER_X86_EXE WORK_DIR [ARCH...]
# ARCH (x64, x86) limits the checks to those zips; both by default.
set -u
source_dir=$(cd "$1" && pwd)
dist=$2
work=$(mkdir -p "$5" && cd "$5" && pwd)
declare -A driver=([x64]=$3 [x86]=$4)
shift 5
arches=("$@")
[ ${#arches[@]} -ne 0 ] || arches=(x64 x86)
declare -A machine=([x64]="PE32+ executable (GUI) x86-64" [x86]="PE32 executable (GUI) Intel 80386")
declare -A cli_machine=([x64]="PE32+ executable (console) x86-64" [x86]="PE32 executable (console) Intel 80386")
declare -A objdump=([x64]=x86_64-w64-mingw32-objdump [x86]=i686-w64-mingw32-objdump)
. "$source_dir/tests/lib.sh"
. "$source_dir/tests/win32/wine.sh"

version=$(project_version "$source_dir")
title_version=$(echo "$version" | cut -d. -f1,2)
allowed=$(grep -v '^#' "$source_dir/tests/packaging/windows7-dlls.txt" | tr 'A-Z' 'a-z')
# The command-line program belongs in the zips once its sources are in the tree.
expected="README.txt ScaleBoot.exe"
[ -d "$source_dir/main/cli" ] && expected="README.txt ScaleBoot.exe scaleboot-cli.exe"

export WINEDEBUG=-all WINEPREFIX="$work/wineprefix"
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d;winebrowser.exe=d"
cleanup() {
  wineserver -k >/dev/null 2>&1
  stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# stage DRIVER ARGS...: one stage of the window test driver; its checks are added to the counts.
stage() {
  local log="$work/stage.log" result
  "$source_dir/tests/win32/wine-run.sh" "$@" >"$log" 2>&1 </dev/null
  grep -v '^RESULT ' "$log" | sed 's/^/    /'
  result=$(sed -n 's/^RESULT passed=\([0-9]*\) failed=\([0-9]*\).*/\1 \2/p' "$log" | tail -n1)
  if [ -z "$result" ]; then
    fail "driver stage '$2' ended without a result"
    return 1
  fi
  passed=$((passed + ${result% *}))
  failed=$((failed + ${result#* }))
  [ "${result#* }" -eq 0 ]
}

imports_allowed() {  # imports_allowed ARCH EXE: every imported DLL is on the Windows 7 list
  local dlls bad=""
  dlls=$("${objdump[$1]}" -p "$2" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  [ -n "$dlls" ] || { echo "    no imports found"; return 1; }
  for dll in $dlls; do
    grep -qx "$dll" <<<"$allowed" || bad="$bad $dll"
  done
  echo "    imports: $(echo $dlls)"
  [ -z "$bad" ] || { echo "    not on the Windows 7 list:$bad"; return 1; }
}

# The per-monitor DPI functions came with Windows 8.1 and 10: the program looks them up while it runs, and an
# import of any of them by name would keep it from starting on Windows 7.
no_late_dpi_imports() {  # no_late_dpi_imports ARCH EXE
  local late
  late=$("${objdump[$1]}" -p "$2" | grep -oE '\b(\w+ForDpi|GetDpiFor\w+|\w*DpiAwareness\w*|\w*DpiScaling\w*)\b' | sort -u)
  [ -z "$late" ] || { echo "    imported by name:" $late; return 1; }
}

no_link_time() {  # the PE header's time stamp is zero, so rebuilding gives the same bytes
  TZ=UTC "${objdump[$1]}" -p "$2" | grep -q '^Time/Date[[:space:]]*Thu Jan  1 00:00:00 1970$'
}

readme_ok() {  # readme_ok FILE WITH_CLI: UTF-8 with a byte-order mark, CR LF lines, both languages
  local text
  [ "$(head -c3 "$1" | od -An -tx1 | tr -d ' ')" = efbbbf ] || { echo "    no byte-order mark"; return 1; }
  [ "$(grep -c $'\r$' "$1")" -eq "$(wc -l <"$1")" ] || { echo "    not all lines end in CR LF"; return 1; }
  text=$(tr -d '\r' <"$1")
  local phrase
  for phrase in "ScaleBoot $version" "Как пользоваться" "How to use it" "Инструкция" "manual is one click away" \
    "ScaleBoot.exe"; do
    [[ "$text" == *"$phrase"* ]] || { echo "    missing: $phrase"; return 1; }
  done
  [[ "$text" != *"[cli]"* && "$text" != *"@"* ]] || { echo "    template markers left"; return 1; }
  if [ "$2" = 1 ]; then [[ "$text" == *"scaleboot-cli"* ]]; else [[ "$text" != *"scaleboot-cli"* ]]; fi
}

rm -rf "$work/unpacked"
mkdir -p "$work"
start_xvfb || { fail "no X display could be started"; finish; }
for arch in "${arches[@]}"; do
  zip="$dist/ScaleBoot-$version-windows-$arch.zip"
  echo "--- $zip"
  [ -f "$zip" ] || { fail "$arch: the zip exists"; continue; }
  dir="$work/unpacked/$arch"
  mkdir -p "$dir"
  check "$arch: the zip is sound" unzip -tqq "$zip"
  unzip -q "$zip" -d "$dir"
  listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
  check "$arch: unpacks to $expected (got: ${listed% })" test "${listed% }" = "$expected"
  with_cli=0
  [[ "$expected" == *scaleboot-cli.exe* ]] && with_cli=1
  check "$arch: README.txt in Russian and English, for Notepad" readme_ok "$dir/README.txt" "$with_cli"

  for exe in "$dir"/*.exe; do
    name=$(basename "$exe")
    want=${machine[$arch]}
    [ "$name" = scaleboot-cli.exe ] && want=${cli_machine[$arch]}
    check "$arch: $name is a $want" grep -q "$want" <<<"$(file -b "$exe")"
    check "$arch: $name imports only DLLs of Windows 7 and later" imports_allowed "$arch" "$exe"
    check "$arch: $name imports no DPI function newer than Windows 7" no_late_dpi_imports "$arch" "$exe"
    check "$arch: $name carries no link time" no_link_time "$arch" "$exe"
  done

  if [ -f "$dir/ScaleBoot.exe" ] && [ -f "${driver[$arch]}" ] && ! wine_can_start "$dir/ScaleBoot.exe"; then
    skip "$arch: ScaleBoot.exe starts under Wine with its title and layout ($(wine_no_32bit_reason))"
  elif [ -f "$dir/ScaleBoot.exe" ] && [ -f "${driver[$arch]}" ]; then
    stage "${driver[$arch]}" start "$(wine_tool winepath -w "$dir/ScaleBoot.exe" 2>/dev/null)" &&
      stage "${driver[$arch]}" title "$title_version" && stage "${driver[$arch]}" layout
    stage "${driver[$arch]}" close
    wineserver -k >/dev/null 2>&1
  else
    fail "$arch: ScaleBoot.exe and the window driver ${driver[$arch]} are there"
  fi
done
finish
