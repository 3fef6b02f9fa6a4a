#!/usr/bin/env bash
# Makes the diskette release that the Wine diskette test installs: a
# product too large for two 360K diskettes, packed by bvpack with a disk-1
# file and images, every image checked by fsck.fat and its files taken out
# with mtools into DIR/disk/N, as a drive would show them.
#   diskette_set.sh DIR BVPACK INSTALLER
set -euo pipefail
dir=$1 bvpack=$2 installer=$3
export PATH=$PATH:/usr/sbin:/sbin MTOOLSRC=/dev/null
rm -rf "$dir" && mkdir -p "$dir/product/DATA/SUB" "$dir/extra"
python3 - "$dir/product" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(10)
def write(path, data):
    with open(os.path.join(root, path), 'wb') as f:
        f.write(data)
write('README.TXT', b'Read me first.\r\n')
write('DATA/NOISE1.BIN', rng.randbytes(450000))
write('DATA/SUB/NOISE2.BIN', rng.randbytes(400000))
write('DATA/TEXT.TXT', b''.join(b'line %d of the text\r\n' % rng.randrange(1000) for _ in range(4000)))
write('EMPTY.DAT', b'')
write('RO.TXT', b'read-only contents')
PY
# Stamps on even seconds, as DOS keeps them.
touch -d '1995-07-14 13:45:30' "$dir/product/README.TXT"
touch -d '2010-12-31 23:59:58' "$dir/product/DATA/NOISE1.BIN"
touch -d '2001-02-03 04:05:06' "$dir/product/DATA/SUB/NOISE2.BIN" "$dir/product/DATA/TEXT.TXT"
touch -d '1980-01-01 00:00:00' "$dir/product/EMPTY.DAT"
touch -d '2000-02-29 12:00:00' "$dir/product/RO.TXT"
chmod a-w "$dir/product/RO.TXT"
printf 'Lies mich zuerst.\r\n' >"$dir/extra/LIESMICH.TXT"
touch -d '1997-03-15 12:30:00' "$dir/extra/LIESMICH.TXT"

"$bvpack" create "$dir/product" --out "$dir/set/SETUP" --volume 360K --installer "$installer" \
  --disk1 "$dir/extra/LIESMICH.TXT" --images
for image in "$dir"/set/DISK*.IMG; do
  n=${image##*/DISK}; n=${n%.IMG}
  fsck.fat -n "$image"
  mkdir -p "$dir/disk/$n"
  mcopy -m -i "$image" '::*' "$dir/disk/$n/"
done
ls -lR "$dir/disk"
