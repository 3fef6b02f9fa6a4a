#!/usr/bin/env bash
# tools/setup.sh derives its backports entry from the machine's apt sources:
# the release's archive with its address, components and key, whatever form
# the sources take, and fails when the release has no source.
#   setup_backports_test.sh SETUP_SH WORK_DIR
set -u
setup=$1 work=$2
failed=0
rm -rf "$work" && mkdir -p "$work"

# derive NAME SUITE EXPECTED: the sources in $work/NAME.list or
# $work/NAME/*.sources give EXPECTED (empty: the derivation must fail).
derive() {
  local name=$1 suite=$2 expected=$3 list=/dev/null parts=$work/empty got status
  mkdir -p "$parts"
  [ -e "$work/$name.list" ] && list=$work/$name.list
  [ -d "$work/$name" ] && parts=$work/$name
  got=$(BV_APT_OPTIONS="-o Dir::Etc::sourcelist=$list -o Dir::Etc::sourceparts=$parts" \
        bash "$setup" --backports-entry "$suite" 2>"$work/$name.err")
  status=$?
  if [ -z "$expected" ]; then
    [ $status -ne 0 ] && [ -z "$got" ] || { echo "FAILED $name: expected a failure, got rc $status: $got"; failed=1; }
  elif [ $status -ne 0 ] || [ "$got" != "$expected" ]; then
    printf 'FAILED %s (rc %d):\n%s\nexpected:\n%s\n' "$name" $status "$got" "$expected"; failed=1
  fi
}

cat >"$work/oneline.list" <<'END'
# the release, its updates and security
deb [arch=amd64 signed-by=/usr/share/keyrings/archive.gpg] file:/srv/archive bookworm main contrib
deb file:/srv/archive bookworm-updates main
deb file:/srv/security bookworm-security main
END
derive oneline bookworm-backports "Types: deb
URIs: file:/srv/archive/
Suites: bookworm-backports
Components: contrib main
Signed-By: /usr/share/keyrings/archive.gpg"

mkdir -p "$work/deb822"
cat >"$work/deb822/release.sources" <<'END'
# Sources of this machine: a comment alone is no stanza.

Types: deb
URIs: file:/srv/other
Suites: trixie
Components: main
Signed-By: /usr/share/keyrings/other.gpg

Types: deb
URIs: file:/srv/archive
Suites: bookworm bookworm-updates
Components: main non-free-firmware
Signed-By: /usr/share/keyrings/archive.gpg
END
derive deb822 bookworm-backports "Types: deb
URIs: file:/srv/archive/
Suites: bookworm-backports
Components: main non-free-firmware
Signed-By: /usr/share/keyrings/archive.gpg"

cat >"$work/nokey.list" <<'END'
deb file:/srv/archive bookworm main
END
derive nokey bookworm-backports "Types: deb
URIs: file:/srv/archive/
Suites: bookworm-backports
Components: main"

derive oneline trixie-backports ""
exit $failed
