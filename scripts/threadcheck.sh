#!/usr/bin/env bash
# Runs the threaded tests under valgrind's helgrind and DRD on a plain
# (non-sanitizer) i386 build: ThreadSanitizer does not support i386.
#
#   scripts/threadcheck.sh          the threaded tests under both tools; then
#                                   the self-test below
#
# Any report fails the script. Known reports of code outside evtask are
# suppressed in scripts/threadcheck.supp, one commented entry each.
#
# Self-test: a second build with EVTASK_REVERSED_LOCK_ORDER_PROBE takes the
# default-cache lock before the default-load lock; helgrind must report the
# inconsistent lock order there, or the script fails (a checker that reports
# nothing proves nothing). DRD does not check lock order, so the self-test
# uses helgrind only.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${THREADCHECK_BUILD_DIR:-build/threadcheck}
PROBE_DIR=${THREADCHECK_PROBE_DIR:-build/threadcheck-probe}
SUPP="$PWD/scripts/threadcheck.supp"
launcher=
if command -v ccache >/dev/null; then launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"; fi

# binary:gtest-filter of every test that starts threads.
THREADED_TESTS=(
  "platform_tests:CriticalSectionTest.LockExcludesOtherThreadsAndIsRecursive:LoggingTest.FileLinesStayWholeUnderConcurrency:SharedMemUtilTest.ConcurrentCreateGetDeleteOnDistinctKeys:YmThreadTest.*"
  "service_tests:CloudRoutingShmTest.ThreadsSeeOnlyTheirOwnSegment"
  "task_tests:EvTaskTest.MixedDefaultReadersShareOneLoad"
)
PROBE_TEST="task_tests:EvTaskTest.MissingOptionFallsBackToTheFirstDefaultThenToTheKindsEmptyValue"

build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DEVTASK_BUILD_BENCH=OFF $launcher "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)" --target platform_tests service_tests task_tests >/dev/null
}

# run TOOL DIR BINARY FILTER LOG: 0 when the tool reports nothing.
run() {
  local tool=$1 dir=$2 binary=$3 filter=$4 log=$5
  EVTASK_CONFIG= valgrind --tool="$tool" --error-exitcode=99 --suppressions="$SUPP" --num-callers=30 \
    "$dir/tests/$binary" --gtest_filter="$filter" >"$log" 2>&1
}

build "$BUILD_DIR" -DEVTASK_REVERSED_LOCK_ORDER_PROBE=OFF
mkdir -p "$BUILD_DIR/threadcheck"
status=0
for entry in "${THREADED_TESTS[@]}"; do
  binary=${entry%%:*}
  filter=${entry#*:}
  for tool in helgrind drd; do
    log="$BUILD_DIR/threadcheck/$binary-$tool.log"
    if run "$tool" "$BUILD_DIR" "$binary" "$filter" "$log"; then
      echo "threadcheck: $tool $binary: no reports"
    else
      status=1
      echo "threadcheck: $tool $binary: REPORTS (or test failure), see $log"
      grep -E "^==[0-9]+== (Possible|Thread|Lock|Conflicting|ERROR SUMMARY)|FAILED" "$log" | head -20 || true
    fi
  done
done

build "$PROBE_DIR" -DEVTASK_REVERSED_LOCK_ORDER_PROBE=ON
binary=${PROBE_TEST%%:*}
filter=${PROBE_TEST#*:}
log="$PROBE_DIR/reversed-lock-order-helgrind.log"
if run helgrind "$PROBE_DIR" "$binary" "$filter" "$log"; then
  status=1
  echo "threadcheck: self-test FAILED: helgrind did not report the reversed default-cache lock order ($log)"
elif grep -q "lock order .* violated" "$log"; then
  echo "threadcheck: self-test: helgrind reports the reversed default-cache lock order"
else
  status=1
  echo "threadcheck: self-test FAILED: helgrind failed without a lock order report ($log)"
fi
exit $status
