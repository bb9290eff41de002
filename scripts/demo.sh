#!/usr/bin/env bash
# Sets the machine up, builds evtaskctl and runs its demo: an embedded
# application manager on an empty temporary database with the demo
# catalogue, a schedule, a job waited for with progress, options and files
# of a task, and a summary. Exits non-zero when a step fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh
BUILD_DIR=${BUILD_DIR:-build/demo}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEVTASK_BUILD_TESTS=OFF -DEVTASK_BUILD_BENCH=OFF
cmake --build "$BUILD_DIR" -j"$(nproc)" --target evtaskctl evtask-appmgr
exec "$BUILD_DIR/tools/evtaskctl" demo
