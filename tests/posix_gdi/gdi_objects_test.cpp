// The stand-in refuses what Windows refuses, so that a wrong call in the
// imaging code fails here as it would there.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "gdiplus/dib_reader.h"
#include "platform/posix/gdi/gdi_test_hooks.h"
#include "platform/windows_api.h"

namespace {

using repng::test::TopDown32;

TEST(GdiObjects, WrongHandlesFormatsAndReleasesFailAndChangeNothing) {
  const size_t live = repng::posix::testing::LiveGdiObjectCount();
  const HBITMAP section = repng::test::MakeDibSection(2, 3, {1, 2, 3, 4, 5, 6});
  const HWND desktop = GetDesktopWindow();
  const HDC screen = GetDC(desktop);
  const HDC context = CreateCompatibleDC(screen);
  ASSERT_NE(context, nullptr);
  BITMAPINFO wrong_depth = TopDown32(2, 3);
  wrong_depth.bmiHeader.biBitCount = 24;
  std::vector<uint32_t> rows(6);
  const auto read = [&rows](HDC dc, HBITMAP bitmap, BITMAPINFO request) {
    return GetDIBits(dc, bitmap, 0, 3, rows.data(), &request, DIB_RGB_COLORS);
  };
  EXPECT_EQ(read(context, section, TopDown32(2, 3)), 3);
  for (const auto& [dc, bitmap, request] : {std::tuple{HDC{}, section, TopDown32(2, 3)},
                                            {reinterpret_cast<HDC>(section), section, TopDown32(2, 3)},
                                            {context, reinterpret_cast<HBITMAP>(context), TopDown32(2, 3)},
                                            {context, section, TopDown32(3, 3)}, {context, section, wrong_depth}})
    EXPECT_EQ(read(dc, bitmap, request), 0);
  // Each object is given back only its own way, and only once.
  EXPECT_FALSE(DeleteDC(screen));
  EXPECT_EQ(ReleaseDC(desktop, context), 0);
  EXPECT_FALSE(DeleteObject(context));
  EXPECT_EQ(ReleaseDC(desktop, screen), 1);
  EXPECT_TRUE(DeleteObject(section));
  EXPECT_EQ(read(context, section, TopDown32(2, 3)), 0);
  EXPECT_FALSE(DeleteObject(section));
  BITMAP description{};
  EXPECT_EQ(GetObjectW(section, sizeof description, &description), 0);
  EXPECT_TRUE(DeleteDC(context));
  EXPECT_FALSE(DeleteDC(context));
  EXPECT_EQ(repng::posix::testing::LiveGdiObjectCount(), live);
}

}  // namespace
