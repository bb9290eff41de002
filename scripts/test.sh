#!/usr/bin/env bash
# Bootstraps the machine, configures and builds evtask with AddressSanitizer
# and UndefinedBehaviorSanitizer, and runs the whole test suite through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
BUILD_DIR=${BUILD_DIR:-build/asan}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEVTASK_SANITIZE=ON -DEVTASK_BUILD_BENCH=ON
cmake --build "$BUILD_DIR" -j"$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure
