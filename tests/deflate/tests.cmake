find_package(ZLIB REQUIRED)
repng_gtest(deflate_test
  SOURCES
    deflate/code_test.cpp
    deflate/compressor_test.cpp
    deflate/parse_test.cpp
  LIBS repng_deflate ZLIB::ZLIB PkgConfig::DEFLATE Threads::Threads)
