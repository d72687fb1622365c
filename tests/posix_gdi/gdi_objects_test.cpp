#include <gtest/gtest.h>

#include <vector>

#include "gdiplus/dib_reader.h"
#include "platform/posix/gdi/gdi_test_hooks.h"
#include "platform/windows_api.h"

namespace {

using Rows = std::vector<uint32_t>;
using repng::test::TopDown32;

// A 2 x 3 section whose pixel at (x, y) from the top is 0x10 * y + x.
HBITMAP MakeSection(bool top_down) {
  BITMAPINFO info = TopDown32(2, top_down ? 3 : -3);
  void* bits = nullptr;
  const HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  for (uint32_t row = 0; row < 3; ++row)
    for (uint32_t x = 0; x < 2; ++x) static_cast<uint32_t*>(bits)[row * 2 + x] = 0x10 * (top_down ? row : 2 - row) + x;
  return section;
}

int Read(HDC context, HBITMAP bitmap, BITMAPINFO request, UINT first, UINT count, Rows* rows) {
  rows->assign(6, 0xDEAD);
  return GetDIBits(context, bitmap, first, count, rows->data(), &request, DIB_RGB_COLORS);
}

TEST(GdiObjects, GetDIBitsCopiesInTheRequestedRowOrder) {
  const HDC context = CreateCompatibleDC(nullptr);
  for (const bool top_down : {true, false}) {
    const HBITMAP section = MakeSection(top_down);
    Rows rows;
    EXPECT_EQ(Read(context, section, TopDown32(2, 3), 0, 3, &rows), 3);
    EXPECT_EQ(rows, (Rows{0x00, 0x01, 0x10, 0x11, 0x20, 0x21}));
    EXPECT_EQ(Read(context, section, TopDown32(2, -3), 0, 3, &rows), 3);  // bottom-up
    EXPECT_EQ(rows, (Rows{0x20, 0x21, 0x10, 0x11, 0x00, 0x01}));
    EXPECT_EQ(Read(context, section, TopDown32(2, 3), 1, 9, &rows), 2) << "only lines that exist";
    EXPECT_TRUE(DeleteObject(section));
  }
  EXPECT_TRUE(DeleteDC(context));
}

TEST(GdiObjects, WrongHandlesFormatsAndReleasesFailAndChangeNothing) {
  const size_t live = repng::posix::testing::LiveGdiObjectCount();
  const HBITMAP section = MakeSection(true);
  const HWND desktop = GetDesktopWindow();
  const HDC screen = GetDC(desktop);
  const HDC context = CreateCompatibleDC(screen);
  ASSERT_NE(context, nullptr);
  BITMAPINFO wrong_depth = TopDown32(2, 3);
  wrong_depth.bmiHeader.biBitCount = 24;
  Rows rows;
  for (const auto& [dc, bitmap, request] : {std::tuple{HDC{}, section, TopDown32(2, 3)},
                                            {reinterpret_cast<HDC>(section), section, TopDown32(2, 3)},
                                            {context, reinterpret_cast<HBITMAP>(context), TopDown32(2, 3)},
                                            {context, section, TopDown32(3, 3)}, {context, section, wrong_depth}})
    EXPECT_EQ(Read(dc, bitmap, request, 0, 3, &rows), 0);
  // Each object is given back only its own way, and only once.
  EXPECT_FALSE(DeleteDC(screen));
  EXPECT_EQ(ReleaseDC(desktop, context), 0);
  EXPECT_FALSE(DeleteObject(context));
  EXPECT_EQ(ReleaseDC(desktop, screen), 1);
  EXPECT_TRUE(DeleteObject(section));
  EXPECT_EQ(Read(context, section, TopDown32(2, 3), 0, 3, &rows), 0);
  EXPECT_FALSE(DeleteObject(section));
  BITMAP description{};
  EXPECT_EQ(GetObjectW(section, sizeof description, &description), 0);
  EXPECT_TRUE(DeleteDC(context));
  EXPECT_FALSE(DeleteDC(context));
  EXPECT_EQ(repng::posix::testing::LiveGdiObjectCount(), live);
}

}  // namespace
