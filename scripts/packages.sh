# Sourced by the other scripts: installs the Debian packages they need when any is missing.
# Usage: ensure_packages PACKAGE...

ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      echo "error: these packages are missing and this user cannot install them: ${missing[*]}" >&2
      return 1
    fi
  fi
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# What the Linux program needs to build and run.
LINUX_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libmount-dev fonts-dejavu-core fonts-liberation)
# What the tests need on top: GoogleTest (also its sources, compiled for Windows), the MinGW-w64 cross
# compiler, Wine and a virtual display for the Windows program, poppler for the document checks, and the
# file-system tools that make the Linux tests' removable card (tests/linux/removable-card.sh).
TEST_PACKAGES=(libgtest-dev libgmock-dev googletest g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth
  x11-utils poppler-utils dosfstools e2fsprogs util-linux)
