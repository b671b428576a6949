# Installation: the library and its header, the command line with its manual
# page, a pkg-config file and a CMake package, so that hosts build against an
# installed zmTagIO with either tool.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ZM_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zmTagIO)

install(TARGETS zmTagIO EXPORT zmTagIOTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/zmTagIO.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

if(TARGET zmtagio)
  # The installed program finds the library next to it, wherever the prefix is.
  file(RELATIVE_PATH ZM_BIN_TO_LIB "/${CMAKE_INSTALL_BINDIR}" "/${CMAKE_INSTALL_LIBDIR}")
  set_target_properties(zmtagio PROPERTIES INSTALL_RPATH "$ORIGIN/${ZM_BIN_TO_LIB}")
  install(TARGETS zmtagio RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/doc/zmtagio.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

install(EXPORT zmTagIOTargets NAMESPACE zmTagIO:: DESTINATION ${ZM_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zmTagIOConfig.cmake.in
  ${PROJECT_BINARY_DIR}/zmTagIOConfig.cmake INSTALL_DESTINATION ${ZM_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/zmTagIOConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zmTagIOConfig.cmake ${PROJECT_BINARY_DIR}/zmTagIOConfigVersion.cmake
  DESTINATION ${ZM_PACKAGE_DIR})

# The prefix is found from the file's own place, so that an installation
# moved with --prefix or DESTDIR still describes itself.
file(RELATIVE_PATH ZM_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
configure_file(${PROJECT_SOURCE_DIR}/cmake/zmtagio.pc.in ${PROJECT_BINARY_DIR}/zmtagio.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zmtagio.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
