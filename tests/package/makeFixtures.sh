#!/bin/sh
# Unix-side fixtures of the extraction-folder tests, which Wine shows as Windows objects:
#   $root/linktemp/<folder>  a symbolic link (a reparse point to Wine) to $root/outside, which
#                            holds precious.txt: a planted extraction folder
#   drive T:                 a folder on another file system ($shm), so that the temporary
#                            folder can sit on a drive with less room than C:
set -eu
root=$1
prefix=$2
shm=$3
folder='{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}~setup'
rm -rf "$root"
mkdir -p "$root/linktemp" "$root/outside"
echo precious >"$root/outside/precious.txt"
ln -s "$root/outside" "$root/linktemp/$folder"
mkdir -p "$shm/temp" "$prefix/dosdevices"
ln -sfn "$shm" "$prefix/dosdevices/t:"
