#!/bin/bash
# Runs a command with a freshly made memory card mounted for it, one that the Linux program lists as a
# removable drive: a real file system on a loop device whose sysfs "removable" flag reads 1.
#
# Usage: tests/linux/removable-card.sh COMMAND [ARG...]
#
# Must run as root. Everything happens in a private mount namespace (unshare -m --propagation private), so the
# card, the flag and any unmount the command makes are seen by the command and its children only. The command
# gets, in its environment:
#   SCALEBOOT_TEST_CARD         the card's mount point, ending in "/": the drive root the program lists
#   SCALEBOOT_TEST_CARD_DEVICE  the card's loop device (/dev/loopN), to mount it again after unmounting it
#   SCALEBOOT_TEST_CARD_TYPE    its file-system type, for mounting it again
# The card starts empty. Optional settings, read from the environment:
#   SCALEBOOT_TEST_CARD_TYPE    vfat or ext2 (default: vfat when the kernel and dosfstools have it, else ext2)
#   SCALEBOOT_TEST_CARD_MB      the card's size in MiB (default 8)
#
# Exits with the command's status, or 77 (skipped; CTest's SKIP_RETURN_CODE) without running it when this
# machine cannot make the card: not root, no unshare, no loop device, no mkfs for the type. However it ends,
# the card is unmounted, the loop device detached and the image removed.
set -u

skip() {
  echo "removable-card: skipped: $*" >&2
  exit 77
}

[ $# -ge 1 ] || { echo "usage: $0 COMMAND [ARG...]" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || skip "not root"

if [ -z "${SCALEBOOT_CARD_NAMESPACE:-}" ]; then
  command -v unshare >/dev/null || skip "no unshare"
  unshare -m true 2>/dev/null || skip "cannot make a private mount namespace"
  SCALEBOOT_CARD_NAMESPACE=1 exec unshare -m --propagation private "$0" "$@"
fi
unset SCALEBOOT_CARD_NAMESPACE

supported() { grep -qw "$1" /proc/filesystems; }
type=${SCALEBOOT_TEST_CARD_TYPE:-}
if [ -z "$type" ]; then
  if supported vfat && command -v mkfs.vfat >/dev/null; then type=vfat; else type=ext2; fi
fi
case "$type" in
  vfat) mkfs=(mkfs.vfat -n SCALEBOOT) ;;
  ext2) mkfs=(mke2fs -q -t ext2 -F -L SCALEBOOT) ;;
  *) echo "removable-card: unknown card type $type" >&2; exit 2 ;;
esac
supported "$type" || skip "the kernel has no $type"
command -v "${mkfs[0]}" >/dev/null || skip "no ${mkfs[0]}"
command -v losetup >/dev/null || skip "no losetup"

work=$(mktemp -d /tmp/scaleboot-card.XXXXXX) || exit 1
card="$work/card"
device=
flag=

cleanup() {
  # The card first, so that removing the work folder can never reach into it.
  if mountpoint -q "$card" 2>/dev/null; then umount "$card" 2>/dev/null || umount -l "$card"; fi
  [ -n "$flag" ] && umount "$flag" 2>/dev/null
  [ -n "$device" ] && losetup -d "$device" 2>/dev/null
  if ! mountpoint -q "$card" 2>/dev/null; then rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

truncate -s "${SCALEBOOT_TEST_CARD_MB:-8}M" "$work/card.img" || exit 1
"${mkfs[@]}" "$work/card.img" >/dev/null || { echo "removable-card: ${mkfs[*]} failed" >&2; exit 1; }
device=$(losetup --find --show "$work/card.img" 2>/dev/null) || { device=; skip "no free loop device"; }

# The flag the program reads to tell a card reader from a fixed disk: the whole disk's "removable" in sysfs.
name=${device#/dev/}
printf '1\n' >"$work/removable"
mount --bind "$work/removable" "/sys/block/$name/removable" || skip "cannot cover /sys/block/$name/removable"
flag="/sys/block/$name/removable"

mkdir "$card"
mount -t "$type" "$device" "$card" || skip "cannot mount $type from $device"
# ext2 makes lost+found: a card fresh from the shop has an empty root.
[ -d "$card/lost+found" ] && rmdir "$card/lost+found"

SCALEBOOT_TEST_CARD="$card/" SCALEBOOT_TEST_CARD_DEVICE="$device" SCALEBOOT_TEST_CARD_TYPE="$type" "$@"
