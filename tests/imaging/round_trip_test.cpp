// Pictures made by ImageMagick in a scratch folder go through the whole
// path: decode, rebuild, encode as PNG, decode again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gdiplus/dib_reader.h"
#include "imaging/imaging.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/posix/gdi/gdi_test_hooks.h"
#include "platform/posix/gdi/global_memory_test_hooks.h"

namespace {

namespace fs = std::filesystem;

std::vector<BYTE> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

class RoundTrip : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (std::system("command -v convert >/dev/null 2>&1") != 0) return;
    char pattern[] = "/tmp/repng-imaging-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    folder_ = pattern;
    // 9 x 7 pixels of varied colour, each alpha level from clear to opaque.
    std::string rgba;
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 9; ++x) {
        const int alpha_levels[] = {255, 0, 128, 200, 1, 255, 64};
        rgba += char(x * 29);
        rgba += char(y * 37);
        rgba += char((x * y * 13) & 0xFF);
        rgba += char(alpha_levels[(x + y) % 7]);
      }
    }
    std::ofstream(folder_ / "source.rgba", std::ios::binary) << rgba;
  }
  static void TearDownTestSuite() {
    if (!folder_.empty()) fs::remove_all(folder_);
  }

  // The source converted by ImageMagick with `options` into `name`, read back.
  static std::vector<BYTE> Make(const std::string& options, const std::string& name) {
    const std::string command = "cd '" + folder_.string() + "' && convert -size 9x7 -depth 8 rgba:source.rgba " +
                                options + " " + name + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    return ReadFile(folder_ / name.substr(name.find(':') + 1));
  }

  // Decoded, encoded as PNG and decoded again, the picture has the same
  // size and premultiplied pixels.
  static void ExpectRoundTrip(const std::vector<BYTE>& file) {
    ASSERT_FALSE(file.empty());
    const HBITMAP source = LoadImageToHBitmap(file.data(), UINT(file.size()));
    ASSERT_NE(source, nullptr);
    UINT length = 0;
    std::unique_ptr<BYTE[]> png = EncodeHBitmapToPng(source, &length);
    ASSERT_NE(png, nullptr);
    const HBITMAP again = LoadImageToHBitmap(png.get(), length);
    ASSERT_NE(again, nullptr);
    const repng::test::DibPixels before = repng::test::ReadDibPixels(source);
    EXPECT_EQ(before.width, 9);
    EXPECT_EQ(before.height, 7);
    EXPECT_EQ(repng::test::ReadDibPixels(again), before);
    DeleteObject(source);
    DeleteObject(again);
  }

  void SetUp() override {
    if (folder_.empty()) GTEST_SKIP() << "ImageMagick's convert is not available";
  }

  static inline fs::path folder_;
};

TEST_F(RoundTrip, PngWithAlphaAndPalette) {
  ExpectRoundTrip(Make("", "png32:rgba.png"));
  ExpectRoundTrip(Make("-alpha off", "png24:rgb.png"));
  ExpectRoundTrip(Make("-alpha off -colors 16", "png8:palette.png"));
  ExpectRoundTrip(Make("-interlace PNG", "png32:interlaced.png"));
}

TEST_F(RoundTrip, Bmp) {
  ExpectRoundTrip(Make("-alpha off", "bmp3:rgb24.bmp"));
  ExpectRoundTrip(Make("-alpha off -colors 16", "bmp3:palette.bmp"));
}

TEST_F(RoundTrip, GifJpegTiff) {
  ExpectRoundTrip(Make("", "gif:transparent.gif"));
  ExpectRoundTrip(Make("-alpha off -quality 90", "jpg:photo.jpg"));
  ExpectRoundTrip(Make("-alpha off -colorspace Gray", "jpg:gray.jpg"));
  ExpectRoundTrip(Make("-compress lzw", "tiff:rgba.tif"));
}

TEST_F(RoundTrip, DecodingStartsTheLibraryOnce) {
  ExpectRoundTrip(Make("", "png32:again.png"));
  EXPECT_EQ(repng::gdiplus::testing::StartupCallCount(), 1u);
}

TEST(LoadImage, BytesThatAreNoPictureGiveNullAndLeaveNothingBehind) {
  const size_t blocks = repng::posix::testing::LiveGlobalBlockCount();
  const size_t gdi_objects = repng::posix::testing::LiveGdiObjectCount();
  const size_t images = repng::gdiplus::testing::LiveImageCount();
  const std::string text = "not a picture at all\r\n";
  EXPECT_EQ(LoadImageToHBitmap(reinterpret_cast<const BYTE*>(text.data()), UINT(text.size())), nullptr);
  EXPECT_EQ(LoadImageToHBitmap(reinterpret_cast<const BYTE*>(text.data()), 0), nullptr);
  EXPECT_EQ(LoadImageToHBitmap(nullptr, 0), nullptr);
  const BYTE cut_png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0};
  EXPECT_EQ(LoadImageToHBitmap(cut_png, sizeof cut_png), nullptr);
  EXPECT_EQ(repng::posix::testing::LiveGlobalBlockCount(), blocks);
  EXPECT_EQ(repng::posix::testing::LiveGdiObjectCount(), gdi_objects);
  EXPECT_EQ(repng::gdiplus::testing::LiveImageCount(), images);
}

}  // namespace
