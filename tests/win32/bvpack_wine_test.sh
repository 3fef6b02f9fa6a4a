#!/usr/bin/env bash
# bvpack.exe under Wine against the native bvpack: the same sample tree and
# the same project files make the same volumes byte for byte, bad project
# files get the same messages, and bvpack.exe lists, tests and extracts the
# volumes as the native tool does.
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

# Damage is reported with its exit code through Wine: a changed byte that
# only the manifest's checksums show, then a missing volume.
case $out in *"checksums match"*) ;; *) fail "test did not check the manifest: $out" ;; esac
cp "$work/wine/SETUP.E01" "$work/SETUP.E01.good"
printf '\377' | dd of="$work/wine/SETUP.E01" bs=1 seek=100 conv=notrunc status=none
out=$(wine_bvpack test "$(win "$work/wine/SETUP")" 2>&1)
status=$?
[ $status = 1 ] || fail "test of a changed volume gave $status"
case $out in *"SETUP.E01 is damaged"*) ;; *) fail "changed volume not named: $out" ;; esac
cp "$work/SETUP.E01.good" "$work/wine/SETUP.E01"
rm "$work/wine/SETUP.E01"
out=$(wine_bvpack test "$(win "$work/wine/SETUP")" 2>&1)
status=$?
[ $status = 1 ] || fail "test of a broken chain gave $status"
case $out in *SETUP.E01*) ;; *) fail "missing volume not named: $out" ;; esac

# The sample's project file, pointed at the same tree: bvpack.exe builds what
# the native tool builds from it, and both what create made above.
cp "$installer" "$work/BVUNPACK.EXE"
project() {  # project OUTPUT: the sample's project file with its paths here
  sed -e "s|^Output = .*|Output = $1|" -e 's|^Installer = .*|Installer = BVUNPACK.EXE|' \
      -e 's|product/|src/|' -e 's|\.\./build/win32/sample/HELLO.EXE|src/HELLO.EXE|' "$sample/SAMPLE.INI"
}
project native-build >"$work/NATIVE.INI"
project wine-build >"$work/WINE.INI"
grep -q '^Source = src/HELLO.EXE$' "$work/WINE.INI" || fail "sample project not rewritten"
(cd "$work" && "$native" build NATIVE.INI --quiet) || fail "native build"
out=$(cd "$work" && wine_bvpack build WINE.INI)
echo "$out"
case $out in *"SETUP.E00: 4 members"*) ;; *) fail "build summary" ;; esac
for f in $(cat "$work/native.files"); do
  cmp "$work/native-build/$f" "$work/wine-build/$f" || fail "built $f differs"
  cmp "$work/native/$f" "$work/wine-build/$f" || fail "built $f differs from the created one"
done
(cd "$work/wine-build" && ls) | cmp -s - "$work/native.files" || fail "built volume set differs"

# Project files the two readers must take alike: each fixture accepted by
# both with the same volumes, or refused by both with exit code 2, the same
# message (path separators aside) and no volume.
mkdir -p "$work/ini/p/DOCS"
echo readme >"$work/ini/p/README.TXT"
echo manual >"$work/ini/p/DOCS/A.TXT"
touch -d '2020-01-15 12:34:56 UTC' "$work/ini/p/README.TXT" "$work/ini/p/DOCS/A.TXT"
setup='[Setup]\nName = SETUP\nOutput = out\n'
files='[Files]\nSource = p/README.TXT\n'
accepted=(
  "$setup$files"
  "; comment\n\n  [Setup]\n  Name = SETUP\n\tOutput = out\n# hash comment\n$files  ; indented comment\n"
  "${setup}Destination = C:\\\\X ; a comment\n$files\n[Group]\nName = \"quoted\" ;c\nItem = README.TXT, Read;me\n"
  "${setup}Destination =;kept\nChangeDestination=no\n$files"
  "\xef\xbb\xbf[Setup]\r\nName = SETUP\r\nOutput = out\r\n\r\n[Files]\r\n  Source = p/DOCS => D\r\n"
  "$setup[Files] trailing\nSource = p/*\n[Run]]\nProgram = README.TXT /a=b\n"
  "[Setup]\nName = \"SETUP\"\nOutput = out\nDestination = \"C:\\\\Program Files\\\\X\"\n$files"
)
refused=(
  "${setup}Nmae = X\n$files"                       # unknown key
  "$setup${files}Source = p/NONE.TXT\n"             # missing file
  "$setup${files}just a line\n"                     # no '='
  "${setup}Destination: C:\\\\X\n$files"             # libinih's ':'
  "$setup[Files\nSource = p/README.TXT\n"           # unclosed heading
  "$setup[Files ;c]\nSource = p/README.TXT\n"       # comment in a heading
  "${setup}Key ;c = v\n$files"                      # comment in a key
  "Top = 1\n$setup$files"                           # key before any section
  "$setup$files[setup]\nDestination = C:\\\\Y\n"     # a section twice
  "$setup[ ]\nk = 1\n$files"                        # heading without a name
  "$setup$files[]\n"
  "${setup}Destination = C:\\\\$(printf 'D%.0s' {1..200})\n$files"  # too long
)
run_both() {  # run_both TEXT: sets nstatus nout wstatus wout
  printf "$1" >"$work/ini/PROJECT.INI"
  rm -rf "$work/ini/out" "$work/ini/native-out"
  nout=$(cd "$work/ini" && "$native" build PROJECT.INI --quiet 2>&1)
  nstatus=$?
  [ -d "$work/ini/out" ] && mv "$work/ini/out" "$work/ini/native-out"
  wout=$(cd "$work/ini" && wine_bvpack build PROJECT.INI --quiet 2>&1)
  wstatus=$?
  wout=$(printf '%s' "$wout" | tr -d '\r' | tr '\\' /)
}
for text in "${accepted[@]}"; do
  run_both "$text"
  [ $nstatus = 0 ] && [ $wstatus = 0 ] || { fail "refused ($nstatus, $wstatus): $text: $nout / $wout"; continue; }
  diff -r "$work/ini/native-out" "$work/ini/out" >/dev/null || fail "volumes differ: $text"
done
for text in "${refused[@]}"; do
  run_both "$text"
  echo "$wout"
  [ $nstatus = 2 ] && [ $wstatus = 2 ] || fail "exit codes $nstatus, $wstatus: $text"
  [ "$(printf '%s' "$nout" | tr '\\' /)" = "$wout" ] || fail "messages differ: $nout / $wout"
  case $wout in "bvpack: PROJECT.INI:"[0-9]*": "*) ;; *) fail "no line: $wout" ;; esac
  [ -e "$work/ini/out" ] && fail "volume written: $text"
done

# Names with accents: bvpack.exe walks the tree and opens the files by their
# names in the system's code page (1252 in the bed) and stores them as the
# native tool does; list shows them in that code page, extract makes them
# again.
mkdir -p "$work/names/src/Größe"
printf 'Kaffee.\r\n' >"$work/names/src/café.txt"
printf 'Darüber.\r\n' >"$work/names/src/Größe/über.txt"
touch -d '2020-01-15 12:34:56 UTC' "$work/names/src/café.txt" "$work/names/src/Größe/über.txt"
"$native" create "$work/names/src" --out "$work/names/native/SETUP" --quiet || fail "native create, names"
wine_bvpack create "$(win "$work/names/src")" --out "$(win "$work/names/wine/SETUP")" --quiet || fail "create, names"
cmp "$work/names/native/SETUP.E00" "$work/names/wine/SETUP.E00" || fail "volume with accented names differs"
wine_bvpack list "$(win "$work/names/wine/SETUP")" | tr -d '\r' | iconv -f CP1252 -t UTF-8 >"$work/names/wine.list"
"$native" list "$work/names/native/SETUP" >"$work/names/native.list"
diff "$work/names/native.list" "$work/names/wine.list" || fail "list of accented names differs"
wine_bvpack extract "$(win "$work/names/wine/SETUP")" --to "$(win "$work/names/x")" --quiet || fail "extract, names"
diff -r "$work/names/src" "$work/names/x" || fail "extracted accented names differ"
printf '[Setup]\nName = SETUP\nOutput = %s\n[Files]\nSource = src/*\n' native-build >"$work/names/NATIVE.INI"
printf '[Setup]\nName = SETUP\nOutput = %s\n[Files]\nSource = src/*\n' wine-build >"$work/names/WINE.INI"
(cd "$work/names" && "$native" build NATIVE.INI --quiet) || fail "native build, names"
(cd "$work/names" && wine_bvpack build WINE.INI --quiet) || fail "build, names"
cmp "$work/names/native-build/SETUP.E00" "$work/names/wine-build/SETUP.E00" || fail "built volume with accented names differs"
cmp "$work/names/native/SETUP.E00" "$work/names/wine-build/SETUP.E00" || fail "built and created volumes differ, names"

# As in the Windows zip: bvpack.exe finds bvunpack.exe beside itself and
# gives it to a release that names no installer.
mkdir -p "$work/zip" && cp "$exe" "$installer" "$work/zip/"
zip_bvpack() { (unset BVPACK_INSTALLER; "$winebed" run "$bed" "$work/zip/bvpack.exe" "$@"); }
out=$(zip_bvpack --version 2>&1 | tr -d '\r')
case $out in *"installer: "*"zip\bvunpack.exe ($(stat -c %s "$installer") bytes)"*) ;;
  *) fail "bvpack.exe --version: $out" ;; esac
zip_bvpack create "$(win "$work/src")" --out "$(win "$work/zip-release/SETUP")" --quiet || fail "create with the installer beside bvpack.exe"
cmp "$installer" "$work/zip-release/SETUP.EXE" || fail "the release's SETUP.EXE is not the installer beside bvpack.exe"

[ $failed = 0 ] && echo "bvpack.exe under Wine: all checks passed"
exit $failed
