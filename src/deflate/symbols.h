// The alphabets of the deflate format: literal/length and distance symbols,
// their extra bits, and the code-length alphabet of the block header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace repng::deflate {

inline constexpr int kMinMatch = 3;
inline constexpr int kMaxMatch = 258;
inline constexpr uint32_t kWindowSize = 32768;
inline constexpr int kEndOfBlock = 256;
inline constexpr int kLitLenSymbols = 286;   // 286 and 287 never occur
inline constexpr int kDistSymbols = 30;
inline constexpr int kCodeLengthSymbols = 19;
inline constexpr int kMaxCodeLength = 15;
inline constexpr int kMaxCodeLengthCodeLength = 7;
inline constexpr uint32_t kMaxStoredLength = 65535;

// One step of a parse: a literal (distance 0, value the byte) or a match
// (value its length, 3..258, and its distance, 1..32768).
struct Symbol {
  uint16_t value;
  uint16_t distance;
  bool IsLiteral() const { return distance == 0; }
  uint32_t Length() const { return distance == 0 ? 1u : value; }
};

inline constexpr std::array<uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                         31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::array<uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr std::array<uint16_t, 30> kDistBase = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                                       33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                                       1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr std::array<uint8_t, 30> kDistExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                       6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which the header sends the code-length code's lengths.
inline constexpr std::array<uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                                             11, 4,  12, 3, 13, 2, 14, 1, 15};

namespace detail {

// Length -> index into kLengthBase, for lengths 0..258 (below 3 unused).
inline constexpr std::array<uint8_t, 259> kLengthSlot = [] {
  std::array<uint8_t, 259> slots{};
  int slot = 0;
  for (int length = kMinMatch; length <= kMaxMatch; ++length) {
    while (slot + 1 < 29 && kLengthBase[slot + 1] <= length) ++slot;
    slots[length] = static_cast<uint8_t>(slot);
  }
  slots[258] = 28;  // 258 has a symbol of its own, not 227 + 31
  return slots;
}();

// Distance - 1 -> index into kDistBase: the first 256 directly, the rest by
// (distance - 1) >> 7.
inline constexpr std::array<uint8_t, 512> kDistSlot = [] {
  std::array<uint8_t, 512> slots{};
  auto slot_of = [](uint32_t distance) {
    int slot = 0;
    while (slot + 1 < 30 && kDistBase[slot + 1] <= distance) ++slot;
    return static_cast<uint8_t>(slot);
  };
  for (uint32_t d = 0; d < 256; ++d) slots[d] = slot_of(d + 1);
  for (uint32_t d = 256; d < 512; ++d) slots[d] = slot_of(((d - 256) << 7) + 1);
  return slots;
}();

}  // namespace detail

constexpr int LengthSlot(uint32_t length) { return detail::kLengthSlot[length]; }
inline int LengthSymbol(uint32_t length) { return 257 + LengthSlot(length); }
inline int DistSlot(uint32_t distance) {
  const uint32_t d = distance - 1;
  return detail::kDistSlot[d < 256 ? d : 256 + (d >> 7)];
}

}  // namespace repng::deflate
