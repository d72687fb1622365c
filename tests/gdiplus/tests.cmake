repng_gtest(gdiplus_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/flat_api_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wrappers_test.cpp
  LIBS repng_gdiplus)
