if(NOT WIN32)
  repng_gtest(posix_gdi_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/hglobal_stream_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/gdi_objects_test.cpp
    LIBS repng_posix_gdi)
endif()
