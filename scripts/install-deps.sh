#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: packages that are
# already present are not asked for again, so a warm machine spends no time here.
# Usage: install-deps.sh [base|wine|bench|all]
set -euo pipefail

base=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
      nlohmann-json3-dev clang libclang-rt-14-dev valgrind python3 python3-mutagen
      ffmpeg vorbis-tools eyed3 id3v2)
cross=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools)
wine=(wine64 wine libwine-dev)
bench=(libtag1-dev hyperfine time)

missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || echo "$p"
  done
}

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

updated=0
install() {
  local need
  need=$(missing "$@")
  [ -z "$need" ] && return 0
  if [ "$updated" -eq 0 ]; then as_root apt-get update -qq; updated=1; fi
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $need
}

want=${1:-base}
install "${base[@]}"
case "$want" in
  base) ;;
  wine|all)
    install "${cross[@]}"
    # The 32-bit Wine loader comes from the i386 architecture.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      as_root dpkg --add-architecture i386; updated=0
    fi
    install "${wine[@]}" wine32:i386 || echo "install-deps: Wine could not be installed; Wine tests will skip" >&2
    if [ "$want" = all ]; then install "${bench[@]}"; fi
    ;;
  bench) install "${bench[@]}" ;;
esac
