if(NOT WIN32)
  # Shared by the tests of file access, of whole files and of whole batches.
  add_library(repng_file_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/file_test_support.cpp)
  target_include_directories(repng_file_test_support PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_compile_options(repng_file_test_support PRIVATE ${REPNG_WARNINGS})
  target_link_libraries(repng_file_test_support PUBLIC repng_posix_kernel32)
  repng_testable(repng_file_test_support)

  repng_gtest(kernel32_file_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/file_api_test.cpp
    LIBS repng_posix_kernel32 repng_file_test_support)
endif()
