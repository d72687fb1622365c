// Code point level steps of UTF-8 and UTF-16, shared by the conversions.
#pragma once

#include <cstddef>
#include <string_view>

namespace repng::posix {

inline constexpr char32_t kMaxCodePoint = 0x10FFFF;

// One well-formed UTF-8 sequence at the start of `bytes`: its code point and
// length. A length of 0 means the first byte starts no well-formed sequence
// (overlong forms, encoded surrogates and values above U+10FFFF included).
struct Utf8Step {
  char32_t code_point = 0;
  std::size_t length = 0;
};
Utf8Step DecodeUtf8Step(std::string_view bytes);

// Writes the UTF-8 form of a code point (surrogates included, for callers
// that escape them) into out and returns its length, 1 to 4.
std::size_t EncodeUtf8(char32_t code_point, char out[4]);

// One code point at the start of non-empty UTF-16 text: a pair decodes to a
// supplementary code point (length 2); a lone surrogate comes back as itself
// with is_lone_surrogate set (length 1).
struct Utf16Step {
  char32_t code_point = 0;
  std::size_t length = 0;
  bool is_lone_surrogate = false;
};
Utf16Step DecodeUtf16Step(std::u16string_view units);

}  // namespace repng::posix
