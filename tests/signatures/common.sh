# Shared by the signature fixture scripts: the release signing script, a fresh output folder
# with the two test certificates (made on the spot; no key is kept in the repository), and a
# byte changer.
sign=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../../scripts/sign-release")

# OUTDIR: empties it, makes the publisher's and another vendor's certificates there, enters it.
start_fixtures() {
  rm -rf "$1"
  mkdir -p "$1"
  cd "$1"
  "$sign" make-cert publisher "Tessix, Inc. (test)" >/dev/null
  "$sign" make-cert other "Contoso Ltd. (test)" >/dev/null
}

# FILE OFFSET: changes one byte in place (its bits inverted).
flip_byte() {
  local file=$1 offset=$2 byte
  byte=$(od -An -tu1 -j "$offset" -N1 "$file" | tr -d ' ')
  printf "\\$(printf %03o $((byte ^ 255)))" | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
}
