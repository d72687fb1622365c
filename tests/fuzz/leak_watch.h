// Live platform objects before and after one fuzz input: the handle tables
// stay reachable, so LeakSanitizer cannot see an object left in them.
#pragma once

#include <cstddef>

namespace repng::fuzz {

class LeakWatch {
 public:
  LeakWatch();
  // Empty when nothing was left behind, else what was.
  const char* Leftover() const;

 private:
  size_t global_blocks_;
  size_t gdi_objects_;
  size_t images_;
};

}  // namespace repng::fuzz
