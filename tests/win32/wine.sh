# Sourced by every script that starts a Windows program or a Wine tool (POSIX sh): the one way to do either.
#
# Debian's `wine` launcher, and `wineboot`, `reg`, `winepath` and the other commands it installs, pick Wine's
# 32-bit loader whenever Wine's 32-bit part is installed, even on a machine whose kernel runs no 32-bit
# programs at all; there not even a 64-bit program would start. So a program is started here by the loader of
# its own architecture (read from its PE header), and Wine's tools by the 64-bit loader, with WINELOADER set to
# match so that what they start in turn takes the same way.
#
#   wine_start PROGRAM.exe [ARGUMENTS...]  runs a Windows program; a 32-bit one on a machine that runs no 32-bit
#                                          programs is not started: it says why and returns 77 (CTest's skip)
#   wine_tool TOOL [ARGUMENTS...]          runs one of Wine's own tools (wineboot, reg, winepath, ...)
#   wine_runs_32bit                        true when this machine runs 32-bit programs (probed once per run)
#   wine_can_start PROGRAM.exe             true when wine_start would start it
#   wine_prefix_ensure                     creates $WINEPREFIX when missing (or made unusable), waiting for a
#                                          concurrent creation of the same prefix; a copy of the prefix
#                                          $SCALEBOOT_WINE_TEMPLATE (made first when missing) where that is set

WINE64_LOADER=${WINE64_LOADER:-/usr/lib/wine/wine64}
WINE32_LOADER=${WINE32_LOADER:-/usr/lib/wine/wine}
# The exit status of a test that did not run; the cross builds give it to CTest as the skip code.
WINE_SKIP_STATUS=77

# wine_machine FILE: prints x64 or x86, the architecture of the Windows program FILE.
wine_machine() {
  local pe machine
  # The PE header's offset is at 0x3c; the machine field follows its 4-byte signature.
  pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$pe" ] && [ "$(od -An -c -j"$pe" -N2 "$1" 2>/dev/null | tr -d ' ')" = PE ] || return 1
  machine=$(od -An -tx1 -j$((pe + 4)) -N2 "$1" | tr -d ' ')
  case $machine in
    6486) echo x64 ;;
    4c01) echo x86 ;;
    *) return 1 ;;
  esac
}

# kernel_runs_i386: true when the kernel starts i386 programs at all. Some machines of ours do not ("Exec format
# error"); Wine's 32-bit part is of no use there. The probe is the smallest static i386 program: exit(0)
# through int 0x80 (ELF header, one program header, 9 bytes of code).
kernel_runs_i386() {
  local probe status
  probe=$(mktemp) || return 1
  # printf's format: octal escapes only, no "%".
  printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0''\0\0\0\0\0\0\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\135\0\0\0\135\0\0\0\5\0\0\0\0\20\0\0''\270\1\0\0\0\61\333\315\200' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  [ "$status" -eq 0 ]
}

# wine_runs_32bit: probes whether the kernel runs Wine's 32-bit loader at all, once per run; the answer is
# exported in SCALEBOOT_WINE32 (yes or no) for every script and test started afterwards. SCALEBOOT_NO_32BIT=1
# answers no without probing, so the path of a machine without 32-bit programs can be taken anywhere.
wine_runs_32bit() {
  if [ "${SCALEBOOT_NO_32BIT:-0}" != 0 ]; then
    SCALEBOOT_WINE32=no
  elif [ -z "${SCALEBOOT_WINE32:-}" ]; then
    if [ -x "$WINE32_LOADER" ] && "$WINE32_LOADER" --version >/dev/null 2>&1; then
      SCALEBOOT_WINE32=yes
    else
      SCALEBOOT_WINE32=no
    fi
  fi
  export SCALEBOOT_WINE32
  [ "$SCALEBOOT_WINE32" = yes ]
}

# wine_no_32bit_reason: why 32-bit programs are not run here, in one line.
wine_no_32bit_reason() {
  if [ "${SCALEBOOT_NO_32BIT:-0}" != 0 ]; then
    echo "this machine runs no 32-bit programs (as SCALEBOOT_NO_32BIT=1 asks)"
  elif [ ! -x "$WINE32_LOADER" ] && kernel_runs_i386; then
    echo "Wine's 32-bit part (wine32:i386) is not installed"
  else
    echo "this machine runs no 32-bit programs"
  fi
}

# wine_loader_for PROGRAM.exe: prints the loader that starts it; fails when it is no Windows program or a
# 32-bit one on a machine that runs none.
wine_loader_for() {
  case $(wine_machine "$1") in
    x64) echo "$WINE64_LOADER" ;;
    x86) wine_runs_32bit && echo "$WINE32_LOADER" ;;
    *) return 1 ;;
  esac
}

wine_can_start() {
  wine_loader_for "$1" >/dev/null
}

wine_start() {
  local loader
  if ! loader=$(wine_loader_for "$1"); then
    if [ "$(wine_machine "$1")" = x86 ]; then
      echo "skipped: $(basename "$1") is a 32-bit program and $(wine_no_32bit_reason)"
      return "$WINE_SKIP_STATUS"
    fi
    echo "wine_start: $1 is not a Windows program" >&2
    return 126
  fi
  WINELOADER=$loader "$loader" "$@"
}

wine_tool() {
  WINELOADER=$WINE64_LOADER "$WINE64_LOADER" "$@"
}

# wine_prefix_stale PREFIX: true when PREFIX cannot start 32-bit programs although this machine runs them: it
# was created before Wine's 32-bit part was installed, so it has no 32-bit system DLLs ("could not load
# kernel32.dll"). A prefix created with that part present runs 64- and 32-bit programs alike.
wine_prefix_stale() {
  [ -f "$1/system.reg" ] || return 1
  wine_runs_32bit || return 1
  [ ! -f "$1/drive_c/windows/syswow64/kernel32.dll" ]
}

# wine_prefix_refresh PREFIX: removes PREFIX when it is stale, so that its next use creates it afresh.
wine_prefix_refresh() {
  if wine_prefix_stale "$1"; then
    echo "Removing the Wine prefix $1: it was created before Wine's 32-bit part was installed" >&2
    WINEPREFIX="$1" wineserver -k >/dev/null 2>&1 || true
    rm -rf "$1"
  fi
}

wine_prefix_ensure() {
  : "${WINEPREFIX:?wine_prefix_ensure needs WINEPREFIX}"
  [ -f "$WINEPREFIX/system.reg" ] && ! wine_prefix_stale "$WINEPREFIX" && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    wine_prefix_refresh "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ] && [ -n "${SCALEBOOT_WINE_TEMPLATE:-}" ] &&
      [ "$SCALEBOOT_WINE_TEMPLATE" != "$WINEPREFIX" ] &&
      (WINEPREFIX=$SCALEBOOT_WINE_TEMPLATE && wine_prefix_ensure); then
      # A copy of the run's one fresh prefix: the same as a new one, in a fraction of the time. Its programs
      # and libraries (700 MB, never written) are hard-linked; every other file (the registry, win.ini, ...) is
      # a copy of its own, since a program may change it.
      mkdir -p "$WINEPREFIX" && cp -al "$SCALEBOOT_WINE_TEMPLATE/." "$WINEPREFIX/" &&
        find "$WINEPREFIX" -type f ! -name '*.dll' ! -name '*.exe' ! -name '*.drv' ! -name '*.sys' \
          ! -name '*.nls' -exec sh -c 'p=$1; shift; for f; do cp --remove-destination "$0/${f#"$p"/}" "$f"; done' \
          "$SCALEBOOT_WINE_TEMPLATE" "$WINEPREFIX" {} +
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "Creating the Wine prefix $WINEPREFIX" >&2
      # No Mono or Gecko installers: the tests need neither, and this machine reaches no download site.
      WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=d;mshtml=d}" wine_tool wineboot -i >/dev/null 2>&1
      wineserver -w
    fi
  ) 9>"$WINEPREFIX.lock"
  [ -f "$WINEPREFIX/system.reg" ]
}
