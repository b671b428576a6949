#!/usr/bin/env bash
# run.sh BUILD_DIR (Release or Debug, no sanitizers): the session over real files, the COM module loaded
# as hosts load it, and the fault walk (every failure path of reading and writing) once under valgrind's
# memcheck. Any memcheck error or definite leak fails the run.
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR}
command -v valgrind >/dev/null || { echo "valgrind is not installed (make deps installs it)" >&2; exit 1; }
cmake --build "$build" --target test_session test_com test_reliability -j "${JOBS:-2}" >/dev/null
failed=0
for suite in "test_session *" "test_com *" "test_reliability *FaultWalk*"; do  # program, tests to run
  read -r program filter <<<"$suite"
  path="$build/tests/$program" log="$build/valgrind-$program.log" start=$SECONDS
  [ -x "$path" ] || { echo "valgrind: $program not built, skipped"; continue; }
  status=0
  valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --child-silent-after-fork=yes --num-callers=30 --quiet \
    "$path" --gtest_brief=1 "--gtest_filter=$filter" >"$log" 2>&1 || status=$?
  case $status in
    0) echo "valgrind: $program clean ($((SECONDS - start)) s)"; continue ;;
    99) echo "valgrind: $program has memory errors (log: $log)" >&2; pattern='^==[0-9]+== [A-Z]' ;;
    *) echo "valgrind: $program failed its tests (log: $log)" >&2; pattern='\[  FAILED  \]' ;;
  esac
  failed=1
  grep -E "$pattern" "$log" | head -10 >&2 || true
done
exit "$failed"
