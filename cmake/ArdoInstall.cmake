# Installs the libraries, the headers under include/ardoxml, a CMake package
# (find_package(ardoxml CONFIG) gives ardoxml::ardoxml) and ardoxml.pc.
include(CMakePackageConfigHelpers)

install(TARGETS ardoxml-platform ardoxml-engine ardoxml EXPORT ardoxmlTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

foreach(dir platform engine/include framework dom dom_collections sax transform_http catalogue)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${dir})
    get_filename_component(parent ${dir} DIRECTORY)
    install(DIRECTORY ${dir} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ardoxml/${parent}
      FILES_MATCHING PATTERN "*.h")
  endif()
endforeach()
install(FILES include/ardoxml/ardoxml.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ardoxml)
install(FILES examples/drives.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/ardoxml OPTIONAL)

install(EXPORT ardoxmlTargets NAMESPACE ardoxml::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ardoxml)
configure_package_config_file(cmake/ardoxmlConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ardoxmlConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ardoxml)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ardoxmlConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ardoxmlConfig.cmake ${PROJECT_BINARY_DIR}/ardoxmlConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ardoxml)

# The .pc file locates its prefix from where it is installed, so a package
# installed with --prefix elsewhere still points at itself.
file(RELATIVE_PATH ARDO_PC_PREFIX_FROM_PCDIR
  "/ardo-prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/ardo-prefix")
configure_file(cmake/ardoxml.pc.in ${PROJECT_BINARY_DIR}/ardoxml.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ardoxml.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
