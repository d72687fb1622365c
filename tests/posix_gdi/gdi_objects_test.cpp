#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "platform/posix/gdi/gdi_test_hooks.h"
#include "platform/windows_api.h"

namespace {

BITMAPINFO Request32(LONG width, LONG height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// A 2 x 3 section whose pixel at (x, y) from the top is 0x10 * y + x.
HBITMAP MakeSection(LONG signed_height) {
  const BITMAPINFO info = Request32(2, signed_height);
  void* bits = nullptr;
  const HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (section == nullptr) return nullptr;
  auto* pixels = static_cast<uint32_t*>(bits);
  for (uint32_t row = 0; row < 3; ++row) {
    const uint32_t top_row = signed_height < 0 ? row : 2 - row;
    for (uint32_t x = 0; x < 2; ++x) pixels[row * 2 + x] = 0x10 * top_row + x;
  }
  return section;
}

TEST(GdiObjects, GetDIBitsCopiesInTheRequestedRowOrder) {
  for (const LONG section_height : {-3, 3}) {
    const HBITMAP section = MakeSection(section_height);
    ASSERT_NE(section, nullptr);
    const HDC context = CreateCompatibleDC(nullptr);
    ASSERT_NE(context, nullptr);

    std::array<uint32_t, 6> rows{};
    BITMAPINFO top_down = Request32(2, -3);
    EXPECT_EQ(GetDIBits(context, section, 0, 3, rows.data(), &top_down, DIB_RGB_COLORS), 3);
    EXPECT_EQ(rows, (std::array<uint32_t, 6>{0x00, 0x01, 0x10, 0x11, 0x20, 0x21}));

    BITMAPINFO bottom_up = Request32(2, 3);
    EXPECT_EQ(GetDIBits(context, section, 0, 3, rows.data(), &bottom_up, DIB_RGB_COLORS), 3);
    EXPECT_EQ(rows, (std::array<uint32_t, 6>{0x20, 0x21, 0x10, 0x11, 0x00, 0x01}));

    // Scan lines past the bitmap are not copied.
    EXPECT_EQ(GetDIBits(context, section, 1, 9, rows.data(), &top_down, DIB_RGB_COLORS), 2);

    EXPECT_TRUE(DeleteDC(context));
    EXPECT_TRUE(DeleteObject(section));
  }
}

TEST(GdiObjects, GetDIBitsFailsOnBadContextsHandlesAndFormats) {
  const HBITMAP section = MakeSection(-3);
  const HDC context = CreateCompatibleDC(nullptr);
  std::array<uint32_t, 6> rows{};
  BITMAPINFO request = Request32(2, -3);
  EXPECT_EQ(GetDIBits(nullptr, section, 0, 3, rows.data(), &request, DIB_RGB_COLORS), 0);
  EXPECT_EQ(GetDIBits(reinterpret_cast<HDC>(section), section, 0, 3, rows.data(), &request, DIB_RGB_COLORS), 0);
  EXPECT_EQ(GetDIBits(context, reinterpret_cast<HBITMAP>(context), 0, 3, rows.data(), &request, DIB_RGB_COLORS),
            0);
  BITMAPINFO wrong_width = Request32(3, -3);
  EXPECT_EQ(GetDIBits(context, section, 0, 3, rows.data(), &wrong_width, DIB_RGB_COLORS), 0);
  BITMAPINFO wrong_depth = Request32(2, -3);
  wrong_depth.bmiHeader.biBitCount = 24;
  EXPECT_EQ(GetDIBits(context, section, 0, 3, rows.data(), &wrong_depth, DIB_RGB_COLORS), 0);

  DeleteObject(section);
  // A deleted bitmap is unknown from then on.
  EXPECT_EQ(GetDIBits(context, section, 0, 3, rows.data(), &request, DIB_RGB_COLORS), 0);
  EXPECT_FALSE(DeleteObject(section));
  BITMAP description{};
  EXPECT_EQ(GetObjectW(section, sizeof description, &description), 0);
  DeleteDC(context);
  EXPECT_FALSE(DeleteDC(context));
}

TEST(GdiObjects, ScreenAndMemoryContexts) {
  const size_t live = repng::posix::testing::LiveGdiObjectCount();
  const HWND desktop = GetDesktopWindow();
  ASSERT_NE(desktop, nullptr);
  const HDC screen = GetDC(desktop);
  ASSERT_NE(screen, nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(GetObjectType(memory), DWORD(OBJ_MEMDC));
  // Each kind is given back only its own way.
  EXPECT_FALSE(DeleteDC(screen));
  EXPECT_EQ(ReleaseDC(desktop, memory), 0);
  EXPECT_FALSE(DeleteObject(memory));
  EXPECT_EQ(ReleaseDC(desktop, screen), 1);
  EXPECT_TRUE(DeleteDC(memory));
  EXPECT_EQ(repng::posix::testing::LiveGdiObjectCount(), live);
}

}  // namespace
