#!/usr/bin/env bash
# run.sh BUILD_DIR: installs the build into a fresh prefix, builds the C host
# against it with pkg-config alone, runs it on an MP3 and an Ogg file made
# here, and reads what it saved with independent readers.
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d /tmp/zmtagio-host-XXXXXX)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
pc=$(dirname "$(find "$tmp/prefix" -name zmtagio.pc)")
export PKG_CONFIG_PATH=$pc
libdir=$(pkg-config --variable=libdir zmtagio)
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror -pedantic -pthread "$here/host.c" -o "$tmp/host" \
  $(pkg-config --cflags --libs zmtagio) -Wl,-rpath,"$libdir"

sine=(-nostdin -y -loglevel error -f lavfi -i sine=frequency=440:duration=1 -ac 1)
ffmpeg "${sine[@]}" -c:a libmp3lame -id3v2_version 3 -metadata title=Old -metadata track=1 "$tmp/a.mp3"
ffmpeg "${sine[@]}" "$tmp/a.wav"
oggenc -Q -c TITLE=Old -c ARTIST=Band -o "$tmp/a.ogg" "$tmp/a.wav" 2>/dev/null

"$tmp/host" "$tmp/a.mp3" "$tmp/a.ogg"
# Debian's interpreter, which has python3-mutagen.
/usr/bin/python3 - "$tmp/a.mp3" <<'PY'
import sys
from mutagen.id3 import ID3
tags = ID3(sys.argv[1], translate=False)
got = {key: str(tags[key]) for key in ("TIT2", "TRCK", "TYER")}
want = {"TIT2": "Host \u2603", "TRCK": "7/12", "TYER": "2024"}
sys.exit(0 if got == want else "mp3 tags read back by mutagen: %r" % got)
PY
grep -qx "TITLE=Host title" <(vorbiscomment -l "$tmp/a.ogg") || { echo "ogg title not read back" >&2; exit 1; }
ogginfo -q "$tmp/a.ogg"
echo "host: saved tags read back by mutagen and vorbiscomment"
