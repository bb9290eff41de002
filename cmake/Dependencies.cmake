# Third-party libraries of the library itself, all i386 Debian packages
# installed by scripts/bootstrap.sh.
pkg_check_modules(SODIUM IMPORTED_TARGET libsodium)
if(SODIUM_FOUND)
  target_link_libraries(evtask_obj PUBLIC PkgConfig::SODIUM)
  target_compile_definitions(evtask_obj PUBLIC EVTASK_HAVE_SODIUM=1)
endif()

# The XML message base reads and writes its text form with pugixml. The
# static archive (position-independent in the Debian package) is preferred:
# where the reader cannot use its direct view of the parsed tree
# (platform/XmlTreeView.h), it calls pugixml's node accessors a few times per
# field, and direct calls cost far less than calls through the PLT on i386.
# Its symbols are kept out of libevtask's exports (see the evtask target).
pkg_check_modules(PUGIXML REQUIRED IMPORTED_TARGET pugixml)
find_library(PUGIXML_STATIC_LIB NAMES libpugixml.a HINTS ${PUGIXML_LIBRARY_DIRS})
if(PUGIXML_STATIC_LIB)
  target_include_directories(evtask_obj PUBLIC ${PUGIXML_INCLUDE_DIRS})
  target_link_libraries(evtask_obj PUBLIC ${PUGIXML_STATIC_LIB})
else()
  target_link_libraries(evtask_obj PUBLIC PkgConfig::PUGIXML)
endif()

# TLS of the socket transport to the application manager.
pkg_check_modules(OPENSSL REQUIRED IMPORTED_TARGET openssl)
target_link_libraries(evtask_obj PUBLIC PkgConfig::OPENSSL)
