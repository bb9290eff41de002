#!/usr/bin/env bash
# Installs what building and testing evtask needs on a Debian machine: the
# i386 architecture, the 32-bit compiler support, and the i386 development
# packages the build links against. Safe to run again: when everything is
# present it changes nothing and makes no network call.
set -euo pipefail

I386_PKGS=(
  libgtest-dev:i386
  libgmock-dev:i386
  libbenchmark-dev:i386
  libsodium-dev:i386
  libpugixml-dev:i386
  libsqlite3-dev:i386
  libssl-dev:i386
  libc6-dbg:i386
)
# Host tools: the compilers, CLI11 and nlohmann-json (header-only, any
# architecture), clang with its fuzzer runtime, valgrind for the thread
# checkers, libabigail for the ABI baseline, and dpkg-dev for packaging.
HOST_PKGS=(g++ g++-multilib cmake make pkg-config libcli11-dev nlohmann-json3-dev
           clang libclang-rt-14-dev valgrind abigail-tools dpkg-dev file)

missing=()
for p in "${HOST_PKGS[@]}" "${I386_PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_arch=1
else
  need_arch=0
fi

if [ "$need_arch" -eq 0 ] && [ "${#missing[@]}" -eq 0 ]; then
  echo "bootstrap: everything is present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

if [ "$need_arch" -eq 1 ]; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "bootstrap: installed ${missing[*]}"
