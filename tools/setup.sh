#!/usr/bin/env bash
# Installs what the kit needs on Debian 12: the mingw-w64 cross compilers,
# Wine (32- and 64-bit), Xvfb, CMake, GoogleTest sources, libinih for the
# packer's project files, nettle for its release checksums, CLI11 for its
# command line, help2man for its manual page, clang for the fuzzer, mtools
# and dosfstools for diskette images. Where the kernel cannot start 32-bit Linux programs (some virtual
# machines), 32-bit Wine runs through qemu-user from backports, registered
# with binfmt_misc; the backports entry is derived from the machine's own
# apt sources (the archive of the installed release, its suite name with
# "-backports").
#   tools/setup.sh            what building and testing need
#   tools/setup.sh package    also what packaging needs (lintian)
# Idempotent and quiet when all is present.
set -euo pipefail

pkgs=(cmake make g++ clang googletest libgtest-dev gzip
      g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
      wine wine32:i386 wine64 xvfb x11-utils imagemagick python3 pkg-config libinih-dev nettle-dev libcli11-dev
      help2man mtools dosfstools zlib1g-dev)
[ "${1:-}" = package ] && pkgs+=(lintian dpkg-dev)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

runs_i386() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

# The apt source entry of SUITE (CODENAME-backports), on the archive that
# the machine's own sources give for the installed release: the same
# address, components and signing key, in the deb822 form. The apt
# options of BV_APT_OPTIONS (e.g. -o Dir::Etc::sourceparts=DIR) choose
# other sources, for the test.
backports_entry() {
  local suite=$1 release=${1%-backports} uri components entry file line keys
  read -r uri entry < <(apt-get ${BV_APT_OPTIONS:-} indextargets --no-release-info --format '$(REPO_URI) $(SOURCESENTRY)' \
                         "Release: $release" "Target-Of: deb" | head -n 1) || true
  [ -n "${uri:-}" ] || { echo "setup: no apt source for $release" >&2; return 1; }
  components=$(apt-get ${BV_APT_OPTIONS:-} indextargets --no-release-info --format '$(COMPONENT)' "Release: $release" \
               "Repo-URI: $uri" "Target-Of: deb" | sort -u | tr '\n' ' ')
  file=${entry%:*} line=${entry##*:}
  # The key that signs the release's entry: the Signed-By field (a key file)
  # of the entry's stanza in deb822 sources (apt numbers stanzas, not
  # lines), or [signed-by=...] of the entry's line in one-line sources.
  case $file in
    *.sources) keys=$(awk -v n="$line" 'BEGIN { RS = "" }
                        { stanza = 0; k = split($0, lines, "\n"); for (i = 1; i <= k; i++) if (lines[i] !~ /^[ \t]*#/) stanza = 1 }
                        stanza && ++count == n { for (i = 1; i < NF; i++)
                                                   if (tolower($i) == "signed-by:") print $(i + 1) }' "$file") ;;
    *) keys=$(sed -n "${line}s/.*signed-by=\([^] ]*\).*/\1/p" "$file") ;;
  esac
  printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: %s\n' "$uri" "$suite" "${components% }"
  [ -z "$keys" ] || printf 'Signed-By: %s\n' "$keys"
}
[ "${1:-}" = --backports-entry ] && { backports_entry "$2"; exit; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# 32-bit programs: natively where the kernel allows, else through qemu-user
# (version 8 or later; older ones take a minute to start each Wine process).
if ! runs_i386; then
  if ! qemu-i386 --version 2>/dev/null | grep -qE 'version ([89]|[1-9][0-9])\.'; then
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")-backports
    echo "setup: installing qemu-user-static from $suite"
    backports_entry "$suite" | $sudo tee "/etc/apt/sources.list.d/$suite.sources" >/dev/null
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq -t "$suite" qemu-user-static >/dev/null
  fi
  bf=/proc/sys/fs/binfmt_misc
  [ -e $bf/register ] || $sudo mount -t binfmt_misc binfmt_misc $bf
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  for kind in 02 03; do
    name=kit-i386-$kind
    [ -e $bf/$name ] && echo -1 | $sudo tee $bf/$name >/dev/null
    printf ':%s:M::%s\\x%s\\x00\\x03\\x00:%s:%s:F\n' "$name" "$magic" "$kind" "$mask" \
      "$(readlink -f /usr/bin/qemu-i386)" | $sudo tee $bf/register >/dev/null
  done
  runs_i386 || { echo "setup: cannot run 32-bit programs" >&2; exit 1; }
fi
