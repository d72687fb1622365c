#pragma once

#include "text/text_types.h"

#if defined(__GNUC__) || defined(__clang__)
#define REPNG_PRINTF_FORMAT(format_index, first_value_index) \
  __attribute__((format(printf, format_index, first_value_index)))
#else
#define REPNG_PRINTF_FORMAT(format_index, first_value_index)
#endif

// printf-style formatting into a new narrow string. Short texts are made in
// a local buffer; longer ones in a heap buffer of exactly their length + 1.
// A format the runtime rejects gives the empty string.
NarrowText FormatText(const char* format, ...) REPNG_PRINTF_FORMAT(1, 2);
