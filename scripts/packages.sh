# Sourced by the other scripts: installs the Debian packages they need when any is missing.
# Usage: ensure_packages PACKAGE...   (PACKAGE:i386 adds the i386 architecture when needed)

# The package manager's locks; another installation (a desktop's background updates, say) may hold them.
APT_LOCK_FILES=(/var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock /var/cache/apt/archives/lock)
# How long to wait for them at most, and how often to look, in seconds.
APT_LOCK_WAIT=${APT_LOCK_WAIT:-300}
APT_LOCK_POLL=${APT_LOCK_POLL:-5}

# True while a process holds one of the locks. apt and dpkg take POSIX record locks, which /proc/locks lists by
# device and inode (readable without root).
apt_lock_held() {
  local file dev ino
  for file in "${APT_LOCK_FILES[@]}"; do
    [ -e "$file" ] || continue
    read -r dev ino < <(stat -c '%D %i' "$file") || continue
    dev=$((16#$dev))
    dev=$(printf '%02x:%02x' $(((dev >> 8) & 0xfff)) $(((dev & 0xff) | ((dev >> 12) & 0xfff00))))
    grep -q " $dev:$ino " /proc/locks 2>/dev/null && return 0
  done
  return 1
}

# Waits until no process holds the locks, saying so, for APT_LOCK_WAIT seconds at most; then apt itself
# reports whatever still holds them.
wait_for_apt_lock() {
  apt_lock_held || return 0
  echo "Waiting for another package installation to finish: the package manager is locked (waiting $APT_LOCK_WAIT s at most)..."
  local waited=0 reported=0
  while apt_lock_held; do
    if [ "$waited" -ge "$APT_LOCK_WAIT" ]; then
      echo "The package manager is still locked after $waited s; trying anyway." >&2
      return 0
    fi
    sleep "$APT_LOCK_POLL"
    waited=$((waited + APT_LOCK_POLL))
    if [ $((waited - reported)) -ge 30 ]; then
      echo "Still waiting for the package manager ($waited s)..."
      reported=$waited
    fi
  done
  echo "The package manager is free again."
}

. "$(dirname "${BASH_SOURCE[0]}")/../tests/win32/wine.sh"

ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" && continue
    # i386 packages are only of use where the kernel runs i386 programs.
    if [[ $pkg == *:i386 ]] && ! kernel_runs_i386; then
      echo "Not installing $pkg: this machine runs no 32-bit programs."
      continue
    fi
    missing+=("$pkg")
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
  # The i386 packages (Wine's 32-bit part) go in a call of their own: when the archive cannot give them (an
  # i386 index that failed to download leaves their versions behind the installed amd64 libraries), only the
  # 32-bit suites are lost, and those are skipped with their reason where Wine's 32-bit part is missing.
  local native=() foreign=()
  for pkg in "${missing[@]}"; do
    if [[ $pkg == *:i386 ]]; then foreign+=("$pkg"); else native+=("$pkg"); fi
  done
  if [ ${#foreign[@]} -ne 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture (for Wine's 32-bit part)"
    "${sudo[@]}" dpkg --add-architecture i386
  fi
  # The arm64 libraries of the cross build install beside the amd64 ones (multiarch).
  if [[ " ${native[*]} " == *:arm64\ * ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
    echo "Adding the arm64 architecture (for the arm64 cross build's libraries)"
    "${sudo[@]}" dpkg --add-architecture arm64
  fi
  # apt waits for the dpkg lock itself as well, in case it is taken again between the check and the call.
  local apt=(apt-get -o DPkg::Lock::Timeout=120)
  wait_for_apt_lock
  # An index that fails to download is reported by apt and left at its old version; what can be installed
  # from the others still is.
  "${sudo[@]}" "${apt[@]}" update -q || echo "warning: the package lists could not all be updated" >&2
  if [ ${#native[@]} -ne 0 ]; then
    wait_for_apt_lock
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" "${apt[@]}" install -y -q --no-install-recommends "${native[@]}"
  fi
  if [ ${#foreign[@]} -ne 0 ]; then
    wait_for_apt_lock
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" "${apt[@]}" install -y -q --no-install-recommends "${foreign[@]}" ||
      echo "warning: could not install ${foreign[*]}; the suites that need them are skipped" >&2
  fi
}

# What the Linux program needs to build and run.
LINUX_BUILD_PACKAGES=(cmake ninja-build ccache g++ pkg-config qt6-base-dev libmount-dev nlohmann-json3-dev fonts-dejavu-core
  fonts-liberation)
# sd-bus, through which the Linux programs ask udisks2 to eject a card.
LINUX_BUILD_PACKAGES+=(libsystemd-dev)
# libblkid, through which the station tells whether a card nobody mounted carries a file system.
LINUX_BUILD_PACKAGES+=(libblkid-dev)
# The arm64 cross build: Debian's cross compiler, the :arm64 development packages of the libraries above (Qt's
# moc, rcc and uic stay the amd64 ones) and qemu-user, under which its programs and tests run. GoogleTest is
# compiled from its sources (googletest, below), as for Windows.
ARM64_BUILD_PACKAGES=(crossbuild-essential-arm64 qemu-user qt6-base-dev:arm64 libmount-dev:arm64 libsystemd-dev:arm64
  libblkid-dev:arm64)
# What the tests need on top: GoogleTest (also its sources, compiled for Windows), the MinGW-w64 cross
# compilers for 64- and 32-bit Windows, Wine with its 32-bit part (where the machine runs 32-bit programs) and a
# virtual display for the Windows program, poppler and reportlab for the document checks (reportlab makes each
# PDF again from its source to compare it with the committed one), the file-system tools that make the Linux
# tests' removable card (tests/linux/removable-card.sh), and Python, whose JSON parser reads the command-line
# program's --json output.
LINUX_TEST_PACKAGES=(libgtest-dev libgmock-dev googletest poppler-utils python3-reportlab dosfstools e2fsprogs util-linux python3)
# The udisks2 stand-in of the eject tests: a private system bus and python3-dbusmock objects on it.
LINUX_TEST_PACKAGES+=(dbus-daemon python3-dbusmock)
# The card whose store changes a sector (tests/linux/flipping-store.c): a FUSE file system under a loop device.
LINUX_TEST_PACKAGES+=(libfuse3-dev fuse3 pkgconf)
WINDOWS_TEST_PACKAGES=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386 xvfb xauth x11-utils
  xdotool)
TEST_PACKAGES=("${LINUX_TEST_PACKAGES[@]}" "${WINDOWS_TEST_PACKAGES[@]}")
# What the release packages need: the icon drawing and the zips (Python), the Debian package tools, and their
# checks.
PACKAGE_PACKAGES=(python3 dpkg-dev file lintian desktop-file-utils appstream unzip man-db)
# A signed release (scripts/signing.sh): osslsigncode, and OpenSSL's PKCS#11 engine for a key on a token, which
# osslsigncode loads but its package does not pull in. Its test adds a software token (SoftHSM2) and strace,
# which records every program started with its arguments and environment.
SIGNING_PACKAGES=(osslsigncode libengine-pkcs11-openssl)
# Signed checksums: gpg signs SHA256SUMS, gpgv checks the signature as a Debian user will.
SUMS_SIGNING_PACKAGES=(gnupg gpgv)
SIGNING_TEST_PACKAGES=("${SIGNING_PACKAGES[@]}" "${SUMS_SIGNING_PACKAGES[@]}" softhsm2 strace)
# hardening-check, which the Debian package check runs on both programs (devscripts, without its recommends).
PACKAGE_PACKAGES+=(devscripts)
