#include <iconv.h>

#include <climits>
#include <cstring>
#include <string_view>

#include "platform/posix/kernel32/last_error.h"
#include "platform/posix/nls/text_conversion.h"
#include "platform/posix/nls/unicode_units.h"

namespace {

constexpr UINT kGbkCodePage = 936;
constexpr char kGbkIconvName[] = "CP936";
constexpr char kDefaultCharacter = '?';
// No GBK character is longer than two bytes, no UTF-8 one longer than four.
constexpr std::size_t kMaxCharacterBytes = 4;

class IconvDescriptor {
 public:
  IconvDescriptor(const char* to, const char* from) : descriptor_(iconv_open(to, from)) {}
  ~IconvDescriptor() {
    if (IsOpen()) iconv_close(descriptor_);
  }
  IconvDescriptor(const IconvDescriptor&) = delete;
  IconvDescriptor& operator=(const IconvDescriptor&) = delete;

  bool IsOpen() const { return descriptor_ != reinterpret_cast<iconv_t>(-1); }

  // The code page bytes of one code point, or 0 when it has none.
  std::size_t ConvertOne(char32_t code_point, char out[kMaxCharacterBytes]) {
    char utf8[4];
    std::size_t in_left = repng::posix::EncodeUtf8(code_point, utf8);
    char* in = utf8;
    char* written = out;
    std::size_t out_left = kMaxCharacterBytes;
    if (iconv(descriptor_, &in, &in_left, &written, &out_left) == static_cast<std::size_t>(-1)) {
      iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);
      return 0;
    }
    return kMaxCharacterBytes - out_left;
  }

 private:
  iconv_t descriptor_;
};

// Counts the output and, when there is an output buffer, copies into it
// while it fits.
class OutputSink {
 public:
  OutputSink(LPSTR buffer, int capacity) : buffer_(buffer), capacity_(static_cast<std::size_t>(capacity)) {}

  bool Append(const char* bytes, std::size_t length) {
    if (buffer_ != nullptr) {
      if (length > capacity_ - count_) return false;
      std::memcpy(buffer_ + count_, bytes, length);
    } else if (length > static_cast<std::size_t>(INT_MAX) - count_) {
      return false;
    }
    count_ += length;
    return true;
  }

  int Count() const { return static_cast<int>(count_); }

 private:
  LPSTR buffer_;
  std::size_t capacity_;
  std::size_t count_ = 0;
};

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

std::size_t StringLength(LPCWCH text) {
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

}  // namespace

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
  const bool to_utf8 = CodePage == CP_UTF8;
  const bool to_gbk = CodePage == CP_ACP || CodePage == kGbkCodePage;
  if (!to_utf8 && !to_gbk) return Fail(ERROR_INVALID_PARAMETER);
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1) return Fail(ERROR_INVALID_PARAMETER);
  if (cbMultiByte < 0 || (cbMultiByte > 0 && lpMultiByteStr == nullptr)) return Fail(ERROR_INVALID_PARAMETER);
  if (to_utf8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD allowed_flags = to_utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  if ((dwFlags & ~allowed_flags) != 0) return Fail(ERROR_INVALID_FLAGS);

  IconvDescriptor gbk(kGbkIconvName, "UTF-8");
  if (to_gbk && !gbk.IsOpen()) return Fail(ERROR_INVALID_PARAMETER);

  std::string_view default_character(&kDefaultCharacter, 1);
  if (lpDefaultChar != nullptr) default_character = std::string_view(lpDefaultChar, strnlen(lpDefaultChar, 2));

  const std::size_t length = cchWideChar == -1 ? StringLength(lpWideCharStr) + 1 : static_cast<std::size_t>(cchWideChar);
  std::u16string_view units(lpWideCharStr, length);
  OutputSink sink(lpMultiByteStr, cbMultiByte);
  bool used_default = false;
  while (!units.empty()) {
    const repng::posix::Utf16Step step = repng::posix::DecodeUtf16Step(units);
    units.remove_prefix(step.length);
    char bytes[kMaxCharacterBytes];
    std::size_t count = 0;
    if (step.code_point < 0x80) {
      bytes[0] = static_cast<char>(step.code_point);
      count = 1;
    } else if (to_utf8) {
      if (step.is_lone_surrogate && (dwFlags & WC_ERR_INVALID_CHARS) != 0) return Fail(ERROR_NO_UNICODE_TRANSLATION);
      count = repng::posix::EncodeUtf8(step.is_lone_surrogate ? U'\uFFFD' : step.code_point, bytes);
    } else if (!step.is_lone_surrogate) {
      count = gbk.ConvertOne(step.code_point, bytes);
    }
    bool fits = true;
    if (count == 0) {
      used_default = true;
      fits = sink.Append(default_character.data(), default_character.size());
    } else {
      fits = sink.Append(bytes, count);
    }
    if (!fits) return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = used_default ? TRUE : FALSE;
  return sink.Count();
}
