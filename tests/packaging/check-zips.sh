#!/usr/bin/env bash
# Checks the Windows zips in dist/: what each unpacks to, its README (with the firmware versions of
# FIRMWARE.txt), the architecture, link time, imported DLLs, version information and manifest of each
# executable, and that each ScaleBoot.exe from a zip starts under Wine with the Russian title and the 311 x 83
# client area (checked by the window test driver of the matching build).
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
declare -A windres=([x64]=x86_64-w64-mingw32-windres [x86]=i686-w64-mingw32-windres)
declare -A manifest_machine=([x64]=amd64 [x86]=x86)
. "$source_dir/tests/lib.sh"
. "$source_dir/tests/win32/wine.sh"

version=$(project_version "$source_dir")
title_version=$(echo "$version" | cut -d. -f1,2)
allowed=$(grep -v '^#' "$source_dir/tests/packaging/windows7-dlls.txt" | tr 'A-Z' 'a-z')
expected="LICENSE.txt README.txt ScaleBoot.exe TROUBLESHOOTING.txt scaleboot-cli.exe"
# The firmware versions the programs carry, and whether they are placeholders, as FIRMWARE.txt lists them.
firmware_versions=$(sed -n 's/^Firmware versions, as the programs show them: //p' "$dist/FIRMWARE.txt" 2>/dev/null |
  tr -d ',')
placeholder=0
grep -qE '^[^ ]+\.bin +[0-9]+ +[^ ]+ +yes' "$dist/FIRMWARE.txt" 2>/dev/null && placeholder=1

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

# has_signature ARCH EXE: the program carries an Authenticode signature (its security directory is not empty).
has_signature() {
  "${objdump[$1]}" -p "$2" | grep -qE '^Entry 4 [0-9a-f]+ 0*[1-9a-f][0-9a-f]* Security Directory'
}

# readme_says_signature TEXT ARCH DIR: the README says what it should of a signed release (the publisher's name
# on the line after) or of an unsigned one, and not the other.
readme_says_signature() {
  local said=("не подписана" "not signed") unsaid="carry the publisher's signature"
  if has_signature "$2" "$3/ScaleBoot.exe"; then
    said=("подписаны цифровой подписью издателя:"$'\n'"   [^ ]" "carry the publisher's signature:"$'\n'"   [^ ]")
    unsaid="not signed"
  fi
  [[ $1 == *${said[0]}* && $1 == *${said[1]}* ]] || { echo "    missing: ${said[*]}"; return 1; }
  [[ $1 != *"$unsaid"* ]] || { echo "    says: $unsaid"; return 1; }
}

readme_ok() {  # readme_ok FILE ARCH: UTF-8 with a byte-order mark, CR LF lines, both languages, every section
  local text phrase
  [ "$(head -c3 "$1" | od -An -tx1 | tr -d ' ')" = efbbbf ] || { echo "    no byte-order mark"; return 1; }
  [ "$(grep -c $'\r$' "$1")" -eq "$(wc -l <"$1")" ] || { echo "    not all lines end in CR LF"; return 1; }
  text=$(tr -d '\r' <"$1")
  [ -n "$firmware_versions" ] || { echo "    no firmware versions in FIRMWARE.txt"; return 1; }
  for phrase in "ScaleBoot $version" "Как пользоваться" "How to use it" "Инструкция" "manual is one click away" \
    "ScaleBoot.exe" "scaleboot-cli verify" "Код завершения" "Exit status" "   4 — " \
    "Get-FileHash .\\ScaleBoot-$version-windows-$2.zip" "certutil -hashfile ScaleBoot-$version-windows-$2.zip SHA256" \
    "«Разблокировать»" '"Unblock"' "Помощь и неисправности" "Help and faults" $firmware_versions; do
    [[ "$text" == *"$phrase"* ]] || { echo "    missing: $phrase"; return 1; }
  done
  ! grep -qE '^\[/?[a-z]+\]$|@[A-Z_0-9]+@' <<<"$text" || { echo "    template markers left"; return 1; }
  readme_says_signature "$text" "$2" "$(dirname "$1")" || return 1
  # The warning about placeholder images exactly when the programs carry them.
  if [ "$placeholder" = 1 ]; then
    [[ "$text" == *"ВНИМАНИЕ"* && "$text" == *"WARNING"* ]] || { echo "    no placeholder warning"; return 1; }
  else
    [[ "$text" != *"ВНИМАНИЕ"* && "$text" != *"WARNING"* ]] || { echo "    a placeholder warning"; return 1; }
  fi
}

# shipped_documents_ok DIR: the licence and the troubleshooting table beside the programs, each as its source
# with a byte-order mark and CR LF lines; the table in both languages.
shipped_documents_ok() {
  local file source
  for file in LICENSE.txt:LICENSE TROUBLESHOOTING.txt:docs/troubleshooting.md; do
    source=$source_dir/${file#*:}
    cmp -s "$1/${file%%:*}" <(printf '\xef\xbb\xbf' && sed -e 's/$/\r/' "$source") ||
      { echo "    ${file%%:*} is not $source for Notepad"; return 1; }
  done
  grep -q "Module creation completed successfully" "$1/TROUBLESHOOTING.txt" &&
    grep -q "Запись загрузочного модуля на карту завершена успешно" "$1/TROUBLESHOOTING.txt" ||
    { echo "    TROUBLESHOOTING.txt lacks a language"; return 1; }
}

# resources ARCH EXE: the program's resources as the resource compiler writes them back.
resources() {
  "${windres[$1]}" -i "$2" -O rc 2>/dev/null
}
version_strings() {  # version_strings ARCH EXE: the version information's strings, NAME=VALUE a line
  resources "$1" "$2" | sed -n 's/^ *VALUE "\([A-Za-z]*\)", "\(.*\)"$/\1=\2/p'
}
# The two programs' version information: the same version, product, description, company and copyright, the
# version the project's; each named after itself.
versions_match() {  # versions_match ARCH DIR
  local gui cli key value
  gui=$(version_strings "$1" "$2/ScaleBoot.exe")
  cli=$(version_strings "$1" "$2/scaleboot-cli.exe")
  echo "    scaleboot-cli.exe: $(paste -sd'|' <<<"$cli" | sed 's/|/; /g')"
  for key in FileVersion ProductVersion ProductName FileDescription CompanyName LegalCopyright; do
    value=$(sed -n "s/^$key=//p" <<<"$cli")
    [ -n "$value" ] && [ "$value" = "$(sed -n "s/^$key=//p" <<<"$gui")" ] ||
      { echo "    $key differs or is empty"; return 1; }
  done
  grep -qx "FileVersion=$version" <<<"$cli" && grep -qx "OriginalFilename=scaleboot-cli.exe" <<<"$cli" &&
    grep -qx "OriginalFilename=ScaleBoot.exe" <<<"$gui"
}
manifest_of() {  # manifest_of ARCH EXE: the text of the program's manifest
  resources "$1" "$2" | sed -n '/^1 24 /,/^END/p' | sed -n 's/^ *"\(.*\)\\n"$/\1/p' | sed 's/""/"/g'
}
# scaleboot-cli.exe: a console program's manifest for its architecture, with the UTF-8 code page, long paths
# and the ids of Windows 7, 8, 8.1 and 10.
cli_manifest_ok() {  # cli_manifest_ok ARCH EXE
  local manifest id
  manifest=$(manifest_of "$1" "$2")
  grep -q "processorArchitecture=\"${manifest_machine[$1]}\"" <<<"$manifest" &&
    grep -q '<activeCodePage [^>]*>UTF-8</activeCodePage>' <<<"$manifest" &&
    grep -q '<longPathAware [^>]*>true</longPathAware>' <<<"$manifest" || return 1
  for id in 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
    1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
    grep -q "<supportedOS Id=\"{$id}\"/>" <<<"$manifest" || { echo "    no supportedOS $id"; return 1; }
  done
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
  listed=$(unzip -Z1 "$zip" | LC_ALL=C sort | tr '\n' ' ')
  check "$arch: unpacks to $expected (got: ${listed% })" test "${listed% }" = "$expected"
  check "$arch: README.txt in Russian and English, for Notepad, with the firmware versions" \
    readme_ok "$dir/README.txt" "$arch"
  check "$arch: LICENSE.txt and TROUBLESHOOTING.txt, for Notepad, are the repository's licence and troubleshooting" \
    shipped_documents_ok "$dir"
  check "$arch: both programs carry the same version information, company and copyright" versions_match "$arch" "$dir"
  check "$arch: both programs are signed, or neither" \
    test "$(has_signature "$arch" "$dir/ScaleBoot.exe"; echo $?)" = "$(has_signature "$arch" "$dir/scaleboot-cli.exe"; echo $?)"
  check "$arch: ScaleBoot.exe has a manifest for its own architecture" \
    grep -q "<assemblyIdentity [^>]*processorArchitecture=\"${manifest_machine[$arch]}\"" \
    <<<"$(manifest_of "$arch" "$dir/ScaleBoot.exe")"
  check "$arch: scaleboot-cli.exe has its manifest (UTF-8, long paths, Windows 7 to 10)" \
    cli_manifest_ok "$arch" "$dir/scaleboot-cli.exe"
  # comctl32.dll is allowed only because this makes Windows take it from its side-by-side store.
  check "$arch: ScaleBoot.exe's manifest asks for Common Controls 6; scaleboot-cli.exe imports no comctl32.dll" \
    bash -c 'tr -d "\n" <<<"$1" | grep -q "<dependentAssembly> *<assemblyIdentity [^>]*name=\"Microsoft.Windows.Common-Controls\" version=\"6\.0\.0\.0\"" &&
      ! "$2" -p "$3" | grep -qi "DLL Name: comctl32.dll"' _ "$(manifest_of "$arch" "$dir/ScaleBoot.exe")" \
    "${objdump[$arch]}" "$dir/scaleboot-cli.exe"

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
