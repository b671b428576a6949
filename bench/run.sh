#!/usr/bin/env bash
# Builds the bench programs into BUILD_DIR, makes a corpus in a temporary
# folder, measures, and prints the table. Not part of the tests.
# Usage: bench/run.sh BUILD_DIR [measure.py options]
# ZM_BENCH_CORPUS=DIR makes the corpus there once and keeps it for later runs.
set -euo pipefail
build=${1:?usage: bench/run.sh BUILD_DIR [measure.py options]}
shift
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
[ -x "$python" ] || python=python3

cmake -S "$here/.." -B "$build" -DZM_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target zm_bench >/dev/null

corpus=${ZM_BENCH_CORPUS:-}
if [ -z "$corpus" ]; then
  corpus=$(mktemp -d "${TMPDIR:-/tmp}/zmtagio-bench.XXXXXX")
  trap 'rm -rf "$corpus"' EXIT
fi
if [ ! -d "$corpus/big" ]; then
  echo "Making the corpus in $corpus (about a minute)" >&2
  "$python" "$here/make_corpus.py" "$corpus"
fi
"$python" "$here/measure.py" "$corpus" "$build" "$@"
