# Installation (cmake --install) and the Debian package (cpack).
include(GNUInstallDirs)

install(TARGETS repng RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man page and changelog go in gzipped, as Debian policy wants them.
set(REPNG_VERSION ${PROJECT_VERSION})
configure_file(${PROJECT_SOURCE_DIR}/packaging/repng.1 ${PROJECT_BINARY_DIR}/packaging/repng.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/packaging/repng.1.gz ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9nf -k repng.1 changelog
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/repng.1 ${PROJECT_BINARY_DIR}/packaging/changelog
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
add_custom_target(repng_docs ALL
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/repng.1.gz ${PROJECT_BINARY_DIR}/packaging/changelog.gz)

install(FILES ${PROJECT_BINARY_DIR}/packaging/repng.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/repng.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Desktop terminals are UTF-8 and the report is GBK, so the launcher runs the
# program under luit; the package depends on it, a plain install only says so.
install(CODE [[
  find_program(REPNG_LUIT luit NO_CACHE)
  if(REPNG_LUIT)
    message(STATUS "The desktop entry runs repng under ${REPNG_LUIT} -encoding GBK")
  else()
    message(STATUS "The desktop entry runs repng under luit -encoding GBK: install luit (Debian package luit) for the launcher to work")
  endif()
]])
install(FILES ${PROJECT_SOURCE_DIR}/packaging/repng.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/repng)
install(FILES ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/repng RENAME changelog.gz)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME repng)
set(CPACK_PACKAGE_VENDOR "the repng developers")
set(CPACK_PACKAGE_CONTACT "repng developers <repng@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lossless recompressor that rewrites pictures as smaller PNG files")
set(CPACK_PACKAGE_DESCRIPTION
  "repng takes picture files (BMP, GIF, JPEG, PNG, TIFF), re-encodes each one\n as PNG in memory and overwrites the file only when the PNG is smaller.\n Every pixel is kept, and files it cannot keep whole are left alone.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The launcher's converter; the libraries' packages are added after it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS luit)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
