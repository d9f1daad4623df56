#!/bin/sh
# Regenerates every bitmap resource (resources/bitmaps/*.bmp) and resources/bitmaps.rc2 from
# scripts/artwork.py. Needs Debian's Pillow for the system Python (apt-get install -y python3-pil).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
python=${PYTHON:-/usr/bin/python3}
if ! "$python" -c 'import PIL' 2>/dev/null; then
    echo "make_artwork: $python has no Pillow; run: apt-get install -y python3-pil" >&2
    exit 1
fi
exec "$python" "$root/scripts/artwork.py" "$root/resources/bitmaps" "$root/resources/bitmaps.rc2"
