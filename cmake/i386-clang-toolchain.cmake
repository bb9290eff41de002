# The i386 toolchain with clang in place of GCC: used by the libFuzzer build
# (scripts/fuzz.sh), because GCC has no fuzzer runtime.
include("${CMAKE_CURRENT_LIST_DIR}/i386-toolchain.cmake")
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
