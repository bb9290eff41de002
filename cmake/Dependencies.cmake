# Third-party libraries of the library itself, all i386 Debian packages
# installed by scripts/bootstrap.sh.
pkg_check_modules(SODIUM IMPORTED_TARGET libsodium)
if(SODIUM_FOUND)
  target_link_libraries(evtask_obj PUBLIC PkgConfig::SODIUM)
  target_compile_definitions(evtask_obj PUBLIC EVTASK_HAVE_SODIUM=1)
endif()
# TLS of the socket transport to the application manager.
pkg_check_modules(OPENSSL REQUIRED IMPORTED_TARGET openssl)
target_link_libraries(evtask_obj PUBLIC PkgConfig::OPENSSL)
