repng_gtest(png_encoder_test
  SOURCES
    png/chunked_stream_test.cpp
    png/encoder_roundtrip_test.cpp
    png/parallel_trials_test.cpp
    png/raster_codec_test.cpp
    png/search_budget_test.cpp
    png/search_test.cpp
    png/translucent_colours_test.cpp
    png/worker_count_test.cpp
  LIBS repng_pngenc PkgConfig::SPNG PkgConfig::DEFLATE ${REPNG_ZLIB})

# Its own program: it replaces the global operator new to count blocks.
repng_gtest(png_reduction_memory_test
  SOURCES png/reduction_memory_test.cpp
  LIBS repng_pngenc PkgConfig::SPNG)
