#!/usr/bin/env bash
# Packs the launchers of the arm64 runs around the arm64 image with the x64 tree's txpack under
# x64 Wine, as a release is packed: the sample product with the arm64 runtime stand-in, the test
# product at two versions, one that asks for more room than any drive has, the sample cut short
# inside its package, the sample around two images whose probe raises an exception, the sample
# around the test image that reaches the host simulator, and the signature launchers (signed in
# the release order).
#   make-launchers.sh OUTDIR X64_TREE ARM64_SETUP ARM64_STANDIN VERSION SOURCE_DIR HOSTED_SETUP
set -euo pipefail
out=$(realpath -m "$1")
x64=$(realpath -m "$2")
setup=$(realpath "$3")
standin=$(realpath "$4")
version=$5
src=$(realpath "$6")
hosted=$(realpath "$7")
wine_run=$x64/wine-run
txpack=$x64/bin/txpack.exe
msi=$x64/fixtures/msi
for input in "$wine_run" "$txpack" "$x64/samples/Tessix Tools.msi" "$msi/payload-tools-13.0.0/tools.msi" \
  "$msi/payload-tools-13.0.1/tools.msi" "$msi/tools-13.0.1.msi"; do
  [ -e "$input" ] || { echo "make-launchers: $input is missing: build the windows-x64 preset first" >&2; exit 1; }
done

rm -rf "$out"
mkdir -p "$out/payload"
# The payload files as the launchers carry them (the unpack run compares against these).
cp "$x64/samples/Tessix Tools.msi" "$out/payload/"
cp "$standin" "$out/payload/vcredist_arm64.exe"

pack() { # name config payload... (the image: $base, by default the arm64 setup.exe)
  local name=$1 config=$2 file
  shift 2
  local payload=()
  for file in "$@"; do payload+=("Z:$file"); done
  mkdir -p "$out/$name"
  "$wine_run" "$txpack" --base "Z:${base:-$setup}" --config "Z:$config" --payload "${payload[@]}" \
    --version-file "$version" --version-product "$version" -o "Z:$out/$name/setup.exe" >/dev/null
}
pack sample "$src/samples/tessix-tools.cfg" "$out/payload/Tessix Tools.msi" "$out/payload/vcredist_arm64.exe"
pack tools-13.0.0 "$src/tests/fixtures/msi/tools.cfg" "$msi/payload-tools-13.0.0/tools.msi"
pack tools-13.0.1 "$src/tests/fixtures/msi/tools.cfg" "$msi/payload-tools-13.0.1/tools.msi"
pack space "$src/tests/gui/fixtures/space.cfg" "$msi/payload-tools-13.0.1/tools.msi"

# The sample whose container ends halfway through its package.
mkdir -p "$out/cut"
cp "$out/sample/setup.exe" "$out/cut/setup.exe"
size=$(stat -c %s "$out/cut/setup.exe")
tail_bytes=$(($(stat -c %s "$out/payload/vcredist_arm64.exe") + $(stat -c %s "$out/payload/Tessix Tools.msi") / 2))
truncate -s $((size - tail_bytes)) "$out/cut/setup.exe"

# The image with its probe's trap (the one "mrs xzr, MDCCSR_EL0" in MISC) made another
# instruction. Where no hypervisor handles it, the debug-register read either raises an exception
# or returns with the registers unchanged; qemu's user mode always lets it pass, so only these
# images show the launcher surviving the exception. Which exception Windows raises for the read
# is not known: "udf #0" raises an illegal instruction, "ldr xzr, [x7]" (x7 holds the call's
# operation word, no mapped address) an access violation.
read -r address word < <(llvm-objdump -d --section=MISC "$setup" |
  awk '/mrs\txzr, MDCCSR_EL0$/ { sub(":", "", $1); print $1, $5 $4 $3 $2; exit }')
read -r va raw < <(llvm-readobj --sections "$setup" |
  awk '/Name: MISC / { misc = 1 } misc && /VirtualAddress:/ { va = $2 } misc && /PointerToRawData:/ { print va, $2; exit }')
image_base=$(llvm-readobj --file-headers "$setup" | awk '/ImageBase:/ { print $2 }')
[ "${word:-}" = d533011f ] || { echo "make-launchers: no probe trap found in MISC of $setup" >&2; exit 1; }
offset=$((raw + 0x$address - image_base - va))
[ "$(od -An -tx4 -j "$offset" -N4 "$setup" | tr -d ' ')" = d533011f ] ||
  { echo "make-launchers: the probe trap is not at file offset $offset" >&2; exit 1; }
trap_made() { # name instruction-bytes
  local image=$out/payload/setup-$1.exe
  cp "$setup" "$image"
  printf "$2" | dd of="$image" bs=1 seek="$offset" conv=notrunc status=none
  base=$image pack "sample-$1" "$src/samples/tessix-tools.cfg" "$out/payload/Tessix Tools.msi" \
    "$out/payload/vcredist_arm64.exe"
}
trap_made trapping '\0\0\0\0'      # udf #0
trap_made faulting '\377\000\100\371' # ldr xzr, [x7] (0xf94000ff)

base=$hosted pack sample-hosted "$src/samples/tessix-tools.cfg" "$out/payload/Tessix Tools.msi" \
  "$out/payload/vcredist_arm64.exe"

"$src/tests/signatures/make-packed.sh" "$out/signed" "$wine_run" "$txpack" "$setup" "$msi/tools-13.0.1.msi" \
  "$version" "$src/tests/signatures"
