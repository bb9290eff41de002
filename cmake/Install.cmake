include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS evtask EXPORT EvTaskTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
# Public headers keep their layer folders under include/evtask, so that
# "#include \"task/EvTask.h\"" works with -I<prefix>/include/evtask.
install(FILES include/evtask/export.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/evtask)
foreach(layer platform util records service task schedule)
  file(GLOB public_headers "${CMAKE_CURRENT_SOURCE_DIR}/${layer}/*.h")
  list(FILTER public_headers EXCLUDE REGEX "_internal\\.h$")
  if(public_headers)
    install(FILES ${public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/evtask/${layer})
  endif()
endforeach()
install(EXPORT EvTaskTargets NAMESPACE EvTask::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/EvTask)
configure_package_config_file(cmake/EvTaskConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/EvTaskConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/EvTask)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/EvTaskConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/EvTaskConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/EvTaskConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/EvTask)
configure_file(cmake/evtask.pc.in ${CMAKE_CURRENT_BINARY_DIR}/evtask.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/evtask.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
