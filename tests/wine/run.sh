#!/usr/bin/env bash
# zmTagIO.DLL under Wine, 32-bit and 64-bit: each DLL and a COM client of the
# same width are cross-built with mingw-w64, then a fresh Wine prefix of that
# width sees registration with regsvr32, every registry entry, creation by
# program id and class id, the module contract, tag sessions on an MP3, an
# Ogg and a WMA file (checked afterwards with independent readers),
# unregistration, a module path with a single quote and the ".tlb" fallback.
# Skips, saying why, only where the cross compilers or Wine cannot be had.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
failures=0
ran=0

say() { printf 'wine: %s\n' "$*"; }
fail() {
  say "FAIL $*"
  failures=$((failures + 1))
}

# Runs one step; prints the output of a step that fails. The output goes
# through a file: the prefix's services inherit it and outlive the step.
step() {
  local what=$1 log status
  shift
  log=$(mktemp /tmp/zmtagio-step-XXXXXX)
  "$@" >"$log" 2>&1
  status=$?
  if [ "$status" -eq 0 ]; then
    say "ok   $what"
  else
    fail "$what (exit status $status)"
    grep -v ': ok$' "$log" | sed 's/^/      /'
  fi
  rm -f "$log"
}

# The path under which Wine's drive Z: shows a Linux path.
win() { printf 'Z:%s' "${1//\//\\}"; }

build() {  # width toolchain
  local dir=$root/build-win$1 toolchain=$root/cmake/toolchains/$2.cmake
  cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release &&
    cmake --build "$dir" -j 2 --target zmTagIO &&
    cmake -S "$root/tests/wine" -B "$dir/client" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release &&
    cmake --build "$dir/client" -j 2
}

sine() { printf '%s' "sine=frequency=440:sample_rate=44100:duration=1"; }

make_media() {  # folder
  local dir=$1
  ffmpeg -nostdin -y -loglevel error -f lavfi -i "$(sine)" -ac 1 -c:a libmp3lame -b:a 64k -write_xing 0 \
    -id3v2_version 3 -write_id3v1 1 -metadata title="Wine Title" -metadata artist="Wine Artist" \
    "$dir/tagged.mp3" &&
    ffmpeg -nostdin -y -loglevel error -f lavfi -i "$(sine)" -ac 1 "$dir/tone.wav" &&
    oggenc -Q -c "TITLE=Wine Title" -c "ARTIST=Wine Artist" -o "$dir/tagged.ogg" "$dir/tone.wav" 2>/dev/null &&
    ffmpeg -nostdin -y -loglevel error -f lavfi -i "$(sine)" -ac 1 -c:a wmav2 -b:a 64k \
      -metadata title="Wine Title" -f asf "$dir/tagged.wma"
}

decoded_md5() { ffmpeg -nostdin -loglevel error -i "$1" -map 0:a -f md5 - 2>/dev/null; }

# What the session wrote, as other programs read it; the sound is untouched.
verify_media() {  # folder
  local dir=$1
  # Debian's interpreter, which has python3-mutagen.
  step "mp3 tags as mutagen reads them" /usr/bin/python3 - "$dir/tagged.mp3" <<'PY'
import sys
from mutagen.id3 import ID3
path = sys.argv[1]
title = str(ID3(path)["TIT2"])
block = open(path, "rb").read()[-128:]
v1_title, v1_artist = block[3:33].rstrip(b"\0"), block[33:63].rstrip(b"\0")
ok = title == "Edited under Wine" and block[:3] == b"TAG" and v1_title == b"Wine Title" and v1_artist == b"V1 Artist"
print(title, v1_title, v1_artist)
sys.exit(0 if ok else 1)
PY
  step "ogg comment as vorbiscomment reads it" grep -qx "TITLE=Edited under Wine" \
    <(vorbiscomment -l "$dir/tagged.ogg")
  step "ogg stream passes ogginfo" ogginfo -q "$dir/tagged.ogg"
  step "wma title as ffprobe reads it" grep -qx "Edited under Wine" \
    <(ffprobe -v error -show_entries format_tags=title -of default=nw=1:nk=1 "$dir/tagged.wma")
  local kind
  for kind in mp3 ogg wma; do
    step "$kind sound unchanged" test "$(decoded_md5 "$dir/tagged.$kind")" = "${md5[$kind]}"
  done
}

run_width() {  # width loader arch media
  local width=$1 wine=$2 arch=$3 originals=$4
  local build=$root/build-win$width
  local client=$build/client/zmtagio_client.exe
  if [ ! -x "$wine" ]; then
    say "SKIP $width-bit: $wine is not installed (scripts/install-deps.sh wine installs it)"
    return
  fi
  local tmp
  tmp=$(mktemp -d /tmp/zmtagio-wine-XXXXXX)
  export WINEPREFIX=$tmp/prefix WINEARCH=$arch WINEDEBUG=-all
  unset DISPLAY WAYLAND_DISPLAY
  local wineserver
  wineserver=$(dirname "$wine")/wineserver
  if ! "$wine" wineboot -i >/dev/null 2>&1; then
    say "SKIP $width-bit: Wine could not create a $arch prefix"
    "$wineserver" -k >/dev/null 2>&1
    rm -rf "$tmp"
    return
  fi
  # Once the new prefix is saved, one persistent server serves the whole run:
  # started anew for every program, it would bring up the prefix's services
  # each time.
  "$wineserver" -w
  "$wineserver" -p
  ran=$((ran + 1))
  say "$width-bit DLL in a fresh $arch prefix"

  # The media lie in a folder whose name is not ASCII: the component takes
  # paths in the ANSI code page.
  local main="$tmp/main" quoted="$tmp/it's here" fallback="$tmp/fallback" media="$tmp/médias"
  mkdir -p "$main" "$quoted" "$fallback" "$media"
  local folder
  for folder in "$main" "$quoted" "$fallback"; do cp "$build/src/com/zmTagIO.DLL" "$folder/"; done
  cp "$build/src/com/zmTagIO.tlb" "$fallback/"
  local dll
  dll=$(win "$main/zmTagIO.DLL")

  step "stale class key before registration" "$wine" reg add \
    'HKCR\CLSID\{D7BC36D7-5776-499A-96A6-297F3182E882}\Stale' /f
  step "regsvr32" "$wine" regsvr32 /s "$dll"
  step "registry after registration" "$wine" "$client" registered "$dll" "$dll"
  step "creation and module contract" "$wine" "$client" create "$dll"
  if [ -n "$originals" ]; then
    cp "$originals"/tagged.* "$media/"
    step "tag sessions" "$wine" "$client" session "$(win "$media/tagged.mp3")" "$(win "$media/tagged.ogg")" \
      "$(win "$media/tagged.wma")"
    verify_media "$media"
  fi
  step "regsvr32 /u" "$wine" regsvr32 /s /u "$dll"
  step "registry after unregistration" "$wine" "$client" unregistered

  dll=$(win "$quoted/zmTagIO.DLL")
  step "regsvr32 of a path with a quote" "$wine" regsvr32 /s "$dll"
  step "registry holds the quoted path" "$wine" "$client" registered "$dll" "$dll"
  step "creation from the quoted path" "$wine" "$client" create "$dll"
  step "regsvr32 /u of the quoted path" "$wine" regsvr32 /s /u "$dll"
  step "registry after unregistration" "$wine" "$client" unregistered

  dll=$(win "$fallback/zmTagIO.DLL")
  step "module without a usable type library" "$wine" "$client" spoil-typelib "$dll"
  step "regsvr32 with the .tlb beside the module" "$wine" regsvr32 /s "$dll"
  step "registry names the .tlb" "$wine" "$client" registered "$dll" "$(win "$fallback/zmTagIO.tlb")"
  step "regsvr32 /u with the .tlb" "$wine" regsvr32 /s /u "$dll"
  step "registry after unregistration" "$wine" "$client" unregistered

  "$wineserver" -k >/dev/null 2>&1
  rm -rf "$tmp"
}

for compiler in i686-w64-mingw32-g++ x86_64-w64-mingw32-g++; do
  if ! command -v "$compiler" >/dev/null; then
    say "SKIP: $compiler is not installed (scripts/install-deps.sh wine installs it)"
    exit 0
  fi
done

# Building includes the compile-time check of the record layout for 32-bit
# and 64-bit pointers (tests/wine/RecordLayout.cpp).
for target in "32 mingw-i686" "64 mingw-x86_64"; do
  set -- $target
  log=$(mktemp /tmp/zmtagio-build-XXXXXX)
  if build "$1" "$2" >"$log" 2>&1; then
    say "ok   $1-bit DLL and client built"
  else
    fail "$1-bit build"
    grep -E 'error|Error' "$log" | head -40 | sed 's/^/      /'
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
done

# The media files, made once; each width edits copies.
originals=$(mktemp -d /tmp/zmtagio-media-XXXXXX)
trap 'rm -rf "$originals"' EXIT
declare -A md5
if make_media "$originals"; then
  for kind in mp3 ogg wma; do md5[$kind]=$(decoded_md5 "$originals/tagged.$kind"); done
  media=$originals
else
  fail "ffmpeg or oggenc could not make the media files"
  media=
fi

run_width 32 /usr/lib/wine/wine win32 "$media"
run_width 64 /usr/lib/wine/wine64 win64 "$media"

if [ "$failures" -ne 0 ]; then
  say "$failures failed"
  exit 1
fi
say "all passed ($ran of 2 widths ran)"
