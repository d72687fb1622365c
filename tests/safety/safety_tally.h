// How hard the safety tests work, and the figures they leave for
// bench/safety. Quick by default (CI); REPNG_SAFETY_LEVEL=bench makes every
// test work for longer. With REPNG_SAFETY_TALLY set, each test appends its
// figures to that file, one line each.
#pragma once

#include <cstddef>
#include <string>

namespace repng::safety {

bool IsBenchRun();

// True in builds with AddressSanitizer, where programs run several times
// slower.
constexpr bool kSanitized =
#if defined(__SANITIZE_ADDRESS__)
    true;
#else
    false;
#endif

struct Tally {
  size_t inputs = 0;         // inputs the program was given
  size_t faults = 0;         // injected faults (allocation, write)
  size_t kills = 0;          // SIGKILLs in the middle of a batch
  size_t files_checked = 0;  // files checked against the safety criterion
  size_t damaged = 0;        // of those, lost or damaged, plus stray files
};

void RecordTally(const std::string& test_name, const Tally& tally);

}  // namespace repng::safety
