# Installation and packaging.
#
# Install components, one Debian package each:
#   runtime  libevtask.so.1                                     -> libevtask1
#   dev      headers, libevtask.so, CMake package, pkg-config,
#            the i386 toolchain file                            -> libevtask-dev
#   tools    evtaskctl, evtask-appmgr                           -> evtask-tools
#
# Everything installed is relocatable: the CMake package finds itself from
# its own location and evtask.pc computes its prefix from ${pcfiledir}, so a
# tree installed to one prefix and moved (or unpacked from the packages into
# any root) still works.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(EVTASK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/EvTask)

install(TARGETS evtask EXPORT EvTaskTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    COMPONENT runtime
    NAMELINK_COMPONENT dev)
# Public headers keep their layer folders under include/evtask, so that
# "#include \"task/EvTask.h\"" works with -I<prefix>/include/evtask; the
# headers themselves include "evtask/export.h", found through -I<prefix>/include,
# which the CMake package and evtask.pc hand out as well.
install(FILES include/evtask/export.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/evtask COMPONENT dev)
# Internal headers stay out: those named *_internal.h and the header-only
# socket framing shared by the transport and the server (it needs OpenSSL's
# headers, which are no dependency of a caller).
foreach(layer platform util records service task schedule)
  file(GLOB public_headers "${CMAKE_CURRENT_SOURCE_DIR}/${layer}/*.h")
  list(FILTER public_headers EXCLUDE REGEX "(_internal|/platform/FrameSocket)\\.h$")
  if(public_headers)
    install(FILES ${public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/evtask/${layer} COMPONENT dev)
  endif()
endforeach()
install(EXPORT EvTaskTargets NAMESPACE EvTask::
  DESTINATION ${EVTASK_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/EvTaskConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/EvTaskConfig.cmake
  INSTALL_DESTINATION ${EVTASK_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/EvTaskConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion
  # The pointer-size check is EvTaskConfig.cmake's, with a message that says
  # how to configure for i386.
  ARCH_INDEPENDENT)
# The toolchain file goes with the package so that a consumer on an x86-64
# host can configure for i386 with -DCMAKE_TOOLCHAIN_FILE=<it>.
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/EvTaskConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/EvTaskConfigVersion.cmake
              ${CMAKE_CURRENT_SOURCE_DIR}/cmake/i386-toolchain.cmake
  DESTINATION ${EVTASK_CMAKE_DIR} COMPONENT dev)

# evtask.pc finds its prefix from its own folder: ${pcfiledir} is
# <prefix>/<libdir>/pkgconfig, so the prefix is that many levels up.
file(RELATIVE_PATH EVTASK_PC_TO_PREFIX
  "/evtask-prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/evtask-prefix")
string(REGEX REPLACE "/$" "" EVTASK_PC_TO_PREFIX "${EVTASK_PC_TO_PREFIX}")
configure_file(cmake/evtask.pc.in ${CMAKE_CURRENT_BINARY_DIR}/evtask.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/evtask.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# --- Debian packages: cpack -G DEB ---------------------------------------------------------------
set(CPACK_PACKAGE_NAME evtask)
set(CPACK_PACKAGE_VENDOR "evtask developers")
set(CPACK_PACKAGE_CONTACT "evtask developers <evtask@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Client library for centrally stored backup tasks (32-bit)")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Library dependencies (libc6, libstdc++6, libsodium23, libsqlite3-0, libssl3,
# ...) come from dpkg-shlibdeps, which reads the i386 libraries' shlibs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libevtask1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libevtask-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME evtask-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION admin)
# The development and tool packages need exactly this build of the library.
set(EVTASK_DEB_LIB_DEP "libevtask1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${EVTASK_DEB_LIB_DEP}")
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${EVTASK_DEB_LIB_DEP}")
# dpkg-shlibdeps of the tools must find libevtask.so.1, which is in the
# build tree, not on the system.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_CURRENT_BINARY_DIR})
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "evtask client library (runtime)")
set(CPACK_COMPONENT_DEV_DESCRIPTION "evtask client library (headers, CMake package, pkg-config)")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "evtask command-line tool and reference application manager")
include(CPack)
