#!/bin/sh
# Reads the export table of an image (demangled): setup.exe exports the members of CResource
# that build tools call and nothing else; with --none the image exports nothing at all (txpack,
# which links the class without exporting it). Works for the x64 and the arm64 image alike.
#   checkExports.sh IMAGE | checkExports.sh --none IMAGE
set -eu
none=0
if [ "$1" = --none ]; then
  none=1
  shift
fi
image=$1
table=$(llvm-readobj --coff-exports "$image")
exports=$(printf '%s\n' "$table" | sed -n 's/^ *Name: //p' | llvm-cxxfilt)
expected=''
if [ $none -eq 0 ]; then
  expected='CResource::operator=(CResource const&)
CResource::operator=(CResource&&)
CResource::UpdateFileResource(char const*, char const*, char const*, void*)
CResource::GetResourceHandler(char const*)
CResource::BitmapResourceHandler(char const*, char const*, void*)
CResource::StringResourceHandler(char const*, char const*, void*)
CResource::VersionResourceHandler(char const*, char const*, void*)
CResource::UpdateFixedVersionResource(char const*, char const*, char const*)
CResource::UpdateVariableVersionResource(char const*, char const*, char const*)
CResource::UpdateResourceInternal(char const*, char const*, char const*, unsigned short, void const*, unsigned long)'
fi
failures=$(
  printf '%s\n' "$expected" | while IFS= read -r member; do
    [ -z "$member" ] || printf '%s\n' "$exports" | grep -qxF "$member" || echo "FAIL: $image does not export $member"
  done
  printf '%s\n' "$exports" | while IFS= read -r name; do
    [ -z "$name" ] || printf '%s\n' "$expected" | grep -qxF "$name" || echo "FAIL: $image exports $name, which it must not"
  done
)
if [ -n "$failures" ]; then
  printf '%s\n' "$failures"
  echo "0 passed, 1 failed"
  exit 1
fi
echo "$image: exports exactly what it should ($(printf '%s\n' "$exports" | grep -c . || true) names); 1 passed, 0 failed"
