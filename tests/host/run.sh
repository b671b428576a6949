#!/usr/bin/env bash
# run.sh BUILD_DIR: installs the build into a fresh prefix, builds the C host
# against it with pkg-config alone, runs it on MP3, Ogg and Windows Media
# files made here, and reads what it saved with independent readers.
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
ffmpeg "${sine[@]}" -c:a wmav2 -metadata title=Old -f asf "$tmp/a.wma"
ffmpeg "${sine[@]}" "$tmp/a.wav"
oggenc -Q -c TITLE=Old -c ARTIST=Band -o "$tmp/a.ogg" "$tmp/a.wav" 2>/dev/null

"$tmp/host" "$tmp/a.mp3" "$tmp/a.ogg" "$tmp/a.wma"
/usr/bin/python3 "$here/check_saved.py" "$tmp/a.mp3" "$tmp/a.ogg" "$tmp/a.wma"
ogginfo -q "$tmp/a.ogg"
echo "host: saved tags read back by mutagen"
