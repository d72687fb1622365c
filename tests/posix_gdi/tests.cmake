if(NOT WIN32)
  repng_gtest(posix_gdi_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/hglobal_stream_test.cpp LIBS repng_posix_gdi)
endif()
