// libFuzzer targets for the program-level checks: REPNG_FUZZ_CHECK names the
// check, which describes any broken contract; the fuzzer stops on it.
#include <cstdio>
#include <cstdlib>

#include "load_image_check.h"
#include "round_trip_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string failure = repng::fuzz::REPNG_FUZZ_CHECK(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
