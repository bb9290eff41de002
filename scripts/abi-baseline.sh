#!/usr/bin/env bash
# Writes the ABI baseline of libevtask.so.1 (abi/libevtask.so.1.abi) from a
# plain (non-sanitizer) i386 build. The abi_baseline test compares every
# build's library against it with abidiff and fails on an incompatible
# change.
#
# Run it when the ABI changes on purpose, and commit the new baseline in the
# same commit as the change, saying in the message why the ABI changed.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${ABI_BUILD_DIR:-build/abi}
launcher=
if command -v ccache >/dev/null; then launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"; fi
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEVTASK_BUILD_TESTS=OFF -DEVTASK_BUILD_BENCH=OFF \
  $launcher >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target evtask
mkdir -p abi
abidw --no-corpus-path --no-show-locs --no-comp-dir-path --drop-undefined-syms --type-id-style hash \
  --out-file abi/libevtask.so.1.abi "$BUILD_DIR/libevtask.so.1"
echo "abi: wrote abi/libevtask.so.1.abi"
