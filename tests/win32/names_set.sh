#!/usr/bin/env bash
# Makes the release that the Wine names test installs: a product whose file
# and folder names, and default destination, hold é, ü and ß in the host's
# UTF-8, packed by the native bvpack (which stores them in Windows-1252);
# the test brings the installer it drives.
#   names_set.sh DIR BVPACK
set -euo pipefail
export LC_ALL=C.UTF-8   # the names below are UTF-8
dir=$1 bvpack=$2
rm -rf "$dir" && mkdir -p "$dir/product/Größe"
printf 'Kaffee.\r\n' >"$dir/product/café.txt"
printf 'Darüber.\r\n' >"$dir/product/Größe/über.txt"
printf 'Plain.\r\n' >"$dir/product/PLAIN.TXT"
"$bvpack" create "$dir/product" --out "$dir/set/SETUP" --dest 'C:\Größe' --no-installer
"$bvpack" list "$dir/set/SETUP"
