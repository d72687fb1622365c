#include "platform/posix/nls/path_bytes.h"

#include "platform/posix/nls/unicode_units.h"

namespace repng::posix {
namespace {

constexpr char16_t kEscapedByteBase = 0xDC00;
constexpr char16_t kFirstEscapedByte = 0xDC80;
constexpr char16_t kLastEscapedByte = 0xDCFF;

void AppendUtf16(char32_t code_point, std::u16string& out) {
  if (code_point < 0x10000) {
    out.push_back(static_cast<char16_t>(code_point));
    return;
  }
  const char32_t offset = code_point - 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

}  // namespace

std::u16string PathBytesToUtf16(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    const Utf8Step step = DecodeUtf8Step(bytes);
    if (step.length == 0) {
      // Only bytes from 0x80 up can fail to decode, so the escape always
      // lands in U+DC80..U+DCFF.
      text.push_back(static_cast<char16_t>(kEscapedByteBase + static_cast<unsigned char>(bytes[0])));
      bytes.remove_prefix(1);
      continue;
    }
    AppendUtf16(step.code_point, text);
    bytes.remove_prefix(step.length);
  }
  return text;
}

std::optional<std::string> Utf16ToPathBytes(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  while (!text.empty()) {
    const Utf16Step step = DecodeUtf16Step(text);
    text.remove_prefix(step.length);
    if (step.code_point == 0) return std::nullopt;
    if (step.is_lone_surrogate) {
      if (step.code_point < kFirstEscapedByte || step.code_point > kLastEscapedByte) return std::nullopt;
      bytes.push_back(static_cast<char>(step.code_point - kEscapedByteBase));
      continue;
    }
    char encoded[4];
    bytes.append(encoded, EncodeUtf8(step.code_point, encoded));
  }
  return bytes;
}

}  // namespace repng::posix
