#!/usr/bin/env bash
# The kit installed with cmake --install into a prefix, moved elsewhere and
# used from an empty folder as a new user would: bvpack init on a product
# tree, bvpack build with no Installer key; the release's NAME.EXE is the
# built installer byte for byte and bvpack test passes. The installed sample
# project builds where it is copied to.
#   install_test.sh CMAKE BUILD_DIR INSTALLER WORK_DIR
set -u
cmake=$1 build=$(realpath "$2") installer=$(realpath "$3") work=$(realpath -m "$4")
failed=0
fail() { echo "FAILED: $*"; failed=1; }
unset BVPACK_INSTALLER
rm -rf "$work" && mkdir -p "$work"

"$cmake" --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
mv "$work/prefix" "$work/moved"
bvpack=$work/moved/bin/bvpack
for f in bin/bvpack share/brevant/bvunpack.exe share/brevant/KVN_NL.LNG share/man/man1/bvpack.1.gz \
         share/doc/brevant/README.md share/doc/brevant/sample/SAMPLE.INI; do
  [ -f "$work/moved/$f" ] || fail "not installed: $f"
done

"$bvpack" --version >"$work/version.txt" 2>&1 || fail "bvpack --version"
grep -q "installer: $work/moved/share/brevant/bvunpack.exe ($(stat -c %s "$installer") bytes)" "$work/version.txt" ||
  fail "--version names another installer: $(cat "$work/version.txt")"

# A product tree: a program, a text, a folder.
mkdir -p "$work/Tools/DATA" "$work/empty"
cp "$installer" "$work/Tools/TOOL.EXE"
echo "Read me." >"$work/Tools/README.TXT"
echo "data" >"$work/Tools/DATA/X.DAT"

cd "$work/empty" || exit 1
"$bvpack" init ../Tools >"$work/init.txt" 2>&1 || fail "init: $(cat "$work/init.txt")"
grep -q "wrote TOOLS.INI" "$work/init.txt" || fail "init does not say what it wrote: $(cat "$work/init.txt")"
grep -q "^Item = TOOL.EXE, Tool$" TOOLS.INI || fail "no group item for TOOL.EXE"
grep -q "^Installer" TOOLS.INI && fail "init wrote an Installer key"
"$bvpack" build TOOLS.INI --quiet >"$work/build.txt" 2>&1 || fail "build: $(cat "$work/build.txt")"
cmp "$installer" release/TOOLS.EXE || fail "TOOLS.EXE is not the built installer"
"$bvpack" test release/TOOLS >"$work/test.txt" 2>&1 || fail "test: $(cat "$work/test.txt")"
grep -q "OK: 3 members" "$work/test.txt" || fail "test: $(cat "$work/test.txt")"
# init again: the file is kept.
cp TOOLS.INI "$work/TOOLS.INI.before"
"$bvpack" init ../Tools >/dev/null 2>&1 && fail "init overwrote TOOLS.INI"
cmp -s TOOLS.INI "$work/TOOLS.INI.before" || fail "TOOLS.INI changed"

# The installed sample, copied and built as its project file says.
cp -r "$work/moved/share/doc/brevant/sample" "$work/sample"
(cd "$work/sample" && "$bvpack" build SAMPLE.INI --quiet) >"$work/sample.txt" 2>&1 || fail "sample: $(cat "$work/sample.txt")"
cmp "$installer" "$work/sample/kit/SETUP.EXE" || fail "the sample's SETUP.EXE is not the built installer"
"$bvpack" test "$work/sample/kit/SETUP" >/dev/null 2>&1 || fail "test of the sample"

[ $failed = 0 ] && echo "installed, moved, init, build and test: all as expected"
exit $failed
