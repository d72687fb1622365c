find_package(ZLIB REQUIRED)

add_library(repng_codecs_fixtures STATIC
  ${CMAKE_CURRENT_LIST_DIR}/png_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bmp_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gif_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/magick.cpp
  ${CMAKE_CURRENT_LIST_DIR}/picture_variants.cpp)
target_include_directories(repng_codecs_fixtures PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_compile_options(repng_codecs_fixtures PRIVATE ${REPNG_WARNINGS})
# GCC 12 at -O2 warns falsely about appends to small byte vectors (the
# inlined memmove of vector::insert); the fixtures are checked under ASan.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(repng_codecs_fixtures PRIVATE -Wno-stringop-overflow -Wno-array-bounds)
endif()
# Fixtures are written with designated initialisers that name only what differs.
target_compile_options(repng_codecs_fixtures PRIVATE -Wno-missing-field-initializers)
target_link_libraries(repng_codecs_fixtures PUBLIC ZLIB::ZLIB)

repng_gtest(codecs_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/decode_verdicts_test.cpp
  LIBS repng_codecs repng_codecs_fixtures)
target_compile_options(codecs_test PRIVATE -Wno-missing-field-initializers)
target_compile_definitions(codecs_test PRIVATE
  REPNG_FUZZ_REGRESSIONS="${PROJECT_SOURCE_DIR}/tests/fuzz/regressions")
