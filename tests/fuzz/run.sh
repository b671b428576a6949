#!/usr/bin/env bash
# run.sh corpus|fuzz: builds the libFuzzer harnesses (clang, ASan, UBSan) and runs each once over its seeds and
# crash regressions (corpus) or for FUZZ_SECONDS (default 60) from them (fuzz); fails on any finding. Findings land
# in BUILD/findings/<harness>/; once fixed, the input goes to tests/fuzz/regressions/<harness>/ for every later run.
# Environment: FUZZ_BUILD (default build-fuzz), FUZZ_SECONDS, JOBS (default 2).
set -euo pipefail
mode=${1:-corpus}
[[ $mode == corpus || $mode == fuzz ]] || { echo "usage: $0 corpus|fuzz" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd) && root=$(cd "$here/../.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz} && seeds=$build/seeds
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DZM_FUZZ=ON -DBUILD_TESTING=OFF -DZM_BUILD_TOOLS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target zm_fuzzers -j "${JOBS:-2}" >/dev/null

# Seeds are made by real encoders in the run, never kept in the tree; the ASF
# engine's harness starts from the Windows Media ones only.
if [ ! -d "$seeds/wma" ] || [ "$here/make_seeds.py" -nt "$seeds/.made" ]; then
  rm -rf "$seeds"
  "$( [ -x /usr/bin/python3 ] && echo /usr/bin/python3 || echo python3 )" "$here/make_seeds.py" "$seeds/all"
  mkdir -p "$seeds/wma" && cp "$seeds"/all/*.wma "$seeds/wma"/ && touch "$seeds/.made"
fi
# Inputs and the component's temporary files live in memory where possible.
work=$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}" )/zmtagio-fuzz-run-XXXXXX")
trap 'rm -rf "$work"' EXIT
export ZM_FUZZ_WORKDIR="$work"

failed=()
for h in fuzz_open fuzz_update fuzz_asf; do
  findings="$build/findings/$h" log="$build/findings/$h.log" regressions="$work/regressions-$h"
  mkdir -p "$findings" "$build/corpus/$h" "$regressions"
  cp "$here/regressions/$h"/* "$regressions"/ 2>/dev/null || true
  args=(-timeout=20 -rss_limit_mb=2048 -malloc_limit_mb=64 -close_fd_mask=1 "-artifact_prefix=$findings/" -runs=0)
  [ "$mode" = corpus ] ||
    args=("${args[@]:0:5}" -max_total_time="${FUZZ_SECONDS:-60}" -print_final_stats=1 "$build/corpus/$h")
  [ "$h" = fuzz_asf ] && args+=("$seeds/wma") || args+=("$seeds/all")
  if "$build/tests/fuzz/$h" "${args[@]}" "$regressions" >"$log" 2>&1; then
    echo "$h: $(grep -E '^Done [0-9]+ runs|INITED|stat::number_of_executed_units' "$log" | tail -1)"
  else
    failed+=("$h")
    echo "$h: FINDING (log: $log, inputs: $findings/)" >&2
    grep -E 'finding:|ERROR: |SUMMARY: |runtime error' "$log" | head -5 >&2 || true
  fi
done
[ "${#failed[@]}" -eq 0 ] || { echo "fuzz $mode: findings in ${failed[*]}" >&2; exit 1; }
echo "fuzz $mode: no findings"
