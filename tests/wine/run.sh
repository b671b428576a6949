#!/usr/bin/env bash
# zmTagIO.DLL under Wine, 32-bit and 64-bit: each DLL, a COM client and the
# C host (tests/host) of the same width are cross-built with mingw-w64 (which
# checks the record layout of that width). In a fresh prefix of that width,
# three copies of the DLL go from regsvr32 to regsvr32 /u, checked by the
# client: a plain one, with which the C host also edits media checked
# afterwards with independent readers, one in a path with a single quote, and
# one whose type library only the ".tlb" beside it gives.
# Skips, saying why, only where the cross compilers or Wine cannot be had.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
failures=0 ran=0
say() { printf 'wine: %s\n' "$*"; }
fail() { say "FAIL $*" && failures=$((failures + 1)); }

# Runs one step; prints the output of a step that fails. The output goes
# through a file: the prefix's services inherit it and outlive the step.
step() {
  local log
  log=$(mktemp /tmp/zmtagio-step-XXXXXX)
  if "${@:2}" >"$log" 2>&1; then say "ok   $1"; else fail "$1 (exit status $?)" && sed 's/^/      /' "$log"; fi
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

make_media() {  # folder
  local sine=(-nostdin -y -loglevel error -f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -ac 1)
  ffmpeg "${sine[@]}" -c:a libmp3lame -b:a 64k -write_xing 0 -id3v2_version 3 -write_id3v1 1 \
    -metadata title="Wine Title" -metadata artist="Wine Artist" "$1/tagged.mp3" &&
    ffmpeg "${sine[@]}" "$1/tone.wav" &&
    oggenc -Q -c "TITLE=Wine Title" -c "ARTIST=Wine Artist" -o "$1/tagged.ogg" "$1/tone.wav" 2>/dev/null &&
    ffmpeg "${sine[@]}" -c:a wmav2 -b:a 64k -metadata title="Wine Title" -f asf "$1/tagged.wma"
}

decoded_md5() { ffmpeg -nostdin -loglevel error -i "$1" -map 0:a -f md5 - 2>/dev/null; }

# What the C host wrote, as other programs read it; the sound is untouched.
verify_media() {  # folder
  step "tags as mutagen reads them" /usr/bin/python3 "$root/tests/host/check_saved.py" "$1/tagged.mp3" \
    "$1/tagged.ogg" "$1/tagged.wma"
  step "ogg stream passes ogginfo" ogginfo -q "$1/tagged.ogg"
  step "nothing left beside the media" test "$(ls -A "$1" | tr '\n' ' ')" = "tagged.mp3 tagged.ogg tagged.wma "
  local kind
  for kind in mp3 ogg wma; do
    step "$kind sound unchanged" test "$(decoded_md5 "$1/tagged.$kind")" = "${md5[$kind]}"
  done
}

# One copy of the DLL from registration to unregistration.
cycle() {  # folder typelib-file [media folder]
  local dll at="${1##*/}:"
  dll=$(win "$1/zmTagIO.DLL")
  step "$at stale class key" "$wine" reg add 'HKCR\CLSID\{D7BC36D7-5776-499A-96A6-297F3182E882}\Stale' /f
  step "$at regsvr32" "$wine" regsvr32 /s "$dll"
  step "$at registry, creation, contract${3:+, host exports}" \
    "$wine" "$client" registered "$dll" "$(win "$2")" ${3:+"$(win "$3/tagged.ogg")"}
  if [ -n "${3-}" ]; then
    step "$at C host: threads, literals, the record after saving" \
      "$wine" "$host" "$(win "$3/tagged.mp3")" "$(win "$3/tagged.ogg")" "$(win "$3/tagged.wma")"
    verify_media "$3"
  fi
  step "$at regsvr32 /u" "$wine" regsvr32 /s /u "$dll"
  step "$at registry after unregistration" "$wine" "$client" unregistered
}

run_width() {  # width loader arch
  local wine=$2 client=$root/build-win$1/client/zmtagio_client.exe dlls=$root/build-win$1/src/com
  local host=$root/build-win$1/client/zmtagio_host.exe
  [ -x "$wine" ] || { say "SKIP $1-bit: $wine is not installed (scripts/install-deps.sh wine installs it)" && return; }
  local tmp wineserver
  tmp=$(mktemp -d /tmp/zmtagio-wine-XXXXXX)
  wineserver=$(dirname "$wine")/wineserver
  export WINEPREFIX=$tmp/prefix WINEARCH=$3 WINEDEBUG=-all
  unset DISPLAY WAYLAND_DISPLAY
  if "$wine" wineboot -i >/dev/null 2>&1; then
    # Once the new prefix is saved, one persistent server serves the whole
    # run: started anew for every program, it would bring up the prefix's
    # services each time.
    "$wineserver" -w
    "$wineserver" -p
    ran=$((ran + 1))
    say "$1-bit DLL in a fresh $3 prefix"
    # The media lie in a folder whose name is not ASCII: the component takes
    # paths in the ANSI code page.
    local main="$tmp/main" quoted="$tmp/it's here" fallback="$tmp/fallback" media="$tmp/médias" folder
    mkdir -p "$main" "$quoted" "$fallback" "$media"
    for folder in "$main" "$quoted" "$fallback"; do cp "$dlls/zmTagIO.DLL" "$folder/"; done
    cp "$dlls/zmTagIO.tlb" "$fallback/"
    [ -n "$originals" ] && cp "$originals"/tagged.* "$media/"
    cycle "$main" "$main/zmTagIO.DLL" ${originals:+"$media"}
    cycle "$quoted" "$quoted/zmTagIO.DLL"
    step "module without a usable type library" "$wine" "$client" spoil-typelib "$(win "$fallback/zmTagIO.DLL")"
    cycle "$fallback" "$fallback/zmTagIO.tlb"
  else
    say "SKIP $1-bit: Wine could not create a $3 prefix"
  fi
  "$wineserver" -k >/dev/null 2>&1
  rm -rf "$tmp"
}

for compiler in i686-w64-mingw32-g++ x86_64-w64-mingw32-g++; do
  command -v "$compiler" >/dev/null ||
    { say "SKIP: $compiler is not installed (scripts/install-deps.sh wine installs it)" && exit 0; }
done
for target in "32 mingw-i686" "64 mingw-x86_64"; do
  set -- $target
  log=$(mktemp /tmp/zmtagio-build-XXXXXX)
  build "$1" "$2" >"$log" 2>&1 ||
    { fail "$1-bit build" && grep -E 'error|Error' "$log" | head -40 | sed 's/^/      /'; }
  rm -f "$log"
  [ "$failures" -eq 0 ] || exit 1
  say "ok   $1-bit DLL and client built"
done

# The media files, made once; each width edits copies.
originals=$(mktemp -d /tmp/zmtagio-media-XXXXXX)
trap 'rm -rf "$originals"' EXIT
declare -A md5
if make_media "$originals"; then
  for kind in mp3 ogg wma; do md5[$kind]=$(decoded_md5 "$originals/tagged.$kind"); done
else
  fail "ffmpeg or oggenc could not make the media files"
  rm -rf "$originals" && originals=
fi

run_width 32 /usr/lib/wine/wine win32
run_width 64 /usr/lib/wine/wine64 win64
[ "$failures" -eq 0 ] || { say "$failures failed"; exit 1; }
say "all passed ($ran of 2 widths ran)"
