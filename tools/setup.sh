#!/usr/bin/env bash
# Installs what the kit needs on Debian 12: the mingw-w64 cross compilers,
# Wine (32- and 64-bit), Xvfb, CMake, GoogleTest sources, libinih for the
# packer's project files, nettle for its release checksums, clang for the
# fuzzer, mtools and dosfstools for diskette images. Where the kernel cannot start 32-bit Linux programs (some
# virtual machines), 32-bit Wine runs through qemu-user from backports,
# registered with binfmt_misc.
# Idempotent and quiet when all is present.
set -euo pipefail

pkgs=(cmake make g++ clang googletest libgtest-dev gzip
      g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
      wine wine32:i386 wine64 xvfb x11-utils imagemagick python3 pkg-config libinih-dev nettle-dev mtools dosfstools
      zlib1g-dev)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

runs_i386() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

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
    echo "setup: installing qemu-user-static from bookworm-backports"
    echo 'deb http://deb.debian.org/debian bookworm-backports main' |
      $sudo tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq -t bookworm-backports qemu-user-static >/dev/null
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
