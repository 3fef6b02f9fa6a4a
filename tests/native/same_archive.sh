#!/usr/bin/env bash
# Packs one tree with two builds of bvpack (g++ and clang) under the same
# SOURCE_DATE_EPOCH and compares their archives byte for byte.
#   same_archive.sh BVPACK_A BVPACK_B TREE
set -euo pipefail
a=$1 b=$2 tree=$3
for tool in "$a" "$b"; do
  [ -x "$tool" ] || { echo "no bvpack at $tool"; exit 77; }
done
[ -d "$tree" ] || { echo "no tree at $tree"; exit 77; }
out=$(mktemp -d /tmp/bv-same-XXXXXX)
trap 'rm -rf "$out"' EXIT
export SOURCE_DATE_EPOCH=946684800
export BVPACK_INSTALLER=none   # the archives alone are compared
"$a" create "$tree" --out "$out/a/KIT" --volume 1.44M >/dev/null
"$b" create "$tree" --out "$out/b/KIT" --volume 1.44M >/dev/null
diff -r "$out/a" "$out/b"
(cd "$out/a" && sha256sum KIT.E*)
echo "same bytes from $a and $b"
