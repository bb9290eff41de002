# Compares the built library with the ABI baseline in the repository and
# fails on an incompatible change (removed or changed exported functions,
# variables, class layouts or virtual tables). Compatible additions are
# reported and pass. libevtask.abignore, next to the baseline, lists what is
# not part of the ABI. Run as:
#   cmake -DLIB=<path> -DBASELINE=<abi file> -P check_abi.cmake
find_program(ABIDIFF abidiff)
if(NOT ABIDIFF)
  message(FATAL_ERROR "abidiff not found: install abigail-tools (scripts/bootstrap.sh)")
endif()
get_filename_component(abi_dir ${BASELINE} DIRECTORY)
execute_process(COMMAND ${ABIDIFF} --no-show-locs --suppressions ${abi_dir}/libevtask.abignore ${BASELINE} ${LIB}
  OUTPUT_VARIABLE report ERROR_VARIABLE report RESULT_VARIABLE rc)
# abidiff's result is a bit set: 1 error, 2 usage error, 4 ABI change,
# 8 incompatible ABI change.
if(NOT rc MATCHES "^[0-9]+$")
  message(FATAL_ERROR "abidiff failed to run: ${rc}\n${report}")
endif()
math(EXPR broken "${rc} & 11")
if(NOT broken EQUAL 0)
  message(FATAL_ERROR "libevtask breaks its ABI baseline (abidiff ${rc}):\n${report}\n"
                      "If the change is deliberate, run scripts/abi-baseline.sh and commit the new baseline "
                      "with the reason in the commit message.")
endif()
if(NOT rc EQUAL 0)
  message(STATUS "compatible ABI additions:\n${report}")
endif()
message(STATUS "libevtask matches its ABI baseline")
