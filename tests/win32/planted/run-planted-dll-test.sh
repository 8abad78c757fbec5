#!/usr/bin/env bash
# A version.dll beside ScaleBoot.exe and scaleboot-cli.exe, run as Windows loads DLLs (native first:
# WINEDLLOVERRIDES=version=n,b; Wine otherwise takes its own built-in one whatever lies beside a program).
# Wine's loader reports each DLL it loads (WINEDEBUG=+loaddll), which tells the planted one, loaded "native"
# from the program's folder. The planted DLL's functions read no version information. The command-line program
# may not load it, and the window's title must still carry the program's version, read through the system's
# version.dll.
# Under Wine the window loads the planted DLL all the same: Wine's own user32.dll imports version.dll (Windows'
# does not, and takes its imports from the system folder as a KnownDLL), and what a system DLL imports before
# the program's entry runs is beyond the program's reach. So what the program does is told apart from what
# Wine's user32.dll does: the programs' own import tables may list no version.dll; where the user32.dll of the
# program's own bitness (system32 for a 64-bit program, syswow64 for a 32-bit one) imports version.dll, the
# planted one is seen loaded, and since it is then loaded by that name, the window's own calls would reach
# the planted functions if it loaded version.dll by name or searched its own folder, and its title would show
# 65535.65535; where that user32.dll imports no version.dll, the window may not load the planted one at all.
#   run-planted-dll-test.sh SCALEBOOT_EXE CLI_EXE PLANTED_DLL DRIVER_EXE SOURCE_DIR WORK_DIR
set -u
gui=$1 cli=$2 plant=$3 driver=$4 source_dir=$5 work=$6

. "$source_dir/tests/lib.sh"
. "$source_dir/tests/win32/wine.sh"
wine_can_start "$gui" || { wine_start "$gui"; exit; }

export WINEDEBUG=-all WINEPREFIX="$work/wineprefix"
wine_prefix_ensure || { echo "FAIL - the Wine prefix $WINEPREFIX could not be created"; exit 1; }
export WINEDEBUG=-all,+loaddll
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d;winebrowser.exe=d;version=n,b"
cleanup() {
  wineserver -k >/dev/null 2>&1
  stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM

app="$work/Downloads"
rm -rf "$app"
mkdir -p "$app"
cp "$gui" "$app/ScaleBoot.exe"
cp "$cli" "$app/scaleboot-cli.exe"
cp "$plant" "$app/version.dll"
version=$(project_version "$source_dir")
# The program's bitness picks the system folder its user32.dll comes from, and the objdump that reads it.
case $(wine_machine "$gui") in
  x86) system_folder=syswow64 objdump=i686-w64-mingw32-objdump ;;
  *) system_folder=system32 objdump=x86_64-w64-mingw32-objdump ;;
esac
imports_version() { "$objdump" -p "$1" | grep -qi 'DLL Name: version\.dll'; }
no_version_import() { ! imports_version "$1"; }
check "ScaleBoot.exe does not import version.dll" no_version_import "$app/ScaleBoot.exe"
check "scaleboot-cli.exe does not import version.dll" no_version_import "$app/scaleboot-cli.exe"

loads_plant() {  # loads_plant LOG: Wine's loader took the planted version.dll in
  grep -qi 'trace:loaddll:.* Loaded L".*\\\\Downloads\\\\version\.dll".*: native' "$1"
}
no_plant() { ! loads_plant "$1"; }
windows_path() { wine_tool winepath -w "$1" 2>/dev/null; }
run_in() {  # run_in FOLDER PROGRAM ARGS...: the program started from FOLDER, its current folder
  (cd "$1" && shift && wine_start "$@")
}

run_in "$app" "$app/scaleboot-cli.exe" --version >"$work/cli.log" 2>&1
check "scaleboot-cli.exe --version runs beside it and prints $version" grep -qF "$version" "$work/cli.log"
check "scaleboot-cli.exe does not load the planted version.dll" no_plant "$work/cli.log"
# Its station loads user32.dll (for the window that hears of a logoff) from the system folder, once the DLL
# search is restricted: what that user32.dll imports is not taken from the program's folder either.
run_in "$app" "$app/scaleboot-cli.exe" station --no-eject >"$work/station.log" 2>&1 &
for _ in $(seq 300); do grep -qi 'Loaded L".*user32\.dll"' "$work/station.log" && break; sleep 0.1; done
wineserver -k >/dev/null 2>&1
wait
check "scaleboot-cli.exe station loads user32.dll from the system folder" \
  grep -qi 'Loaded L".*system32\\\\user32\.dll"' "$work/station.log"
check "scaleboot-cli.exe station does not load the planted version.dll" no_plant "$work/station.log"

# The window reads its own version through version.dll while it starts.
start_xvfb || { fail "no X display could be started"; finish; }
gui_log="$work/gui.log"
: >"$gui_log"
stage() {  # stage ARGS...: one stage of the window test driver, its checks counted, Wine's traces kept apart
  local log="$work/stage.log" result
  wine_start "$driver" "$@" >"$log" 2>&1 </dev/null
  grep 'trace:loaddll' "$log" >>"$gui_log"
  grep -v '^RESULT \|trace:loaddll' "$log" | sed 's/^/    /'
  result=$(sed -n 's/^RESULT passed=\([0-9]*\) failed=\([0-9]*\).*/\1 \2/p' "$log" | tail -n1)
  [ -n "$result" ] || { fail "driver stage '$1' ended without a result"; return 1; }
  passed=$((passed + ${result% *}))
  failed=$((failed + ${result#* }))
  [ "${result#* }" -eq 0 ]
}
if stage start "$(windows_path "$app")\\ScaleBoot.exe"; then
  stage title "$(cut -d. -f1,2 <<<"$version")"
  stage close
fi
wineserver -w
wine_user32="$WINEPREFIX/drive_c/windows/$system_folder/user32.dll"
if [ ! -f "$wine_user32" ]; then
  fail "Wine's $system_folder/user32.dll is missing: what the window loads cannot be told from what it imports"
elif imports_version "$wine_user32"; then
  check "the planted version.dll is seen loaded in the window's process, through Wine's own $system_folder/user32.dll" \
    loads_plant "$gui_log"
else
  check "ScaleBoot.exe does not load the planted version.dll" no_plant "$gui_log"
fi
finish
