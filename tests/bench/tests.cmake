# The benchmark's own arithmetic (totals, ratios, the verdict on the targets,
# what a tool's run counts as, the page and its chart) and its tool that asks
# the decoders why they refuse a file, from the plain build only.
if(NOT REPNG_SANITIZE AND NOT WIN32)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME bench.unit
           COMMAND ${Python3_EXECUTABLE} -m unittest discover -s tests
           WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/bench)
  set_tests_properties(bench.unit PROPERTIES ENVIRONMENT REPNG_REFUSAL_REASON=$<TARGET_FILE:refusal_reason>)
endif()
