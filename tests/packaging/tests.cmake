# The Debian package, built and checked from the plain build only.
if(NOT REPNG_SANITIZE AND NOT WIN32)
  add_test(NAME packaging.deb
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_package.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  set_tests_properties(packaging.deb PROPERTIES TIMEOUT 300 RUN_SERIAL TRUE)
endif()
