// What tests may ask of the global memory stand-in; only its tests' build
// (REPNG_TEST_HOOKS) has it.
#pragma once

#include <cstddef>

namespace repng::posix::testing {

// Blocks allocated and not yet freed, in this process.
size_t LiveGlobalBlockCount();

}  // namespace repng::posix::testing
