#include <gtest/gtest.h>

#include <vector>

#include "gdiplus/dib_reader.h"
#include "imaging/imaging.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "png/png_encoder.h"

namespace {

TEST(FailedLibraryStart, EveryCallGivesNullAndTheStartIsNotRetried) {
  const std::vector<uint32_t> pixel = {0xFF336699};
  std::vector<uint8_t> png;
  ASSERT_TRUE(repng::png::EncodePargbToPng(reinterpret_cast<const uint8_t*>(pixel.data()), 1, 1, 4, &png));
  const HBITMAP section = repng::test::MakeDibSection(1, 1, pixel);

  repng::gdiplus::testing::SetStartupFails(true);
  ASSERT_EQ(repng::gdiplus::testing::StartupCallCount(), 0u);
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(LoadImageToHBitmap(png.data(), UINT(png.size())), nullptr);
    UINT length = 5;
    EXPECT_EQ(EncodeHBitmapToPng(section, &length), nullptr);
    EXPECT_EQ(length, 5u);
    // Even once the library could start, nothing tries again.
    repng::gdiplus::testing::SetStartupFails(false);
  }
  EXPECT_EQ(repng::gdiplus::testing::StartupCallCount(), 1u);
  DeleteObject(section);
}

}  // namespace
