# Sourced by the Wine scripts (POSIX sh).
# wine_prefix_stale PREFIX: true when PREFIX exists but was created before Wine's 32-bit part was installed.
# Such a prefix has no 32-bit system DLLs and cannot start 32-bit programs ("could not load kernel32.dll"),
# while a prefix created with wine32 present runs 64- and 32-bit programs alike.
wine_prefix_stale() {
  [ -f "$1/system.reg" ] || return 1
  for dir in /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows /usr/lib32/wine/i386-windows; do
    if [ -f "$dir/kernel32.dll" ]; then
      [ ! -f "$1/drive_c/windows/syswow64/kernel32.dll" ]
      return
    fi
  done
  return 1
}

# wine_prefix_refresh PREFIX: removes PREFIX when it is stale, so that its next use creates it afresh.
wine_prefix_refresh() {
  if wine_prefix_stale "$1"; then
    echo "Removing the Wine prefix $1: it was created before Wine's 32-bit part was installed" >&2
    WINEPREFIX="$1" wineserver -k >/dev/null 2>&1 || true
    rm -rf "$1"
  fi
}
