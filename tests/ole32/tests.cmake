if(NOT WIN32)
  repng_gtest(ole32_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/hglobal_stream_test.cpp LIBS repng_posix_ole32)
endif()
