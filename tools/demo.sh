#!/usr/bin/env bash
# The demo: packs the bundled sample product into small volumes with bvpack,
# as its project file sample/SAMPLE.INI describes, and installs it with
# SETUP.EXE under Wine; also makes it a 360K diskette release with its
# diskette images (sample/DISKETTE.INI). With a display (and not in CI) the
# user clicks through it; otherwise it runs under Xvfb, driven by
# demo_driver, and leaves PNG screenshots of each phase.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
demo=$root/build/demo
bvpack=$root/build/native/packer/bvpack
win=$root/build/win32

rm -rf "$demo/kit" "$demo/diskettes" && mkdir -p "$demo/shots"

echo "== packing the sample as sample/SAMPLE.INI describes it (8000-byte volumes)"
"$bvpack" build "$root/sample/SAMPLE.INI"
ls -l "$demo/kit"
"$bvpack" list "$demo/kit/SETUP"

echo "== the same sample as a 360K diskette release, with diskette images"
"$bvpack" build "$root/sample/DISKETTE.INI"
for image in "$demo/diskettes"/DISK*.IMG; do MTOOLSRC=/dev/null mdir -i "$image" ::; done

bed=$demo/bed
"$root/tests/win32/winebed.sh" start "$bed"
trap '"$root/tests/win32/winebed.sh" stop "$bed"' EXIT
# Every Wine program here runs on the bed's display: the first one starts
# Wine's desktop, which keeps the display it was given.
export WINEPREFIX=$bed/prefix WINEDEBUG=-all
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  echo "== SETUP.EXE on your display: press Next, answer the questions"
  (cd "$demo/kit" && wine SETUP.EXE)
  wineserver -w
else
  echo "== SETUP.EXE under Xvfb, driven automatically"
  "$root/tests/win32/winebed.sh" run "$bed" "$win/tests/win32/demo_driver.exe" \
    "$(windows_path "$demo/kit")" "$(windows_path "$demo/shots")"
  for bmp in "$demo/shots"/*.bmp; do
    convert "$bmp" "${bmp%.bmp}.png" && rm "$bmp"
  done
  echo "== screenshots"; ls "$demo/shots"/*.png
fi

echo "== installed in C:\\SAMPLE"
(cd "$WINEPREFIX/drive_c/SAMPLE" && find . -type f -printf '%-24p %8s bytes  %TY-%Tm-%Td %TH:%TM\n' | sort)
echo "== program group"
find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Brevant Sample*' -printf '%P\n' 2>/dev/null | sort
echo "== diskette images (360K, for an emulator or a real diskette; see README.md)"
ls -l "$demo/diskettes"/DISK*.IMG
