#include <gtest/gtest.h>

#include <vector>

#include "gdiplus/dib_reader.h"
#include "imaging/cache_helpers.h"
#include "imaging/memory_dc_cache.h"
#include "imaging/pargb_rebuild.h"
#include "platform/posix/gdi/gdi_test_hooks.h"

namespace {

using repng::posix::testing::CurrentGdiCallCounts;

TEST(MemoryDCCache, ReadsInARowReuseOneContextFromSlotZero) {
  repng::test::EmptyMemoryDCCache();
  const HBITMAP section = repng::test::MakeDibSection(2, 2, {1, 2, 3, 4});
  const uint64_t created = CurrentGdiCallCounts().create_compatible_dc;

  ASSERT_NE(ReadHBitmapBits(section, 2, 2, false), nullptr);
  const HDC first = MemoryDCCacheSlotsForTesting()[0];
  ASSERT_NE(ReadHBitmapBits(section, 2, 2, true), nullptr);

  const auto slots = MemoryDCCacheSlotsForTesting();
  EXPECT_NE(slots[0], nullptr);
  EXPECT_EQ(slots[0], first);
  for (size_t i = 1; i < slots.size(); ++i) EXPECT_EQ(slots[i], nullptr);
  EXPECT_EQ(CurrentGdiCallCounts().create_compatible_dc, created + 1);
  DeleteObject(section);
}

TEST(MemoryDCCache, ASixthContextDisplacesTheOneInTheLastSlot) {
  repng::test::EmptyMemoryDCCache();
  std::vector<HDC> contexts;
  for (int i = 0; i < 6; ++i) contexts.push_back(CreateCompatibleDC(nullptr));
  for (int i = 0; i < 5; ++i) ReleaseMemoryDC(contexts[size_t(i)]);
  // The most recently given back comes first.
  EXPECT_EQ(MemoryDCCacheSlotsForTesting()[0], contexts[4]);
  EXPECT_EQ(MemoryDCCacheSlotsForTesting()[4], contexts[0]);

  ReleaseMemoryDC(contexts[5]);
  const auto slots = MemoryDCCacheSlotsForTesting();
  EXPECT_EQ(slots[0], contexts[5]);
  EXPECT_EQ(slots[4], contexts[1]);
  EXPECT_EQ(GetObjectType(contexts[0]), 0u) << "the displaced context is deleted";
  for (size_t i = 1; i < 6; ++i) EXPECT_EQ(GetObjectType(contexts[i]), DWORD(OBJ_MEMDC));

  // Taking them out again gives the newest first.
  EXPECT_EQ(AcquireMemoryDC(), contexts[5]);
  EXPECT_EQ(AcquireMemoryDC(), contexts[4]);
  repng::test::EmptyMemoryDCCache();
  DeleteDC(contexts[5]);
  DeleteDC(contexts[4]);
}

TEST(MemoryDCCache, ANullHandleLeavesTheCacheUntouched) {
  repng::test::EmptyMemoryDCCache();
  ReleaseMemoryDC(CreateCompatibleDC(nullptr));
  const auto before = MemoryDCCacheSlotsForTesting();
  const auto counts = CurrentGdiCallCounts();

  EXPECT_EQ(CreatePargbBitmapFromHBitmap(nullptr), nullptr);
  EXPECT_EQ(MemoryDCCacheSlotsForTesting(), before);
  EXPECT_EQ(CurrentGdiCallCounts().get_object, counts.get_object);
  EXPECT_EQ(CurrentGdiCallCounts().create_compatible_dc, counts.create_compatible_dc);
}

TEST(MemoryDCCache, NoContextMeansAFailedReadAndNothingLost) {
  repng::test::EmptyMemoryDCCache();
  const HBITMAP section = repng::test::MakeDibSection(1, 1, {0xFF000000});
  repng::posix::testing::SetCreateCompatibleDCFails(true);
  EXPECT_EQ(ReadHBitmapBits(section, 1, 1, false), nullptr);
  repng::posix::testing::SetCreateCompatibleDCFails(false);
  EXPECT_EQ(repng::test::CachedContextCount(), 0u);
  // The next read makes its context as usual.
  EXPECT_NE(ReadHBitmapBits(section, 1, 1, false), nullptr);
  EXPECT_EQ(repng::test::CachedContextCount(), 1u);
  DeleteObject(section);
}

}  // namespace
