#include "launcher/gbk_to_utf8.h"

#include <array>
#include <cerrno>

namespace repng::launcher {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
// A GBK character has two bytes at most; more waiting would be a codec
// that never completes one, and is shown as damaged rather than kept.
constexpr size_t kMaxPendingBytes = 4;

}  // namespace

// CP936 rather than GBK: the Windows code page maps 0x80 to the euro sign.
GbkToUtf8::GbkToUtf8() : converter_(iconv_open("UTF-8", "CP936")) {}

GbkToUtf8::~GbkToUtf8() {
  if (IsOpen()) iconv_close(converter_);
}

std::string GbkToUtf8::Convert(std::string_view piece) {
  if (!IsOpen()) return std::string(piece);
  std::string input = pending_;
  input.append(piece);
  pending_.clear();

  std::string output;
  std::array<char, 1024> buffer;
  char* in = input.data();
  size_t in_left = input.size();
  while (in_left > 0) {
    char* out = buffer.data();
    size_t out_left = buffer.size();
    const size_t result = iconv(converter_, &in, &in_left, &out, &out_left);
    const int error = errno;
    output.append(buffer.data(), buffer.size() - out_left);
    if (result != static_cast<size_t>(-1)) break;
    if (error == E2BIG) continue;
    if (error == EINVAL && in_left <= kMaxPendingBytes) {
      pending_.assign(in, in_left);
      break;
    }
    // EILSEQ, or anything else: one byte is shown as damaged and the
    // conversion starts afresh after it.
    output.append(kReplacement);
    ++in;
    --in_left;
    iconv(converter_, nullptr, nullptr, nullptr, nullptr);
  }
  return output;
}

std::string GbkToUtf8::Finish() {
  if (pending_.empty()) return {};
  pending_.clear();
  if (IsOpen()) iconv(converter_, nullptr, nullptr, nullptr, nullptr);
  return std::string(kReplacement);
}

}  // namespace repng::launcher
