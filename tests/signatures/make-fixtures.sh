#!/usr/bin/env bash
# Signed and unsigned launchers and packages for the signature tests, made in the build tree with
# the release signing script and two test certificates made on the spot (no key is kept in the
# repository).
#   make-fixtures.sh OUTDIR SETUP_EXE SOURCE_DIR
set -euo pipefail
out=$(realpath -m "$1")
setup=$(realpath "$2")
src=$(realpath "$3")
. "$src/common.sh"
start_fixtures "$out"

size_of() { stat -c %s "$1"; }

# Launchers: the built image as it is, signed by either publisher, and a stand-in for a packed
# launcher (64 KiB of payload appended before signing, as txpack leaves it).
cp "$setup" launcher-unsigned.exe
cp "$setup" launcher-signed.exe
cp "$setup" launcher-other.exe
"$sign" sign publisher launcher-signed.exe >/dev/null
"$sign" sign other launcher-other.exe >/dev/null
cp "$setup" launcher-packed.exe
head -c 65536 /dev/zero | tr '\0' 'P' >>launcher-packed.exe
"$sign" sign publisher launcher-packed.exe >/dev/null

cp launcher-signed.exe launcher-altered.exe
flip_byte launcher-altered.exe $(($(size_of "$setup") / 2))
cp launcher-signed.exe launcher-appended.exe
printf 'bytes appended after signing' >>launcher-appended.exe
cp launcher-packed.exe launcher-packed-altered.exe
flip_byte launcher-packed-altered.exe $(($(size_of "$setup") + 4096))

# Packages: the vendor's, signed by either publisher, unsigned, altered after signing; and
# another publisher's, which names the vendor nowhere.
wixl -D Name="Tessix Tools" -D Manufacturer="Tessix, Inc." -D UpgradeCode="{6E9C1E44-0D43-4C39-9A53-0E4C7B1A2F02}" \
  -o package-unsigned.msi "$src/package.wxs"
wixl -D Name="Contoso Widgets" -D Manufacturer="Contoso Ltd." -D UpgradeCode="{6E9C1E44-0D43-4C39-9A53-0E4C7B1A2F03}" \
  -o other-vendor.msi "$src/package.wxs"
cp package-unsigned.msi package-signed.msi
cp package-unsigned.msi package-other.msi
"$sign" sign publisher package-signed.msi >/dev/null
"$sign" sign other package-other.msi >/dev/null
cp package-signed.msi package-altered.msi
offset=$(grep -obUa 'AlterMe-0123456789' package-altered.msi | head -1 | cut -d: -f1)
[ -n "$offset" ] || { echo "make-fixtures: marker not found in the package" >&2; exit 1; }
flip_byte package-altered.msi "$offset"

# The release script's own check agrees before the launcher is asked.
"$sign" verify publisher launcher-signed.exe launcher-packed.exe package-signed.msi >/dev/null
for altered in launcher-altered.exe launcher-packed-altered.exe package-altered.msi; do
  if "$sign" verify publisher "$altered" >/dev/null 2>&1; then
    echo "make-fixtures: $altered still verifies" >&2
    exit 1
  fi
done
touch stamp
