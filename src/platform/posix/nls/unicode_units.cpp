#include "platform/posix/nls/unicode_units.h"

namespace repng::posix {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

Utf8Step DecodeUtf8Step(std::string_view bytes) {
  if (bytes.empty()) return {};
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (lead < 0x80) return {lead, 1};

  std::size_t length = 0;
  char32_t code_point = 0;
  // The second byte's range rules out overlong forms, surrogates and values
  // above U+10FFFF, as in the Unicode table of well-formed sequences.
  unsigned char second_min = 0x80;
  unsigned char second_max = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code_point = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code_point = lead & 0x0Fu;
    if (lead == 0xE0) second_min = 0xA0;
    if (lead == 0xED) second_max = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code_point = lead & 0x07u;
    if (lead == 0xF0) second_min = 0x90;
    if (lead == 0xF4) second_max = 0x8F;
  } else {
    return {};
  }
  if (bytes.size() < length) return {};
  const auto second = static_cast<unsigned char>(bytes[1]);
  if (second < second_min || second > second_max) return {};
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (!IsContinuation(byte)) return {};
    code_point = (code_point << 6) | (byte & 0x3Fu);
  }
  return {code_point, length};
}

std::size_t EncodeUtf8(char32_t code_point, char out[4]) {
  if (code_point < 0x80) {
    out[0] = static_cast<char>(code_point);
    return 1;
  }
  if (code_point < 0x800) {
    out[0] = static_cast<char>(0xC0 | (code_point >> 6));
    out[1] = static_cast<char>(0x80 | (code_point & 0x3F));
    return 2;
  }
  if (code_point < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (code_point >> 12));
    out[1] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (code_point & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (code_point >> 18));
  out[1] = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (code_point & 0x3F));
  return 4;
}

Utf16Step DecodeUtf16Step(std::u16string_view units) {
  if (units.empty()) return {};
  const char32_t first = units[0];
  if (IsHighSurrogate(first) && units.size() >= 2 && IsLowSurrogate(units[1])) {
    const char32_t code_point = 0x10000 + ((first - 0xD800) << 10) + (units[1] - 0xDC00);
    return {code_point, 2, false};
  }
  const bool lone = IsHighSurrogate(first) || IsLowSurrogate(first);
  return {first, 1, lone};
}

}  // namespace repng::posix
