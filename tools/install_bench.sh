#!/usr/bin/env bash
# Installation benchmark under Wine: packs a kit folder into 1.44M volumes
# (no install script) and installs it with two SETUP.EXE images side by side
# in one Wine bed, in turn, round by round. Each installation's time less
# that of a one-member release (the fixed cost: start-up, dialogs, exit) is
# the time spent on the kit's members; the ratio of the two is printed.
#   tools/install_bench.sh [--old IMAGE | --old-ref REF] [--new IMAGE] [--steps] [KIT_FOLDER] [RUNS]
# --old-ref REF (default main) builds the old image from that git ref of
# this repository in build/bench-ref/COMMIT (kept for the next run); --old
# takes a built image instead. --new defaults to this tree's
# build/win32/installer/bvunpack.exe. --steps also prints, for the new
# image, the install steps counted inside SETUP.EXE by a hook library.
# KIT_FOLDER defaults to ../shared/bench/kit beside the repository, RUNS
# (rounds) to 5. Needs the native build (build/native: bvpack) and the
# Win32 build (build/win32: install_bench); BV_NATIVE_BUILD and
# BV_WIN32_BUILD override them.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
old="" old_ref=main new="" steps=0
while [ $# -gt 0 ]; do
  case $1 in
    --old) old=$(realpath -m "$2"); shift 2 ;;
    --old-ref) old_ref=$2; shift 2 ;;
    --new) new=$(realpath -m "$2"); shift 2 ;;
    --steps) steps=1; shift ;;
    -*) sed -n '2,17p' "$0" >&2; exit 2 ;;
    *) break ;;
  esac
done
source=$(realpath -m "${1:-$repo/../shared/bench/kit}")
runs=${2:-5}
native=$(realpath -m "${BV_NATIVE_BUILD:-$repo/build/native}")
win32=$(realpath -m "${BV_WIN32_BUILD:-$repo/build/win32}")
bvpack=$native/packer/bvpack
new=${new:-$win32/installer/bvunpack.exe}
bench=$win32/tests/win32/bench-win32/install_bench.exe
bed=$win32/bench-bed

for file in "$bvpack" "$new" "$bench"; do
  [ -e "$file" ] || { echo "install_bench: $file is missing: build it first" >&2; exit 2; }
done
[ -d "$source" ] || { echo "install_bench: no kit folder $source" >&2; exit 2; }

# The old image: SETUP.EXE as the ref builds it, from an export of that
# commit, with only the targets it needs.
if [ -z "$old" ]; then
  commit=$(git -C "$repo" rev-parse --verify "$old_ref^{commit}")
  refdir=$repo/build/bench-ref/$commit
  old=$refdir/win32/installer/bvunpack.exe
  if [ ! -e "$old" ]; then
    echo "install_bench: building SETUP.EXE of $old_ref ($commit) in $refdir"
    rm -rf "$refdir" && mkdir -p "$refdir/src"
    git -C "$repo" archive "$commit" | tar -x -C "$refdir/src"
    cmake -S "$refdir/src" -B "$refdir/native" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$refdir/native" -j2 --target swaprun lngcheck lnggen >/dev/null
    cmake -S "$refdir/src" -B "$refdir/win32" --no-warn-unused-cli \
          -DCMAKE_TOOLCHAIN_FILE="$refdir/src/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
          -DBV_NATIVE_BIN="$refdir/native" >/dev/null
    cmake --build "$refdir/win32" -j2 --target bvunpack >/dev/null
  fi
  old_label="old: $old_ref ${commit:0:10}"
else
  [ -e "$old" ] || { echo "install_bench: $old is missing" >&2; exit 2; }
  old_label="old: $(basename "$(dirname "$old")")/$(basename "$old")"
fi
new_label="new: $(basename "$(dirname "$new")")/$(basename "$new")"
[ "$new" = "$win32/installer/bvunpack.exe" ] && new_label="new: this tree"

winebed=$repo/tests/win32/winebed.sh
"$winebed" start "$bed"
trap '"$winebed" stop "$bed"' EXIT

# The same volumes for both: packed once, then each image beside a copy.
# The one-member release holds a 100-byte file.
pack() {   # FOLDER OUT
  rm -rf "$2" && mkdir -p "$2"
  "$bvpack" create "$1" --out "$2/SETUP" --volume 1.44M --dest 'D:\BENCH' --installer "$new" --quiet </dev/null >/dev/null
  "$bvpack" list "$2/SETUP" | awk '$1 ~ /^[0-9]+$/ && NF >= 5 { print $1 }' >"$2/SIZES.TXT"
}
mkdir -p "$bed/one-src" && head -c 100 /dev/zero | tr '\0' 'x' >"$bed/one-src/ONE.TXT"
pack "$source" "$bed/kit"
pack "$bed/one-src" "$bed/one"
args=()
for which in old new; do
  image=${!which}
  for release in kit one; do
    rm -rf "$bed/$which-$release" && cp -r "$bed/$release" "$bed/$which-$release"
    cp "$image" "$bed/$which-$release/SETUP.EXE"
  done
  label=${which}_label
  args+=("${!label}" "$bed/$which-kit" "$bed/$which-one")
done
echo "old: $old ($(stat -c %s "$old") bytes)"
echo "new: $new ($(stat -c %s "$new") bytes)"
"$winebed" run "$bed" "$bench" --compare "$runs" "${args[@]}"

if [ "$steps" = 1 ]; then
  cp "$new" "$bed/kit/SETUP.EXE"
  "$winebed" run "$bed" "$bench" "$bed/kit" 3
fi
