# Sourced by the bash scripts that run Windows programs under Wine with host folders as removable drives.
#
# use_build_prefix EXE: exports WINEDEBUG (quiet unless set) and WINEPREFIX, when not set, as the private
#   prefix "wineprefix" of the build folder holding EXE (the nearest folder above it with a CMakeCache.txt).
# map_removable_drive LETTER FOLDER: makes FOLDER drive LETTER: (e, f, ...) of the prefix, of type removable, for
#   the rest of the script; when the script exits, each earlier mapping is put back and FOLDER removed.

. "$(dirname "${BASH_SOURCE[0]}")/wine.sh"

use_build_prefix() {
  export WINEDEBUG="${WINEDEBUG:--all}"
  [ -n "${WINEPREFIX:-}" ] && return 0
  local dir
  dir=$(cd "$(dirname "$1")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  export WINEPREFIX="$dir/wineprefix"
}

# What to put back on exit, one entry per mapped letter: "letter|folder|old link|had key".
mapped_drives=()

map_removable_drive() {
  local letter=${1,,} folder=$2 link old had=0
  link="$WINEPREFIX/dosdevices/$letter:"
  old=$(readlink "$link" 2>/dev/null || true)
  # /reg:64: the drive manager reads the 64-bit view of the registry.
  wine_tool reg query 'HKLM\Software\Wine\Drives' /v "$letter:" /reg:64 >/dev/null 2>&1 && had=1
  mapped_drives+=("$letter|$folder|$old|$had")
  trap restore_removable_drives EXIT
  ln -sfn "$folder" "$link"
  wine_tool reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d floppy /f /reg:64 >/dev/null
  wineserver -w
}

restore_removable_drives() {
  local entry letter folder old had
  for entry in "${mapped_drives[@]}"; do
    IFS='|' read -r letter folder old had <<<"$entry"
    if [ -n "$old" ]; then ln -sfn "$old" "$WINEPREFIX/dosdevices/$letter:"; else rm -f "$WINEPREFIX/dosdevices/$letter:"; fi
    [ "$had" = 1 ] || wine_tool reg delete 'HKLM\Software\Wine\Drives' /v "$letter:" /f /reg:64 >/dev/null 2>&1
    rm -rf "$folder"
  done
  mapped_drives=()
  wineserver -w
}
