# Never losing a file: faults injected into the overwrite and into memory,
# kills in the middle of a batch, several instances at once, and scale.
if(NOT WIN32 AND TARGET repng_codecs_fixtures)
  find_package(PNG REQUIRED)
  add_library(repng_safety_support STATIC
    ${CMAKE_CURRENT_LIST_DIR}/batch_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/batch_verdicts.cpp)
  target_compile_options(repng_safety_support PRIVATE ${REPNG_WARNINGS} -Wno-missing-field-initializers)
  target_link_libraries(repng_safety_support PUBLIC repng_file_test_support repng_codecs repng_codecs_fixtures)
  repng_testable(repng_safety_support)

  # The program itself, with allocation and file faults on request.
  add_executable(repng_with_faults
    ${PROJECT_SOURCE_DIR}/src/app/entry.cpp
    ${PROJECT_SOURCE_DIR}/src/platform/posix/entry/posix_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fault_injecting_entry.cpp)
  target_include_directories(repng_with_faults PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_compile_options(repng_with_faults PRIVATE ${REPNG_WARNINGS})
  target_link_libraries(repng_with_faults PRIVATE repng_driver repng_imaging)
  repng_testable(repng_with_faults)
  target_link_options(repng_with_faults PRIVATE -Wl,--wrap=_Z15ProcessPathListiPPDs)

  repng_gtest(safety_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/fault_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/timing_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/scale_test.cpp
    LIBS repng_safety_support PNG::PNG)
  target_compile_options(safety_tests PRIVATE -Wno-missing-field-initializers)
  target_compile_definitions(safety_tests PRIVATE
    REPNG_PROGRAM="$<TARGET_FILE:repng>"
    REPNG_FAULTY_PROGRAM="$<TARGET_FILE:repng_with_faults>")
  add_dependencies(safety_tests repng repng_with_faults)
endif()
