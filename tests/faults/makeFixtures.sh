#!/bin/sh
# Unix-side fixtures of the fault tests, which Wine shows as Windows objects:
#   $root/linktemp/<folder>  a symbolic link (a reparse point to Wine) to $root/canary: the
#                            extraction folder planted as a link to someone else's files
#   $root/small              a 2 MiB file system: a temporary folder whose disk fills during
#                            extraction (its drive root, Z:, reports plenty of room)
#   $root/readonly           a file system mounted read-only: a temporary folder nobody can
#                            write to, root included
# Mounting needs the right to mount; without it the folder holds "unavailable" and the tests
# that need it are skipped.
#   makeFixtures.sh up ROOT | down ROOT
set -eu
verb=$1
root=$2
folder='{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}~setup'

unmount() {
  for dir in "$root/small" "$root/readonly"; do
    if mountpoint -q "$dir" 2>/dev/null; then umount "$dir"; fi
  done
}

case "$verb" in
  up)
    unmount
    rm -rf "$root"
    mkdir -p "$root/linktemp" "$root/canary/sub" "$root/small" "$root/readonly"
    echo canary >"$root/canary/keep.txt"
    echo nested >"$root/canary/sub/nested.txt"
    ln -s "$root/canary" "$root/linktemp/$folder"
    mount -t tmpfs -o size=2m,mode=0777 tmpfs "$root/small" 2>/dev/null || echo "no right to mount" >"$root/small/unavailable"
    mount -t tmpfs -o size=1m,ro tmpfs "$root/readonly" 2>/dev/null || echo "no right to mount" >"$root/readonly/unavailable"
    ;;
  down)
    unmount
    ;;
  *) echo "makeFixtures.sh: up or down" >&2; exit 2 ;;
esac
