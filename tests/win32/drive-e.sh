# Sourced by the bash scripts that run Windows programs under Wine with a host folder as a removable drive.
#
# use_build_prefix EXE: exports WINEDEBUG (quiet unless set) and WINEPREFIX, when not set, as the private
#   prefix "wineprefix" of the build folder holding EXE (the nearest folder above it with a CMakeCache.txt).
# map_removable_drive_e FOLDER: makes FOLDER drive E: of the prefix, of type removable, for the rest of the
#   script; the earlier mapping is put back and FOLDER removed when the script exits.

use_build_prefix() {
  export WINEDEBUG="${WINEDEBUG:--all}"
  [ -n "${WINEPREFIX:-}" ] && return 0
  local dir
  dir=$(cd "$(dirname "$1")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  export WINEPREFIX="$dir/wineprefix"
}

map_removable_drive_e() {
  drive_e_folder=$1
  drive_e_link="$WINEPREFIX/dosdevices/e:"
  drive_e_old_link=$(readlink "$drive_e_link" 2>/dev/null || true)
  drive_e_had_key=0
  # /reg:64: the drive manager reads the 64-bit view, which a 32-bit reg.exe would otherwise miss.
  wine reg query 'HKLM\Software\Wine\Drives' /v e: /reg:64 >/dev/null 2>&1 && drive_e_had_key=1
  trap restore_drive_e EXIT
  ln -sfn "$drive_e_folder" "$drive_e_link"
  wine reg add 'HKLM\Software\Wine\Drives' /v e: /d floppy /f /reg:64 >/dev/null
  wineserver -w
}

restore_drive_e() {
  if [ -n "$drive_e_old_link" ]; then ln -sfn "$drive_e_old_link" "$drive_e_link"; else rm -f "$drive_e_link"; fi
  [ "$drive_e_had_key" = 1 ] || wine reg delete 'HKLM\Software\Wine\Drives' /v e: /f /reg:64 >/dev/null 2>&1
  wineserver -w
  rm -rf "$drive_e_folder"
}
