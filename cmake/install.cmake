# What `cmake --install` puts in place: the player, its tools, its desktop
# entry and manual page; and libmoddeck for other programs, with its header,
# its manual page, a pkg-config file and a CMake package (moddeck::moddeck).
include(CMakePackageConfigHelpers)

# Installed programs and the library carry no debugging symbols (most of
# their size); `cmake -DCMAKE_INSTALL_DO_STRIP=0 -P build/cmake_install.cmake`
# installs them as built.
install(CODE "if(NOT DEFINED CMAKE_INSTALL_DO_STRIP)
  set(CMAKE_INSTALL_DO_STRIP 1)
endif()")

set(MODDECK_PROGRAMS moddeck moddeck-inspect moddeck-render)
# Installed under any prefix, the programs find libmoddeck by their own
# place rather than by the system's library path or LD_LIBRARY_PATH. The
# path is relative, so `--prefix` may still change after configuring.
file(RELATIVE_PATH MODDECK_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set_target_properties(${MODDECK_PROGRAMS} PROPERTIES INSTALL_RPATH "$ORIGIN/${MODDECK_BIN_TO_LIB}")

install(TARGETS ${MODDECK_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES app/moddeck.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES app/moddeck.1 tools/moddeck-render.1 tools/moddeck-inspect.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# ---- The library: libmoddeck.so.VERSION with its soname and development
# links, the one public header and the manual page moddeck(3).
set_target_properties(libmoddeck PROPERTIES EXPORT_NAME moddeck)
install(TARGETS libmoddeck EXPORT moddeck LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/moddeck/moddeck.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/moddeck)
install(FILES library/moddeck.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)

# pkg-config: moddeck.pc names the prefix, which `cmake --install --prefix`
# may choose after configuring, so it is written when installing. Library
# and include folders given relative to the prefix follow it.
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(MODDECK_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(MODDECK_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
install(CODE "
  set(MODDECK_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(MODDECK_PC_LIBDIR [[${MODDECK_PC_LIBDIR}]])
  set(MODDECK_PC_INCLUDEDIR [[${MODDECK_PC_INCLUDEDIR}]])
  set(PROJECT_VERSION ${PROJECT_VERSION})
  configure_file([[${CMAKE_CURRENT_LIST_DIR}/moddeck.pc.in]] [[${CMAKE_BINARY_DIR}/moddeck.pc]] @ONLY)")
install(FILES ${CMAKE_BINARY_DIR}/moddeck.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# CMake: find_package(moddeck) gives the imported target moddeck::moddeck.
# The files locate the prefix from their own place, so they need no writing
# at install time. Within one major version the soname, and so the header's
# calls, stay the same.
set(MODDECK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/moddeck)
install(EXPORT moddeck NAMESPACE moddeck:: FILE moddeckTargets.cmake DESTINATION ${MODDECK_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/moddeckConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/moddeckConfig.cmake ${CMAKE_BINARY_DIR}/moddeckConfigVersion.cmake
  DESTINATION ${MODDECK_CMAKE_DIR})
