#!/bin/sh
# A nearly full drive for the fault tests: a 1 MiB tmpfs mounted in the build
# and mapped as drive T: of the test prefix. Where mounting is not allowed the
# drive is simply absent and the tests that need it skip.
#   small-drive.sh start|stop PREFIX MOUNTPOINT
set -u
[ $# -eq 3 ] || { echo "usage: small-drive.sh start|stop PREFIX MOUNTPOINT" >&2; exit 2; }
action=$1 prefix=$2 mountpoint=$3
link="$prefix/dosdevices/t:"

case "$action" in
start)
  mkdir -p "$mountpoint"
  mountpoint -q "$mountpoint" || mount -t tmpfs -o size=1m tmpfs "$mountpoint" 2>/dev/null ||
    { echo "small drive: mounting a tmpfs is not allowed here; the disk-full test will skip"; rm -f "$link"; exit 0; }
  mkdir -p "$mountpoint/out"
  : >"$mountpoint/mounted"
  ln -sfn "$mountpoint" "$link"
  echo "small drive: $mountpoint (1 MiB) is T: of $prefix"
  ;;
stop)
  rm -f "$link"
  mountpoint -q "$mountpoint" && umount "$mountpoint"
  rmdir "$mountpoint" 2>/dev/null
  exit 0
  ;;
*) echo "usage: small-drive.sh start|stop PREFIX MOUNTPOINT" >&2; exit 2 ;;
esac
