# Installation (cmake --install) and the Debian package (cpack).
include(GNUInstallDirs)

install(TARGETS repng RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The desktop entry's way in: repng with its report as UTF-8.
if(TARGET repng-gbk-view)
  install(TARGETS repng-gbk-view RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Man page and changelog go in gzipped, as Debian policy wants them.
set(REPNG_VERSION ${PROJECT_VERSION})
configure_file(${PROJECT_SOURCE_DIR}/packaging/repng.1 ${PROJECT_BINARY_DIR}/packaging/repng.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/repng-gbk-view.1 ${PROJECT_BINARY_DIR}/packaging/repng-gbk-view.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/packaging/repng.1.gz ${PROJECT_BINARY_DIR}/packaging/repng-gbk-view.1.gz
         ${PROJECT_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9nf -k repng.1 repng-gbk-view.1 changelog
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/repng.1 ${PROJECT_BINARY_DIR}/packaging/repng-gbk-view.1
          ${PROJECT_BINARY_DIR}/packaging/changelog
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
add_custom_target(repng_docs ALL
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/repng.1.gz ${PROJECT_BINARY_DIR}/packaging/repng-gbk-view.1.gz
          ${PROJECT_BINARY_DIR}/packaging/changelog.gz)

install(FILES ${PROJECT_BINARY_DIR}/packaging/repng.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(TARGET repng-gbk-view)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/repng-gbk-view.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/repng.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
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
# The libraries' packages, glibc's iconv modules among them (libc6).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
