#!/bin/sh
# Runs a Windows program under Wine: wine-run.sh PROGRAM.exe [ARGUMENTS...]
# Uses $WINEPREFIX when set, otherwise the private prefix "wineprefix" in the build folder holding the program
# (the nearest folder above it with a CMakeCache.txt). The prefix is created on first use; concurrent first
# uses wait for one another. A prefix made before Wine's 32-bit part was installed is made again.
set -eu
. "$(dirname "$0")/wine-prefix.sh"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$1")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    echo "wine-run.sh: no build folder above $1; set WINEPREFIX" >&2
    exit 2
  fi
  WINEPREFIX="$dir/wineprefix"
  export WINEPREFIX
fi
if [ ! -f "$WINEPREFIX/system.reg" ] || wine_prefix_stale "$WINEPREFIX"; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    wine_prefix_refresh "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine-run.sh: creating the Wine prefix $WINEPREFIX" >&2
      wineboot -i >/dev/null 2>&1
      wineserver -w
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
