#!/bin/sh
# Runs a Windows program under Wine, with the loader of its architecture: wine-run.sh PROGRAM.exe [ARGUMENTS...]
# Uses $WINEPREFIX when set, otherwise the private prefix "wineprefix" in the build folder holding the program
# (the nearest folder above it with a CMakeCache.txt). The prefix is created on first use; concurrent first
# uses wait for one another. A 32-bit program on a machine that runs no 32-bit programs is not started: the
# script says so and exits 77, which the cross builds' tests report as skipped.
set -eu
. "$(dirname "$0")/wine.sh"
export WINEDEBUG="${WINEDEBUG:--all}"
if ! wine_can_start "$1"; then
  wine_start "$@"
  exit $?
fi
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
wine_prefix_ensure || { echo "wine-run.sh: the Wine prefix $WINEPREFIX could not be created" >&2; exit 1; }
WINELOADER=$(wine_loader_for "$1")
export WINELOADER
exec "$WINELOADER" "$@"
