#!/usr/bin/env bash
# Installation benchmark: packs a kit folder into 1.44M volumes (no install
# script), installs it three times with SETUP.EXE in a Wine bed and prints
# the install time and the install steps counted inside SETUP.EXE.
#   tools/install_bench.sh [KIT_FOLDER] [RUNS]
# KIT_FOLDER defaults to ../shared/bench/kit beside the repository. Needs the
# native build (build/native: bvpack) and the Win32 build (build/win32:
# bvunpack, install_bench); BV_NATIVE_BUILD and BV_WIN32_BUILD override them.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
source=$(realpath -m "${1:-$repo/../shared/bench/kit}")
runs=${2:-3}
native=$(realpath -m "${BV_NATIVE_BUILD:-$repo/build/native}")
win32=$(realpath -m "${BV_WIN32_BUILD:-$repo/build/win32}")
bvpack=$native/packer/bvpack
installer=$win32/installer/bvunpack.exe
bench=$win32/tests/win32/bench-win32/install_bench.exe
bed=$win32/bench-bed

for file in "$bvpack" "$installer" "$bench"; do
  [ -e "$file" ] || { echo "install_bench: $file is missing: build it first" >&2; exit 2; }
done
[ -d "$source" ] || { echo "install_bench: no kit folder $source" >&2; exit 2; }

winebed=$repo/tests/win32/winebed.sh
"$winebed" start "$bed"
trap '"$winebed" stop "$bed"' EXIT

kit=$bed/kit
mkdir -p "$kit"
"$bvpack" create "$source" --out "$kit/SETUP" --volume 1.44M --dest 'D:\BENCH' --installer "$installer" </dev/null
# The member sizes, in archive order, for the step count the archive calls for.
"$bvpack" list "$kit/SETUP" | awk '$1 ~ /^[0-9]+$/ && NF >= 5 { print $1 }' >"$kit/SIZES.TXT"

"$winebed" run "$bed" "$bench" "$kit" "$runs"
