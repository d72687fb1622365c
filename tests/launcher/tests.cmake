# The desktop launcher: its converter, and the program around repng.
if(NOT WIN32)
  repng_gtest(launcher_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/gbk_to_utf8_test.cpp ${CMAKE_CURRENT_LIST_DIR}/launcher_test.cpp
    LIBS repng_launcher repng_file_test_support)
  target_compile_definitions(launcher_tests PRIVATE
    REPNG_PROGRAM="$<TARGET_FILE:repng>"
    REPNG_LAUNCHER="$<TARGET_FILE:repng-gbk-view>"
    REPNG_SAMPLES_DIR="${PROJECT_SOURCE_DIR}/samples")
  add_dependencies(launcher_tests repng repng-gbk-view)
endif()
