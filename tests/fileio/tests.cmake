if(NOT WIN32)
  repng_gtest(fileio_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/whole_file_test.cpp
    LIBS repng_fileio repng_file_test_support)
endif()
