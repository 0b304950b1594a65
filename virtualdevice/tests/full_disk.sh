#!/bin/sh
# Runs the full-disk test under Wine with its user area on a small file system of its own, which
# the test fills to make the image's writes fail. The image is made sparse here (Wine fills the
# gaps of files it extends) with a volume made by mkfs.fat, once per case. Mounting needs root; elsewhere the test is skipped
# (77).
# Usage: full_disk.sh <wine-run> <test.exe>
set -u
dir=$(mktemp -d /tmp/lxvd-full.XXXXXX) || exit 1
if ! mount -t tmpfs -o size=4m tmpfs "$dir" 2>/dev/null; then
  rmdir "$dir"
  echo "full_disk.sh: cannot mount a small file system here (needs root): skipped"
  exit 77
fi
trap 'umount "$dir"; rmdir "$dir"' EXIT
mkdir "$dir/User Data"
image="$dir/User Data/Pallix.img"
rc=0
for case in 0 1 2; do
  rm -f "$image"
  # 21 MiB of hole, then the trailer: partition a = 20 MiB at 1 MiB, the others unused
  truncate -s $((21 << 20)) "$image"
  printf '\000\000\020\000\000\000\100\001\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377\377' >>"$image"
  # the partition table and a FAT16 volume made by mkfs.fat, which writes only its own sectors
  # (a format here would erase the whole partition and leave no hole)
  printf '\000\376\377\377\004\376\377\377\000\010\000\000\000\240\000\000' |
    dd of="$image" bs=1 seek=446 conv=notrunc status=none
  printf '\125\252' | dd of="$image" bs=1 seek=510 conv=notrunc status=none
  mkfs.fat -F 16 --offset=2048 "$image" 20480 >/dev/null || exit 1
  LX_USER_AREA="Z:$dir" LX_FULL_DISK_CASE=$case "$1" "$2" || rc=1
done
exit $rc
