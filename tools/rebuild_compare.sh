#!/usr/bin/env bash
# Builds SETUP.EXE and KVN_NL.LNG a second time, from a copy of the source
# tree in another directory, and compares both byte for byte with those of
# a Win32 build: one source must give the same images wherever it is built.
#   tools/rebuild_compare.sh [WIN32_BUILD [WORK_DIR]]
# WIN32_BUILD defaults to build/win32; its cache names the native tools and
# the build type. WORK_DIR (default WIN32_BUILD/rebuild) is made anew.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
first=$(realpath "${1:-$repo/build/win32}")
work=$(realpath -m "${2:-$first/rebuild}")
cached() { sed -n "s/^$1:[A-Z]*=//p" "$first/CMakeCache.txt"; }
native=$(cached BV_NATIVE_BIN)
type=$(cached CMAKE_BUILD_TYPE)

rm -rf "$work"
mkdir -p "$work/source"
tar -C "$repo" --exclude=./build --exclude=./.git -cf - . | tar -C "$work/source" -xf -
cmake -S "$work/source" -B "$work/build" --no-warn-unused-cli \
      -DCMAKE_TOOLCHAIN_FILE="$work/source/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE="$type" -DBV_NATIVE_BIN="$native" >/dev/null
cmake --build "$work/build" --target bvunpack kvn_nl -j2 >/dev/null

status=0
for image in installer/bvunpack.exe langpack/KVN_NL.LNG; do
  if cmp "$first/$image" "$work/build/$image"; then
    echo "$image: $(stat -c %s "$first/$image") bytes, identical"
  else
    status=1
  fi
done
exit $status
