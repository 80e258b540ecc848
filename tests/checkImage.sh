#!/bin/sh
# Checks a built launcher image: the machine, the GUI subsystem, and an import table that names
# KnownDLLs (and the C runtime) only. Any other DLL would be resolved by the loader before the
# launcher could restrict the DLL search: a planting hole. The embedded manifest asks for
# administrator rights and names the supported systems (without the Windows 10 entry the
# program is told an older version).
set -eu
image=$1
arch=$2
allowed="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll shlwapi.dll ole32.dll oleaut32.dll psapi.dll comdlg32.dll msvcrt.dll"
case "$arch" in
  x64) machine="IMAGE_FILE_MACHINE_AMD64" ;;
  arm64) machine="IMAGE_FILE_MACHINE_ARM64" ;;
  *) echo "unknown architecture $arch"; exit 2 ;;
esac
headers=$(llvm-readobj --file-headers "$image")
echo "$headers" | grep -q "Machine: $machine" || { echo "FAIL: $image is not $machine"; exit 1; }
echo "$headers" | grep -q "Subsystem: IMAGE_SUBSYSTEM_WINDOWS_GUI" || { echo "FAIL: $image is not a GUI program"; exit 1; }
imports=$(llvm-readobj --coff-imports "$image" | sed -n 's/^ *Name: \(.*\.dll\)$/\1/Ip' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "FAIL: no import table read from $image"; exit 1; }
status=0
for dll in $imports; do
  case " $allowed " in
    *" $dll "*) echo "import ok: $dll" ;;
    *) echo "FAIL: $image imports $dll, which is not a KnownDLL"; status=1 ;;
  esac
done
if [ "$arch" = arm64 ]; then
  # The hypervisor calls: three in BACKDOOR and the probe's own in MISC, each trapping with
  # "mrs xzr, mdccsr_el0", none touching the stack.
  for section in BACKDOOR:3 MISC:1; do
    name=${section%:*}
    want=${section#*:}
    code=$(llvm-objdump -d --section="$name" "$image" | sed -n 's/^ *[0-9a-f]*:\( [0-9a-f][0-9a-f]\)\{4\} *\t//p')
    traps=$(printf '%s\n' "$code" | grep -c '^mrs	xzr, MDCCSR_EL0$' || true)
    if [ "$traps" != "$want" ]; then
      echo "FAIL: section $name holds $traps hypervisor traps, not $want"; status=1
    elif printf '%s\n' "$code" | grep -q '\bsp\b'; then
      echo "FAIL: section $name uses the stack"; status=1
    else
      echo "section ok: $name ($traps traps)"
    fi
  done
fi
manifest=$(llvm-readobj --coff-resources "$image" | awk '
  /Type: MANIFEST/ { inside = 1 }
  inside && /^ *[0-9A-F]+: / { sub(/^ *[0-9A-F]+: /, ""); sub(/ *\|.*$/, ""); gsub(/ /, ""); print }
  inside && /^ *\)$/ { exit }' | xxd -r -p)
check_manifest() {
  if printf '%s' "$manifest" | grep -q "$1"; then echo "manifest ok: $2"; else echo "FAIL: the manifest lacks $2"; status=1; fi
}
check_manifest 'requestedExecutionLevel level="requireAdministrator"' "requireAdministrator"
check_manifest 'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"' "the Windows 10/11 supportedOS entry"
check_manifest 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' "common controls 6"
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
