// Appends bits to a byte vector, least significant bit first, as deflate
// packs them.
#pragma once

#include <cstdint>
#include <vector>

namespace repng::deflate {

class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>* out) : out_(out) {}

  // count <= 32
  void Write(uint32_t bits, int count) {
    buffer_ |= static_cast<uint64_t>(bits) << filled_;
    filled_ += count;
    while (filled_ >= 8) {
      out_->push_back(static_cast<uint8_t>(buffer_));
      buffer_ >>= 8;
      filled_ -= 8;
    }
  }

  void AlignToByte() {
    if (filled_ > 0) Write(0, 8 - filled_);
  }

  uint64_t BitPosition() const { return out_->size() * 8 + static_cast<uint64_t>(filled_); }

 private:
  std::vector<uint8_t>* out_;
  uint64_t buffer_ = 0;
  int filled_ = 0;
};

}  // namespace repng::deflate
