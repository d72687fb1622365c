# repng.exe under Wine, from the plain Linux build, when the Windows program
# has been built (tools/build-windows.sh) or REPNG_WINDOWS_EXE names it. Its
# test helpers are built beside it, in tests/windows/helpers.
set(REPNG_WINDOWS_EXE "" CACHE FILEPATH "repng.exe to test under Wine (default: build-windows/repng.exe if built)")
set(REPNG_WINE /usr/lib/wine/wine64 CACHE FILEPATH "Wine's loader for 64-bit programs")
set(repng_windows_exe ${REPNG_WINDOWS_EXE})
if(NOT repng_windows_exe AND EXISTS ${PROJECT_SOURCE_DIR}/build-windows/repng.exe)
  set(repng_windows_exe ${PROJECT_SOURCE_DIR}/build-windows/repng.exe)
endif()

if(repng_windows_exe AND NOT EXISTS ${REPNG_WINE})
  message(WARNING "${repng_windows_exe} is not tested: no Wine at ${REPNG_WINE} (tools/build-windows.sh installs it)")
elseif(repng_windows_exe AND NOT WIN32 AND NOT REPNG_SANITIZE)
  get_filename_component(repng_windows_dir ${repng_windows_exe} DIRECTORY)
  add_executable(windows_program_tests ${CMAKE_CURRENT_LIST_DIR}/windows_program_test.cpp)
  target_include_directories(windows_program_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_options(windows_program_tests PRIVATE ${REPNG_WARNINGS})
  target_link_libraries(windows_program_tests PRIVATE GTest::gtest GTest::gtest_main)
  target_compile_definitions(windows_program_tests PRIVATE
    REPNG_WINE="${REPNG_WINE}"
    REPNG_WINDOWS_PROGRAM="${repng_windows_exe}"
    REPNG_HOLD_FILE_PROGRAM="${repng_windows_dir}/tests/windows/helpers/hold_file.exe"
    REPNG_FAILURE_FRAME_PROBE="${repng_windows_dir}/tests/windows/helpers/failure_frame_probe.exe"
    REPNG_LINUX_PROGRAM="$<TARGET_FILE:repng>"
    REPNG_SAMPLES_DIR="${PROJECT_SOURCE_DIR}/samples")
  add_dependencies(windows_program_tests repng)
  # One process and one Wine prefix for all cases: a prefix takes seconds
  # to make.
  add_test(NAME windows.program_under_wine COMMAND windows_program_tests)
  set_tests_properties(windows.program_under_wine PROPERTIES TIMEOUT 600)
endif()
