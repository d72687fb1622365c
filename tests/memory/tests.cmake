if(NOT WIN32)
  repng_gtest(memory_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/large_pages_test.cpp ${PROJECT_SOURCE_DIR}/src/platform/posix/entry/operator_new.cpp
    LIBS repng_posix_memory)
endif()
