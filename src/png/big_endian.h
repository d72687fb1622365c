// PNG and zlib both store their numbers most significant byte first.
#pragma once

#include <cstdint>
#include <vector>

namespace repng::png {

inline void AppendBigEndian32(uint32_t value, std::vector<uint8_t>* out) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace repng::png
