repng_gtest(text_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/format_size_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/display_name_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wide_to_narrow_test.cpp
  LIBS repng_text)

if(NOT WIN32)
  repng_gtest(posix_nls_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/wide_char_to_multi_byte_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/path_bytes_test.cpp
    LIBS repng_posix_nls)
endif()
