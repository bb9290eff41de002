#!/usr/bin/env bash
# Installs evtask from a build tree into a temporary prefix and builds and
# runs a program outside the tree against it twice: through
# find_package(EvTask) and through pkg-config. The pkg-config build runs
# after the prefix was moved, so both the CMake package and evtask.pc are
# shown to work wherever the tree lands. The program also compiles every
# installed header on its own.
#   outside_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/evtask-outside.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A library built with sanitizers needs their runtime loaded first; the
# outside program is not instrumented.
export ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0

cmake --install "$build" --prefix "$work/prefix" >/dev/null

cmake_dir=$(dirname "$(find "$work/prefix" -name EvTaskConfig.cmake)")
toolchain="$cmake_dir/i386-toolchain.cmake"
[ -f "$toolchain" ] || { echo "FAIL: toolchain file not installed next to EvTaskConfig.cmake"; exit 1; }

# Every installed header, each in a translation unit of its own.
hdrdir="$work/prefix/include/evtask"
mkdir -p "$work/headers"
all_sources=()
while IFS= read -r h; do
  rel=${h#"$hdrdir"/}
  tu="$work/headers/$(echo "$rel" | tr '/.' '__').cpp"
  printf '#include "%s"\n' "$rel" >"$tu"
  all_sources+=("$tu")
done < <(find "$hdrdir" -name '*.h' | sort)
[ "${#all_sources[@]}" -gt 10 ] || { echo "FAIL: only ${#all_sources[@]} headers installed"; exit 1; }
sources_list=$(IFS=';'; echo "${all_sources[*]}")

expected="evtask 1.0 id=0 name=0 text=-42 long=4"
check_run() {
  local what=$1 exe=$2 out
  out=$("$exe")
  if [ "$out" != "$expected" ]; then
    echo "FAIL ($what): got '$out', expected '$expected'"; exit 1
  fi
  file -L "$exe" | grep -q 'ELF 32-bit' || { echo "FAIL ($what): not a 32-bit program"; exit 1; }
  echo "ok: $what"
}

# 1. find_package(EvTask) with the installed toolchain file.
cmake -S "$src/tests/package/app" -B "$work/b1" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_PREFIX_PATH="$work/prefix" "-DALL_HEADERS_SOURCE=$sources_list" >/dev/null
cmake --build "$work/b1" -j2 >/dev/null
check_run find_package "$work/b1/outside"

# 2. pkg-config, after moving the installed tree; -m32 comes from evtask.pc.
mv "$work/prefix" "$work/moved"
pcdir=$(dirname "$(find "$work/moved" -name evtask.pc)")
libdir=$(dirname "$pcdir")
flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs evtask)
case "$flags" in *"$work/moved"*) ;; *) echo "FAIL: evtask.pc does not follow the moved tree: $flags"; exit 1;; esac
g++ -std=c++17 -Wall -Wextra -Werror "$src/tests/package/app/main.cpp" $flags -Wl,-rpath,"$libdir" \
  -o "$work/outside-pc"
check_run pkg-config "$work/outside-pc"
