repng_gtest(driver_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/driver_test.cpp ${CMAKE_CURRENT_LIST_DIR}/fake_imaging.cpp
  LIBS repng_driver)

repng_gtest(console_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/console_test.cpp LIBS repng_posix_console)

# The program's own entry and driver over the fake imaging, so that a batch
# can be steered into failures from outside.
add_executable(repng_with_fake_imaging
  ${PROJECT_SOURCE_DIR}/src/app/entry.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/posix/entry/posix_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fake_imaging.cpp)
target_include_directories(repng_with_fake_imaging PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_compile_options(repng_with_fake_imaging PRIVATE ${REPNG_WARNINGS})
target_link_libraries(repng_with_fake_imaging PRIVATE repng_driver repng_posix_console)

repng_gtest(program_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/program_test.cpp)
target_compile_definitions(program_tests PRIVATE
  REPNG_PROGRAM="$<TARGET_FILE:repng>"
  REPNG_FAKE_IMAGING_PROGRAM="$<TARGET_FILE:repng_with_fake_imaging>")
add_dependencies(program_tests repng repng_with_fake_imaging)
