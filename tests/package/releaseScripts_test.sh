#!/usr/bin/env bash
# The release scripts as a release engineer meets them: each explains itself, make-cert keeps the
# keys a folder has, signing keeps the file's mode, and verify says why a signature is not ok.
#   releaseScripts_test.sh SCRATCH IMAGE   (IMAGE: a program image from the build, not packed)
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
sign=$src/scripts/sign-release
scratch=$(realpath -m "$1")
image=$(realpath "$2")
rm -rf "$scratch"
mkdir -p "$scratch"
cd "$scratch"

fail() { echo "FAIL: $*"; exit 1; }
expect() { grep -qF -- "$1" <<<"$2" || fail "expected \"$1\" in: $2"; }
# COMMAND...: runs it, sets `out` (both streams) and `status`.
run() { status=0; out=$("$@" 2>&1) || status=$?; }

# Every script answers --help and -h before doing anything. They run from a copy of the tree with
# stand-ins for the tools that build, install or delete first, so that one that ignores --help
# fails here at once instead of building, installing or removing anything.
mkdir -p tree stubs
cp -r "$src/scripts" "$src/fuzz" "$src/bench" tree/
for tool in cmake ctest npm apt-get sudo dpkg-query wine wineboot wineserver Xvfb rm; do
  printf '#!/bin/sh\necho "%s ran" >&2\nexit 97\n' "$tool" >"stubs/$tool"
  chmod +x "stubs/$tool"
done
for script in scripts/sign-release scripts/wine-prefix scripts/arm64-env scripts/test scripts/demo scripts/deps fuzz/run \
  bench/run bench/fuzz; do
  for flag in --help -h; do
    run env PATH="$scratch/stubs:$PATH" "tree/$script" $flag
    [ $status -eq 0 ] || fail "$script $flag exits $status: $out"
    expect "usage: " "$out"
    expect "Example" "$out"
  done
done

# The prefix script never deletes a folder it did not make: a folder with a file in it, not a
# prefix, is refused (before any Wine runs) and survives; so does a file given as PREFIX.
mkdir -p notaprefix/docs
echo keep >notaprefix/docs/keep.txt
for cmd in ensure up; do
  run "$src/scripts/wine-prefix" $cmd notaprefix notaprefix.env
  [ $status -eq 1 ] || fail "wine-prefix $cmd over a foreign folder exits $status"
  expect "is not a Wine prefix made by wine-prefix" "$out"
  [ "$(cat notaprefix/docs/keep.txt)" = keep ] || fail "wine-prefix $cmd deleted a foreign folder"
  [ ! -e notaprefix.env ] || fail "wine-prefix $cmd wrote the env file after refusing"
done
echo keep >plainfile
run "$src/scripts/wine-prefix" ensure plainfile
[ $status -eq 1 ] || fail "wine-prefix ensure over a file exits $status"
[ "$(cat plainfile)" = keep ] || fail "wine-prefix ensure replaced a file"

"$sign" make-cert cert >/dev/null
cp cert/signer.key signer.key.before
run "$sign" make-cert cert
[ $status -eq 2 ] || fail "make-cert over existing keys exits $status"
expect "already holds a certificate" "$out"
cmp -s cert/signer.key signer.key.before || fail "make-cert replaced the keys without --force"
"$sign" make-cert --force cert >/dev/null
cmp -s cert/signer.key signer.key.before && fail "make-cert --force kept the old key"
# --force after CERTDIR replaces the keys too, and is not taken for the publisher's name.
cp cert/signer.key signer.key.before
"$sign" make-cert cert --force >/dev/null
cmp -s cert/signer.key signer.key.before && fail "make-cert CERTDIR --force kept the old key"
subject=$(openssl x509 -noout -subject -in cert/signer.pem)
expect "Tessix, Inc. (test)" "$subject"

cp "$image" signed.exe
chmod 750 signed.exe
"$sign" sign cert signed.exe >/dev/null
[ "$(stat -c %a signed.exe)" = 750 ] || fail "signing changed the mode 750 to $(stat -c %a signed.exe)"

cp "$image" unsigned.exe
cp signed.exe altered.exe
printf 'x' | dd of=altered.exe bs=1 seek=4096 conv=notrunc status=none
"$sign" make-cert other "Contoso Ltd. (test)" >/dev/null
run "$sign" verify cert signed.exe unsigned.exe altered.exe missing.exe
[ $status -eq 1 ] || fail "verify of bad files exits $status"
expect "signed.exe: signature ok" "$out"
expect "unsigned.exe: signature NOT ok: it carries no signature" "$out"
expect "altered.exe: signature NOT ok: it was changed after it was signed" "$out"
expect "missing.exe: signature NOT ok: no such file" "$out"
run "$sign" verify other signed.exe
expect "signed.exe: signature NOT ok: its signer (/O=Tessix, Inc. (test)/CN=Tessix, Inc. (test)) does not chain to other/root.pem" "$out"
echo "releaseScripts: 1 passed, 0 failed"
