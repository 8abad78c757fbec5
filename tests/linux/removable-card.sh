#!/bin/bash
# Runs a command with freshly made memory cards mounted for it, ones that the Linux program lists as removable
# drives: each a real file system on a loop device whose sysfs "removable" flag reads 1.
#
# Usage: tests/linux/removable-card.sh COMMAND [ARG...]
#
# Must run as root. Everything happens in a private mount namespace (unshare -m --propagation private), so the
# cards, the flags and any unmount the command makes are seen by the command and its children only. The command
# gets, in its environment:
#   SCALEBOOT_TEST_CARD         the card's mount point, ending in "/": the drive root the program lists
#   SCALEBOOT_TEST_CARD_DEVICE  the card's loop device (/dev/loopN), to mount it again after unmounting it
#   SCALEBOOT_TEST_CARD_TYPE    its file-system type, for mounting it again
#   SCALEBOOT_TEST_CARD2, SCALEBOOT_TEST_CARD2_DEVICE, ...  the same for the second card and on, when asked for
# The cards start empty. Optional settings, read from the environment:
#   SCALEBOOT_TEST_CARDS        how many cards (default 1)
#   SCALEBOOT_TEST_CARD_TYPE    vfat or ext2 (default: vfat when the kernel and dosfstools have it, else ext2)
#   SCALEBOOT_TEST_CARD_MB      each card's size in MiB (default 8)
#
# Exits with the command's status, or 77 (skipped; CTest's SKIP_RETURN_CODE) without running it when this
# machine cannot make the cards: not root, no unshare, no loop device, no mkfs for the type. However it ends,
# the cards are unmounted, the loop devices detached and the images removed.
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

count=${SCALEBOOT_TEST_CARDS:-1}
[[ $count =~ ^[1-9][0-9]*$ ]] || { echo "removable-card: SCALEBOOT_TEST_CARDS must be a count, not $count" >&2; exit 2; }

work=$(mktemp -d /tmp/scaleboot-card.XXXXXX) || exit 1
cards=() devices=() flags=()

cleanup() {
  local card device flag mounted=0
  # The cards first, so that removing the work folder can never reach into one.
  for card in "${cards[@]}"; do
    if mountpoint -q "$card" 2>/dev/null; then umount "$card" 2>/dev/null || umount -l "$card"; fi
    mountpoint -q "$card" 2>/dev/null && mounted=1
  done
  for flag in "${flags[@]}"; do umount "$flag" 2>/dev/null; done
  for device in "${devices[@]}"; do losetup -d "$device" 2>/dev/null; done
  [ "$mounted" -eq 0 ] && rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# make_card N: card number N (1, 2, ...) in $work/cardN, mounted, its device and folder added to the lists.
make_card() {
  local n=$1 image="$work/card$1.img" card="$work/card$1" device name
  truncate -s "${SCALEBOOT_TEST_CARD_MB:-8}M" "$image" || exit 1
  "${mkfs[@]}" "$image" >/dev/null || { echo "removable-card: ${mkfs[*]} failed" >&2; exit 1; }
  device=$(losetup --find --show "$image" 2>/dev/null) || skip "no free loop device"
  devices+=("$device")

  # The flag the program reads to tell a card reader from a fixed disk: the whole disk's "removable" in sysfs.
  name=${device#/dev/}
  printf '1\n' >"$work/removable$n"
  mount --bind "$work/removable$n" "/sys/block/$name/removable" || skip "cannot cover /sys/block/$name/removable"
  flags+=("/sys/block/$name/removable")

  mkdir "$card"
  cards+=("$card")
  mount -t "$type" "$device" "$card" || skip "cannot mount $type from $device"
  # ext2 makes lost+found: a card fresh from the shop has an empty root.
  [ -d "$card/lost+found" ] && rmdir "$card/lost+found"

  local suffix=$([ "$n" -eq 1 ] || echo "$n")
  export "SCALEBOOT_TEST_CARD$suffix=$card/" "SCALEBOOT_TEST_CARD${suffix}_DEVICE=$device"
}

for n in $(seq "$count"); do make_card "$n"; done
export SCALEBOOT_TEST_CARD_TYPE="$type"
"$@"
