#!/usr/bin/env bash
# Packed launchers for the signature runs end to end, made in the build tree in the release order:
# sign the package, pack it with txpack, sign the packed launcher (README, signing). Two test
# certificates are made on the spot; no key is kept in the repository.
#   make-packed.sh OUTDIR WINE_RUN TXPACK SETUP_EXE PACKAGE VERSION SOURCE_DIR
set -euo pipefail
out=$(realpath -m "$1")
wine_run=$2
txpack=$(realpath "$3")
setup=$(realpath "$4")
package=$(realpath "$5")
version=$6
src=$(realpath "$7")
. "$src/common.sh"
start_fixtures "$out"

# The test package under the name the configurations give it, unsigned and signed by either.
for signer in unsigned publisher other; do
  mkdir -p "payload-$signer"
  cp "$package" "payload-$signer/tools.msi"
  [ "$signer" = unsigned ] || "$sign" sign "$signer" "payload-$signer/tools.msi" >/dev/null
done

# A patch-only payload: the test package stands in for the patch (Windows Installer patches
# cannot be built here), signed by the publisher; PATCH names it and no product package comes.
mkdir -p payload-patch
cp "$package" payload-patch/tools.msp
"$sign" sign publisher payload-patch/tools.msp >/dev/null

# Configurations: the standard style with every question on, with TXIOPTION "one", with the
# package cached, the tools style, and the standard style with a patch.
cp "$src/standard.cfg" standard.cfg
sed 's/^TXIOPTION=$/TXIOPTION=one/' "$src/standard.cfg" >option.cfg
{ cat "$src/standard.cfg"; echo "CACHEMSI=1"; } >cached.cfg
cp "$src/../fixtures/msi/tools.cfg" tools.cfg
{ grep -v '^TX_DATABASE=\|^OPERATION=' "$src/standard.cfg"; echo "OPERATION=DEFAULT"; echo "PATCH=tools.msp"; } >patch.cfg

pack() { # name config payload launcher-signer [payload file]
  mkdir -p "$1"
  "$wine_run" "$txpack" --base "Z:$setup" --config "Z:$out/$2.cfg" --payload "Z:$out/payload-$3/${5:-tools.msi}" \
    --version-file "$version" --version-product "$version" -o "Z:$out/$1/setup.exe" >/dev/null
  [ "$4" = unsigned ] || "$sign" sign "$4" "$1/setup.exe" >/dev/null
}
pack unsigned standard unsigned unsigned
pack option option unsigned unsigned
pack same standard publisher publisher
pack other standard other publisher
pack cached cached publisher publisher
pack tools tools unsigned unsigned
pack patch patch patch publisher tools.msp

# The signed launcher with one byte changed afterwards, in its DOS stub, which nothing runs: the
# payload still extracts (a changed byte of a packed file is caught by its digest first), and the
# launcher's own signature no longer verifies.
mkdir -p altered
cp same/setup.exe altered/setup.exe
stub=$(LC_ALL=C grep -obUaP 'This program cannot be run' altered/setup.exe | cut -d: -f1 | head -1)
[ -n "$stub" ] || { echo "make-packed: no DOS stub in the launcher" >&2; exit 1; }
flip_byte altered/setup.exe $((stub + 5))

# verify checks the launchers' packages too, with this tree's txpack: the package signed by
# another publisher is refused like the altered launcher.
export TXPACK=$txpack WINE_RUN=$wine_run
"$sign" verify publisher same/setup.exe cached/setup.exe patch/setup.exe payload-publisher/tools.msi \
  payload-patch/tools.msp >/dev/null
for refused in altered other; do
  if "$sign" verify publisher "$refused/setup.exe" >/dev/null 2>&1; then
    echo "make-packed: the $refused launcher still verifies" >&2
    exit 1
  fi
done
touch stamp
