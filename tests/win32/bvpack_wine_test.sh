#!/usr/bin/env bash
# bvpack.exe under Wine against the native bvpack: the same sample tree makes
# the same volumes byte for byte, and bvpack.exe lists, tests and extracts
# them as the native tool does.
#   bvpack_wine_test.sh WINEBED BED_DIR BVPACK_EXE NATIVE_BVPACK SAMPLE_DIR HELLO_EXE INSTALLER
set -u
winebed=$1 bed=$2 exe=$3 native=$4 sample=$5 hello=$6 installer=$7
work=$(realpath -m "$bed/work/bvpack-wine")
failed=0
fail() { echo "FAILED: $*"; failed=1; }
win() { local p=${1//\//\\}; echo "Z:$p"; }
# Both tools turn file times into local time: give them the same zone.
export TZ=UTC
wine_bvpack() { "$winebed" run "$bed" "$exe" "$@"; }

rm -rf "$work" && mkdir -p "$work"
cp -r "$sample/product" "$work/src"
cp "$hello" "$work/src/HELLO.EXE"
touch -d '2020-01-15 12:34:56 UTC' $(find "$work/src" -type f)
touch -d '1999-07-01 08:00:00 UTC' "$work/src/DOCS/MANUAL.TXT"
chmod a-w "$work/src/DOCS/MANUAL.TXT"
options=(--dest 'C:\SAMPLE' --volume 8000 --group 'Brevant Sample' --item 'HELLO.EXE,Hello'
         --item 'README.TXT,Read me' --run HELLO.EXE)

"$native" create "$work/src" --out "$work/native/SETUP" "${options[@]}" --installer "$installer" --quiet ||
  fail "native create"
out=$(wine_bvpack create "$(win "$work/src")" --out "$(win "$work/wine/SETUP")" "${options[@]}" \
      --installer "$(win "$installer")")
echo "$out"
case $out in *"SETUP.E00: 4 members"*) ;; *) fail "create summary" ;; esac

# The same files, byte for byte; more than one volume.
(cd "$work/native" && ls) >"$work/native.files"
(cd "$work/wine" && ls) >"$work/wine.files"
cmp -s "$work/native.files" "$work/wine.files" || fail "volume sets differ: $(paste -s "$work/wine.files")"
for f in $(cat "$work/native.files"); do
  cmp "$work/native/$f" "$work/wine/$f" || fail "$f differs"
done
grep -qx SETUP.E01 "$work/wine.files" || fail "one volume only"
echo "volumes alike: $(paste -sd' ' "$work/wine.files")"

# list shows what the native tool shows (Windows line ends aside).
wine_bvpack list "$(win "$work/wine/SETUP")" | tr -d '\r' >"$work/wine.list" || fail "list"
"$native" list "$work/native/SETUP" >"$work/native.list"
diff "$work/native.list" "$work/wine.list" || fail "list differs"
cat "$work/wine.list"

out=$(wine_bvpack test "$(win "$work/wine/SETUP")") || fail "test"
echo "$out"
case $out in "OK: 4 members, "*) ;; *) fail "test summary" ;; esac

wine_bvpack extract "$(win "$work/wine/SETUP")" --to "$(win "$work/x")" --quiet || fail "extract"
diff -r "$work/src" "$work/x" || fail "extracted files differ"
for f in README.TXT DOCS/MANUAL.TXT HELLO.EXE; do
  [ "$(stat -c %Y "$work/src/$f")" = "$(stat -c %Y "$work/x/$f")" ] || fail "time of $f"
done
(( $(stat -c 0%a "$work/x/DOCS/MANUAL.TXT") & 0222 )) && fail "MANUAL.TXT not read-only"

# Damage is reported with its exit code through Wine.
rm "$work/wine/SETUP.E01"
out=$(wine_bvpack test "$(win "$work/wine/SETUP")" 2>&1)
status=$?
[ $status = 1 ] || fail "test of a broken chain gave $status"
case $out in *SETUP.E01*) ;; *) fail "missing volume not named: $out" ;; esac

# Project files need libinih, which Windows builds lack: refused cleanly.
printf '[Setup]\nName = SETUP\n' >"$work/PROJECT.INI"
out=$(wine_bvpack build "$(win "$work/PROJECT.INI")" 2>&1)
status=$?
[ $status = 2 ] || fail "build gave $status"
case $out in *"not supported by this build"*) ;; *) fail "build said: $out" ;; esac

[ $failed = 0 ] && echo "bvpack.exe under Wine: all checks passed"
exit $failed
