#!/usr/bin/env bash
# sign-release verify as a release engineer runs it on a signing machine that has the built
# programs but no build tree: a copy of the script, a txpack.exe and Wine. Whether a file is a
# packed launcher is txpack's answer; a launcher whose own signature broke says so; anything that
# keeps txpack from answering fails the run.
#   signRelease_test.sh SCRATCH SIGNED_LAUNCHERS TXPACK WINEPREFIX
#   (SIGNED_LAUNCHERS: the launchers and certificates of make-packed.sh)
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(realpath -m "$1")
signed=$(realpath "$2")
built_txpack=$(realpath "$3")
export WINEPREFIX=$(realpath "$4")
rm -rf "$scratch"
mkdir -p "$scratch/tools" "$scratch/stubs"
cd "$scratch"

fail() { echo "FAIL: $*"; exit 1; }
expect() { grep -qF -- "$1" <<<"$2" || fail "expected \"$1\" in: $2"; }
refute() { ! grep -qF -- "$1" <<<"$2" || fail "did not expect \"$1\" in: $2"; }
# COMMAND...: runs it, sets `out` (both streams) and `status`.
run() { status=0; out=$("$@" 2>&1) || status=$?; }

# The programs alone: the script outside any clone, txpack beside it, Wine from PATH.
cp "$src/scripts/sign-release" tools/
cp "$built_txpack" tools/txpack.exe
sign=$scratch/tools/sign-release
export TXPACK=$scratch/tools/txpack.exe
unset WINE_RUN

# The object-file reader the script once asked fails here: verify does not depend on it.
printf '#!/bin/sh\nexit 1\n' >stubs/llvm-readobj
chmod +x stubs/llvm-readobj
export PATH="$scratch/stubs:$PATH"

# A release packed and signed in order, and one whose launcher was signed although its package
# (standard style) was not.
cp "$signed/unsigned/setup.exe" signed-unsigned-package.exe
"$sign" sign "$signed/publisher" signed-unsigned-package.exe >/dev/null

run "$sign" verify "$signed/publisher" "$signed/same/setup.exe" "$signed/payload-publisher/tools.msi"
[ $status -eq 0 ] || fail "verify of a sound release exits $status: $out"
expect "same/setup.exe: signature ok" "$out"
expect "same/setup.exe: the launcher's own check: ok" "$out"
expect "tools.msi: signature ok" "$out"
refute "tools.msi: the launcher's own check" "$out"

run "$sign" verify "$signed/publisher" signed-unsigned-package.exe
[ $status -eq 1 ] || fail "verify of a signed launcher holding an unsigned package exits $status: $out"
expect "signed-unsigned-package.exe: signature ok" "$out"
expect "signed-unsigned-package.exe: the launcher's own check: NOT ok: the launcher refuses its packages: tools.msi - NoSignatureFound" "$out"

run "$sign" verify "$signed/publisher" "$signed/altered/setup.exe"
[ $status -eq 1 ] || fail "verify of a launcher changed after signing exits $status: $out"
expect "altered/setup.exe: signature NOT ok: it was changed after it was signed" "$out"
expect "altered/setup.exe: the launcher's own check: NOT ok: the launcher's own signature fails: it was changed after it was signed: its digest is not the signed one (WinVerifyTrust 0x80096010)" "$out"
refute "check of its packages" "$out"

# When txpack cannot answer, verify fails: no txpack, no Wine, a txpack that does not run.
run env TXPACK="$scratch/tools/none.exe" "$sign" verify "$signed/publisher" "$signed/same/setup.exe"
[ $status -eq 2 ] || fail "verify without txpack exits $status: $out"
expect "no txpack at $scratch/tools/none.exe" "$out"
mkdir -p nowine
for tool in /usr/bin/*; do
  case ${tool##*/} in wine*) ;; *) ln -s "$tool" nowine/ ;; esac
done
run env PATH="$scratch/nowine" /bin/bash "$sign" verify "$signed/publisher" "$signed/same/setup.exe"
[ $status -eq 2 ] || fail "verify without Wine exits $status: $out"
expect "cannot run txpack: no wine" "$out"
# A runner that fails, one that ends 0 without running anything, one that ends 1 without a word:
# none of them is a verdict.
printf '#!/bin/sh\necho "wine-run: prefix could not be made" >&2\nexit 125\n' >stubs/broken-wine
printf '#!/bin/sh\nexit 0\n' >stubs/silent-wine
printf '#!/bin/sh\nexit 1\n' >stubs/mute-wine
chmod +x stubs/broken-wine stubs/silent-wine stubs/mute-wine
for runner in broken-wine:125 silent-wine:0 mute-wine:1; do
  for file in "$signed/same/setup.exe" "$signed/payload-publisher/tools.msi"; do
    run env WINE_RUN="$scratch/stubs/${runner%%:*}" "$sign" verify "$signed/publisher" "$file"
    [ $status -eq 2 ] || fail "verify with the runner ${runner%%:*} exits $status for $file: $out"
    expect "cannot tell whether it is a packed launcher: txpack --verify gave no verdict (exit ${runner##*:}" "$out"
    refute "the launcher's own check: ok" "$out"
  done
done
echo "signRelease: 1 passed, 0 failed"
