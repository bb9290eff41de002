#!/usr/bin/env bash
# Builds the libFuzzer targets with clang -m32 (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each of them.
#
#   scripts/fuzz.sh [SECONDS]     run every target for SECONDS (default 60)
#   FUZZ_RUNS=N scripts/fuzz.sh   run every target for N executions instead
#   FUZZ_TARGETS="a b" ...        run only these targets (names as in fuzz/)
#   scripts/fuzz.sh --seeds       regenerate the frame seed corpora
#
# Each target starts from its seed corpus in fuzz/corpus/NAME; new inputs
# go to BUILD_DIR/corpus/NAME (the repository corpus stays small), crash
# inputs to BUILD_DIR/artifacts/. The script fails when any target finds a
# crash, a leak or a sanitizer report; add such an input to the seed corpus
# and write a regression test under tests/ for it.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${FUZZ_BUILD_DIR:-build/fuzz}
ALL_TARGETS="response_frame request_frame config conversions xml_message dispatch"
TARGETS=${FUZZ_TARGETS:-$ALL_TARGETS}

if [ "${1:-}" = "--seeds" ]; then
  SEED_BUILD=${SEED_BUILD_DIR:-build/seeds}
  cmake -S . -B "$SEED_BUILD" -DCMAKE_BUILD_TYPE=Debug -DEVTASK_BUILD_BENCH=OFF -DEVTASK_BUILD_TESTS=OFF >/dev/null
  cmake --build "$SEED_BUILD" -j"$(nproc)" --target fuzz_make_seeds
  rm -f fuzz/corpus/response_frame/* fuzz/corpus/request_frame/*
  "$SEED_BUILD/fuzz/fuzz_make_seeds" fuzz/corpus/response_frame fuzz/corpus/request_frame
  exit 0
fi

SECONDS_PER_TARGET=${1:-60}
CCACHE_LAUNCHER=
if command -v ccache >/dev/null; then CCACHE_LAUNCHER="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"; fi
cmake -S . -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/i386-clang-toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEVTASK_FUZZ=ON -DEVTASK_BUILD_TESTS=OFF ${CCACHE_LAUNCHER:-} -DEVTASK_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target fuzzers

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export EVTASK_CONFIG=
mkdir -p "$BUILD_DIR/artifacts"
status=0
for t in $TARGETS; do
  work="$BUILD_DIR/corpus/$t"
  mkdir -p "$work"
  if [ -n "${FUZZ_RUNS:-}" ]; then
    budget="-runs=$FUZZ_RUNS"
  else
    budget="-max_total_time=$SECONDS_PER_TARGET"
  fi
  echo "fuzz: $t ($budget)"
  log="$BUILD_DIR/$t.log"
  if "$BUILD_DIR/fuzz/fuzz_$t" "$budget" -max_len=4096 -rss_limit_mb=1024 -timeout=10 -print_final_stats=1 \
       -artifact_prefix="$BUILD_DIR/artifacts/$t-" "$work" "fuzz/corpus/$t" >"$log" 2>&1; then
    grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb" "$log" | sed "s/^/fuzz: $t /"
  else
    status=1
    echo "fuzz: $t FAILED, see $log"
    tail -n 40 "$log"
  fi
done
exit $status
