// Byte-building helpers for hand-made test files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace repng::test {

using Bytes = std::vector<uint8_t>;

inline void PutLe16(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); }
inline void PutLe32(Bytes& b, uint32_t v) { PutLe16(b, v); PutLe16(b, v >> 16); }
inline void PutBe16(Bytes& b, uint32_t v) { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); }
inline void PutBe32(Bytes& b, uint32_t v) { PutBe16(b, v >> 16); PutBe16(b, v); }
inline void PutText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

}  // namespace repng::test
