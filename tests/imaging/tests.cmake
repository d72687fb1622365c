repng_gtest(imaging_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/pixel_read_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/encode_png_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/round_trip_test.cpp
  LIBS repng_imaging repng_codecs_fixtures)

# The library's start is attempted once per process, so a failed start
# needs a process of its own.
repng_gtest(imaging_start_failure_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/start_failure_test.cpp
  LIBS repng_imaging)
