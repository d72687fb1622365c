repng_gtest(text_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/report_text_test.cpp
  LIBS repng_text)

if(NOT WIN32)
  repng_gtest(posix_nls_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform_text_test.cpp
    LIBS repng_posix_nls)
endif()
