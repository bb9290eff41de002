#!/usr/bin/env bash
# Bootstraps the machine, configures and builds evtask with AddressSanitizer
# and UndefinedBehaviorSanitizer, and runs the whole test suite through ctest
# (including the ABI baseline and the replay of the fuzz corpora), then a
# fuzz smoke run and the thread checkers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
BUILD_DIR=${BUILD_DIR:-build/asan}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEVTASK_SANITIZE=ON -DEVTASK_BUILD_BENCH=ON
cmake --build "$BUILD_DIR" -j"$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure
# Short libFuzzer smoke run of every fuzz target (clang build); long runs
# are scripts/fuzz.sh with a larger budget.
bash scripts/fuzz.sh "${FUZZ_SMOKE_SECONDS:-15}"
# The threaded tests under helgrind and DRD, and the checkers' self-test.
bash scripts/threadcheck.sh
