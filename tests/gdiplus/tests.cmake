repng_gtest(gdiplus_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/gdiplus_api_test.cpp
  LIBS repng_gdiplus)
