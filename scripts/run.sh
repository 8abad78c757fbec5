#!/usr/bin/env bash
# Builds the Linux program (installing what it needs when missing) and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
ensure_packages "${LINUX_BUILD_PACKAGES[@]}"

cmake --preset linux -DSCALEBOOT_BUILD_TESTS=OFF
cmake --build --preset linux

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "The program is built (build/linux/main/qt/scaleboot), but there is no display to show its window on:" >&2
  echo "run this from a desktop session, or start a virtual one with 'Xvfb :1 & DISPLAY=:1 $0'." >&2
  exit 2
fi
exec build/linux/main/qt/scaleboot
