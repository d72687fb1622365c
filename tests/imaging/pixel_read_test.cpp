// Reading a bitmap's pixels through the cached memory contexts, and the
// premultiplied bitmap built from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <vector>

#include "gdiplus/dib_reader.h"
#include "imaging/gdiplus_startup.h"
#include "imaging/memory_dc_cache.h"
#include "imaging/pargb_rebuild.h"
#include "platform/posix/gdi/gdi_test_hooks.h"

namespace {

namespace gdi = repng::posix::testing;
using Pixels = std::vector<UINT>;

void EmptyCache() {
  for (size_t i = 0; i < kMemoryDCCacheSlots; ++i) DeleteDC(AcquireMemoryDC());
}

class PixelRead : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureGdiplusStarted();
    EmptyCache();
    objects_ = gdi::LiveGdiObjectCount();
  }
  void TearDown() override {
    DeleteObject(section_);
    EmptyCache();
  }
  // The cache's contexts are the only GDI objects the tests leave behind.
  long CachedContexts() const { return long(gdi::LiveGdiObjectCount()) - long(objects_); }
  Pixels Read(bool bottom_up) {
    const std::unique_ptr<UINT[]> bits = ReadHBitmapBits(section_, 1, 3, bottom_up);
    return bits ? Pixels(bits.get(), bits.get() + 3) : Pixels{};
  }

  HBITMAP section_ = repng::test::MakeDibSection(1, 3, {0x80402010, 2, 3});
  size_t objects_ = 0;
};

TEST_F(PixelRead, OnePixelKeepsItsFourBytes) {
  const HBITMAP one = repng::test::MakeDibSection(1, 1, {0x80402010});
  std::unique_ptr<Gdiplus::Bitmap> bitmap = CreatePargbBitmapFromHBitmap(one);
  DeleteObject(one);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->GetWidth() * bitmap->GetHeight(), 1u);
  Gdiplus::BitmapData data{};
  ASSERT_EQ(bitmap->LockBits(nullptr, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data), Gdiplus::Ok);
  const BYTE* bytes = static_cast<const BYTE*>(data.Scan0);
  EXPECT_EQ(std::vector<BYTE>(bytes, bytes + 4), (std::vector<BYTE>{0x10, 0x20, 0x40, 0x80}));  // B G R A
  bitmap->UnlockBits(&data);
}

TEST_F(PixelRead, ReadsInARowReuseOneContext) {
  const uint64_t created = gdi::CurrentGdiCallCounts().create_compatible_dc;
  EXPECT_EQ(Read(false), (Pixels{0x80402010, 2, 3}));
  EXPECT_EQ(Read(true), (Pixels{3, 2, 0x80402010}));
  EXPECT_EQ(CachedContexts(), 1);
  EXPECT_EQ(gdi::CurrentGdiCallCounts().create_compatible_dc, created + 1);
}

TEST_F(PixelRead, ASixthContextDisplacesTheLeastRecentlyGivenBack) {
  std::vector<HDC> contexts;
  for (int i = 0; i < 6; ++i) contexts.push_back(CreateCompatibleDC(nullptr));
  for (const HDC context : contexts) ReleaseMemoryDC(context);
  EXPECT_EQ(CachedContexts(), 5);
  EXPECT_EQ(GetObjectType(contexts[0]), 0u) << "deleted";
  // The most recently given back comes first; then new ones are made.
  const uint64_t created = gdi::CurrentGdiCallCounts().create_compatible_dc;
  std::vector<HDC> taken;
  for (int i = 0; i < 5; ++i) taken.push_back(AcquireMemoryDC());
  EXPECT_EQ(taken, (std::vector{contexts[5], contexts[4], contexts[3], contexts[2], contexts[1]}));
  EXPECT_EQ(gdi::CurrentGdiCallCounts().create_compatible_dc, created);
  const HDC fresh = AcquireMemoryDC();
  EXPECT_EQ(gdi::CurrentGdiCallCounts().create_compatible_dc, created + 1);
  EXPECT_EQ(GetObjectType(fresh), DWORD(OBJ_MEMDC));
  taken.push_back(fresh);
  for (const HDC context : taken) DeleteDC(context);
}

TEST_F(PixelRead, FailuresTakeNothingFromTheCache) {
  const HDC kept = CreateCompatibleDC(nullptr);
  ReleaseMemoryDC(kept);
  const auto counts = gdi::CurrentGdiCallCounts();
  EXPECT_EQ(CreatePargbBitmapFromHBitmap(nullptr), nullptr);
  // 32-bit overflow of the size raises before any context is taken.
  EXPECT_THROW(ReadHBitmapBits(section_, 32768, 32768, false), std::bad_alloc);
  EXPECT_THROW(ReadHBitmapBits(section_, 0x7FFFFFFF, 2, true), std::bad_alloc);
  EXPECT_EQ(CachedContexts(), 1);
  EXPECT_EQ(AcquireMemoryDC(), kept);
  ReleaseMemoryDC(kept);
  const auto after = gdi::CurrentGdiCallCounts();
  EXPECT_EQ(after.get_object + after.get_dibits + after.create_compatible_dc,
            counts.get_object + counts.get_dibits + counts.create_compatible_dc);
}

TEST_F(PixelRead, FewerRowsOrNoContextFailTheRead) {
  gdi::SetGetDIBitsRowLimit(2);
  EXPECT_EQ(Read(false), Pixels{});
  EXPECT_EQ(CreatePargbBitmapFromHBitmap(section_), nullptr);
  EXPECT_EQ(CachedContexts(), 1) << "the context went back all the same";
  gdi::SetGetDIBitsRowLimit(std::nullopt);

  EmptyCache();
  gdi::SetCreateCompatibleDCFails(true);
  EXPECT_EQ(Read(false), Pixels{});
  gdi::SetCreateCompatibleDCFails(false);
  EXPECT_EQ(CachedContexts(), 0);
  EXPECT_EQ(Read(false).size(), 3u);
}

}  // namespace
