#!/usr/bin/env bash
# Builds the Debian packages of a build tree with cpack and checks them:
# names, architecture, dependencies and contents; then unpacks them into a
# scratch root and uses them from there (an outside program through
# pkg-config, evtaskctl --help).
#   deb_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/evtask-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
version=$(sed -n 's/^project(evtask VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
lib="$work/out/libevtask1_${version}_i386.deb"
dev="$work/out/libevtask-dev_${version}_i386.deb"
tools="$work/out/evtask-tools_${version}_i386.deb"
for p in "$lib" "$dev" "$tools"; do [ -f "$p" ] || fail "missing $(basename "$p")"; done

field() { dpkg-deb -f "$1" "$2"; }
contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|'; }
has() { contents "$1" | grep -qx "$2" || fail "$(basename "$1") lacks $2"; }
lacks() { ! contents "$1" | grep -q "$2" || fail "$(basename "$1") must not hold $2"; }

for p in "$lib" "$dev" "$tools"; do
  [ "$(field "$p" Architecture)" = i386 ] || fail "$(basename "$p") is not i386"
done
[ "$(field "$lib" Package)" = libevtask1 ] || fail "runtime package name"
[ "$(field "$dev" Package)" = libevtask-dev ] || fail "development package name"
[ "$(field "$tools" Package)" = evtask-tools ] || fail "tools package name"
field "$lib" Depends | grep -q 'libc6' || fail "libevtask1 does not depend on libc6"
field "$lib" Depends | grep -q 'libstdc++6' || fail "libevtask1 does not depend on libstdc++6"
field "$dev" Depends | grep -q "libevtask1 (= $version)" || fail "libevtask-dev does not depend on this libevtask1"
field "$tools" Depends | grep -q "libevtask1 (= $version)" || fail "evtask-tools does not depend on this libevtask1"

has "$lib" "/usr/lib/libevtask.so.1"
lacks "$lib" "/include/"
lacks "$lib" "libevtask.so$"
has "$dev" "/usr/lib/libevtask.so"
has "$dev" "/usr/include/evtask/export.h"
has "$dev" "/usr/include/evtask/task/EvTask.h"
has "$dev" "/usr/lib/pkgconfig/evtask.pc"
has "$dev" "/usr/lib/cmake/EvTask/EvTaskConfig.cmake"
has "$dev" "/usr/lib/cmake/EvTask/i386-toolchain.cmake"
lacks "$dev" "_internal.h"
lacks "$dev" "FrameSocket.h"
lacks "$dev" "libevtask.so.1"
has "$tools" "/usr/bin/evtaskctl"
if [ -f "$src/appmgr/CMakeLists.txt" ]; then has "$tools" "/usr/bin/evtask-appmgr"; fi
lacks "$tools" "/usr/lib/"
echo "ok: package fields and contents"

# Use the unpacked packages from a scratch root.
root="$work/root"
for p in "$lib" "$dev" "$tools"; do dpkg-deb -x "$p" "$root"; done
flags=$(PKG_CONFIG_PATH="$root/usr/lib/pkgconfig" pkg-config --cflags --libs evtask)
g++ -std=c++17 -Wall -Wextra -Werror "$src/tests/package/app/main.cpp" $flags -Wl,-rpath,"$root/usr/lib" \
  -o "$work/outside"
out=$("$work/outside")
[ "$out" = "evtask 1.0 id=0 name=0 text=-42 long=4" ] || fail "outside program printed '$out'"
"$root/usr/bin/evtaskctl" --help | grep -q "Exit codes" || fail "evtaskctl --help from the package"
echo "ok: unpacked packages build and run a program, evtaskctl runs"
