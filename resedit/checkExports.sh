#!/bin/sh
# Checks that a launcher image exports every member of CResource that build tools call, by
# reading its export table (demangled). Works for the x64 and the arm64 image alike.
set -eu
image=$1
exports=$(llvm-readobj --coff-exports "$image" | sed -n 's/^ *Name: //p' | llvm-cxxfilt)
status=0
for member in \
  'CResource::operator=(CResource const&)' \
  'CResource::operator=(CResource&&)' \
  'CResource::UpdateFileResource(char const*, char const*, char const*, void*)' \
  'CResource::GetResourceHandler(char const*)' \
  'CResource::BitmapResourceHandler(char const*, char const*, void*)' \
  'CResource::StringResourceHandler(char const*, char const*, void*)' \
  'CResource::VersionResourceHandler(char const*, char const*, void*)' \
  'CResource::UpdateFixedVersionResource(char const*, char const*, char const*)' \
  'CResource::UpdateVariableVersionResource(char const*, char const*, char const*)' \
  'CResource::UpdateResourceInternal(char const*, char const*, char const*, unsigned short, void const*, unsigned long)'
do
  if printf '%s\n' "$exports" | grep -qxF "$member"; then
    echo "export ok: $member"
  else
    echo "FAIL: $image does not export $member"
    status=1
  fi
done
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
