#!/bin/bash
# Checks, from their files alone, the DLLs the Windows tests place beside a test program, so that a build whose
# tests this machine cannot run (a 32-bit build where no 32-bit program starts) is still checked for what
# would keep them from meaning anything there:
#   - each DLL imports no runtime DLL of the compiler's (libgcc_s_*.dll, libstdc++-6.dll, libwinpthread-1.dll):
#     none lies in a folder Windows searches, so such a DLL does not load at all;
#   - each DLL given after --plain exports only plain names: a 32-bit __stdcall function exported as
#     GetFileVersionInfoSizeW@8 is never found by a caller that asks for GetFileVersionInfoSizeW.
#   check-test-dlls.sh OBJDUMP DLL... [--plain DLL...]
set -u
objdump=$1
shift
. "$(dirname "$0")/../lib.sh"

plain=
for dll in "$@"; do
  [ "$dll" = --plain ] && { plain=1; continue; }
  name=$(basename "$dll")
  imports=$("$objdump" -p "$dll" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
  check "$name imports no DLL of the compiler's runtime ($(echo $imports))" \
    bash -c '! grep -qE "^(libgcc|libstdc\+\+|libwinpthread)" <<<"$1"' _ "$imports"
  if [ -n "$plain" ]; then
    exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p')
    check "$name exports its functions by plain names ($(echo $exports))" \
      bash -c '[ -n "$1" ] && ! grep -q "@" <<<"$1"' _ "$exports"
  fi
done
finish
