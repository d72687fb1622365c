repng_gtest(console_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/console_test.cpp LIBS repng_posix_console)

# The program's own entry and driver over the fake imaging, so that a batch
# can be steered into every kind of line and failure from outside.
add_executable(repng_with_fake_imaging
  ${PROJECT_SOURCE_DIR}/src/app/entry.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/posix/entry/posix_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fake_imaging.cpp)
target_include_directories(repng_with_fake_imaging PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
target_compile_options(repng_with_fake_imaging PRIVATE ${REPNG_WARNINGS})
target_compile_options(repng_with_fake_imaging PRIVATE -Wno-missing-field-initializers)
target_link_libraries(repng_with_fake_imaging PRIVATE repng_driver repng_posix_console)
repng_testable(repng_with_fake_imaging)

repng_gtest(program_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/program_test.cpp LIBS repng_text repng_codecs repng_codecs_fixtures)
target_compile_options(program_tests PRIVATE -Wno-missing-field-initializers)
target_compile_definitions(program_tests PRIVATE
  REPNG_PROGRAM="$<TARGET_FILE:repng>"
  REPNG_FAKE_IMAGING_PROGRAM="$<TARGET_FILE:repng_with_fake_imaging>"
  REPNG_SAMPLES_DIR="${PROJECT_SOURCE_DIR}/samples")
add_dependencies(program_tests repng repng_with_fake_imaging)
