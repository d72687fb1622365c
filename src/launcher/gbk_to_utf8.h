// The report's code page 936 (GBK) text as UTF-8, piece by piece, for a
// terminal that reads UTF-8.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace repng::launcher {

class GbkToUtf8 {
 public:
  GbkToUtf8();
  ~GbkToUtf8();
  GbkToUtf8(const GbkToUtf8&) = delete;
  GbkToUtf8& operator=(const GbkToUtf8&) = delete;

  // False when the system cannot convert from code page 936; Convert then
  // passes the bytes on as they are.
  bool IsOpen() const { return converter_ != kNoConverter; }

  // The UTF-8 form of the next piece of the stream. A character cut in two
  // by the end of a piece waits for the rest in the next one; a byte that
  // starts no character becomes U+FFFD.
  std::string Convert(std::string_view piece);
  // The end of the stream: a character still waiting for its rest is U+FFFD.
  std::string Finish();

 private:
  static inline const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

  iconv_t converter_;
  std::string pending_;
};

}  // namespace repng::launcher
