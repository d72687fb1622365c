// How many copies of a picture its reductions hold at once, counted by a
// replacement of the global operator new in this test program alone.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/posix/memory/large_pages.h"  // REPNG_SANITIZED_ALLOCATOR
#include "png/encoding_search.h"

namespace {

std::atomic<size_t> live_bytes{0};
std::atomic<size_t> peak_bytes{0};

// Each block carries its size in front, so that delete can count it off.
constexpr size_t kHeader = alignof(std::max_align_t);

}  // namespace

#ifndef REPNG_SANITIZED_ALLOCATOR
void* operator new(size_t size) {
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (block == nullptr) throw std::bad_alloc();
  *reinterpret_cast<size_t*>(block) = size;
  const size_t now = live_bytes.fetch_add(size) + size;
  size_t peak = peak_bytes.load();
  while (now > peak && !peak_bytes.compare_exchange_weak(peak, now)) {
  }
  return block + kHeader;
}

void operator delete(void* pointer) noexcept {
  if (pointer == nullptr) return;
  unsigned char* block = static_cast<unsigned char*>(pointer) - kHeader;
  live_bytes.fetch_sub(*reinterpret_cast<size_t*>(block));
  std::free(block);
}

void operator delete(void* pointer, size_t) noexcept { operator delete(pointer); }
#endif

namespace repng::png {
namespace {

// A large picture's peak was its reductions: the picture, its smoothed
// copy and both truecolour rasters at once. Translucent pixels along the
// edges only, as on a wallpaper with soft corners, keep the smoothing's
// own lists small.
TEST(ReductionMemory, ThePictureIsFreedBeforeItsSmoothedRasterIsBuilt) {
#ifdef REPNG_SANITIZED_ALLOCATOR
  GTEST_SKIP() << "the sanitizers keep their own operator new";
#else
  constexpr uint32_t kSide = 1024;
  StraightImage image{kSide, kSide, std::vector<uint32_t>(size_t{kSide} * kSide)};
  for (uint32_t y = 0; y < kSide; ++y) {
    for (uint32_t x = 0; x < kSide; ++x) {
      const uint32_t alpha = x == 0 || y == 0 ? 0x80u : 0xFFu;
      image.argb[size_t{y} * kSide + x] = alpha << 24 | (x * 7 % 251) << 16 | (y * 3 % 241) << 8 | ((x ^ y) & 0xFF);
    }
  }
  const size_t picture = image.argb.size() * sizeof(uint32_t);
  const size_t before = live_bytes.load();
  peak_bytes.store(before);
  const std::vector<ReducedCandidate> reductions = BuildReductions(std::move(image));
  ASSERT_EQ(reductions.size(), 2u);  // truecolour, and truecolour smoothed
  const double copies = static_cast<double>(peak_bytes.load() - before + picture) / static_cast<double>(picture);
  // The picture, one of its copies and the two rasters: 4. Three once the
  // picture goes before the second raster.
  EXPECT_LT(copies, 3.5);
#endif
}

}  // namespace
}  // namespace repng::png
