#include <gtest/gtest.h>

#include "codecs/gif_writer.h"
#include "platform/gdiplus/codecs/image_decoder.h"

namespace repng::codecs {
namespace {

using test::Bytes;
using test::GifFrame;

const Bytes kGlobal = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 8, 7};  // red green blue 090807

DecodeResult Decode(const Bytes& gif, DecodedImage* image) {
  return DecodeImage(gif.data(), gif.size(), image);
}

TEST(GifDecoder, FramesPalettesTransparencyAndInterlace) {
  // A 2 x 2 frame at (1, 1) on a 4 x 3 screen; the rest is transparent.
  Bytes gif = test::GifHeader(4, 3, kGlobal);
  test::AppendGifFrame(gif, {.left = 1, .top = 1, .width = 2, .height = 2, .indices = {0, 1, 2, 3},
                             .transparent_index = 2});
  test::EndGif(gif);
  DecodedImage image;
  ASSERT_EQ(Decode(gif, &image), DecodeResult::kOk);
  EXPECT_EQ(image.width, 4u);
  EXPECT_EQ(image.height, 3u);
  EXPECT_EQ(image.argb, (std::vector<uint32_t>{0, 0, 0, 0,                          //
                                               0, 0xFFFF0000, 0xFF00FF00, 0,        //
                                               0, 0, 0xFF090807, 0}));

  // A local palette wins over the global one; rows come back in display order.
  std::vector<uint8_t> rows;
  for (uint8_t y = 0; y < 10; ++y) rows.push_back(y % 2);
  Bytes local = test::GifHeader(1, 10, kGlobal);
  test::AppendGifFrame(local, {.width = 1, .height = 10, .interlaced = true,
                               .local_palette = {1, 1, 1, 2, 2, 2}, .indices = rows});
  test::EndGif(local);
  ASSERT_EQ(Decode(local, &image), DecodeResult::kOk);
  for (uint32_t y = 0; y < 10; ++y) EXPECT_EQ(image.argb[y], y % 2 ? 0xFF020202u : 0xFF010101u) << y;
}

TEST(GifDecoder, RefusesAnimationDamageAndVastScreens) {
  DecodedImage image;
  Bytes two = test::GifHeader(1, 1, kGlobal);
  test::AppendGifFrame(two, {.indices = {0}});
  test::AppendGifFrame(two, {.indices = {1}});
  test::EndGif(two);
  EXPECT_EQ(Decode(two, &image), DecodeResult::kUnsupported);

  Bytes out_of_range = test::GifHeader(2, 1, {0, 0, 0, 255, 255, 255});  // two colours
  test::AppendGifFrame(out_of_range, {.width = 2, .indices = {1, 3}});
  test::EndGif(out_of_range);
  EXPECT_EQ(Decode(out_of_range, &image), DecodeResult::kDamaged);

  Bytes whole = test::GifHeader(3, 3, kGlobal);
  test::AppendGifFrame(whole, {.width = 3, .height = 3, .indices = {0, 1, 2, 3, 0, 1, 2, 3, 0}});
  test::EndGif(whole);
  ASSERT_EQ(Decode(whole, &image), DecodeResult::kOk);
  for (size_t cut = 1; cut < whole.size(); cut += 3) {
    EXPECT_NE(Decode(Bytes(whole.begin(), whole.end() - static_cast<long>(cut)), &image), DecodeResult::kOk) << cut;
    EXPECT_TRUE(image.argb.empty());
  }

  Bytes outside = test::GifHeader(2, 2, kGlobal);
  test::AppendGifFrame(outside, {.left = 1, .width = 2, .height = 1, .indices = {0, 1}});
  test::EndGif(outside);
  EXPECT_EQ(Decode(outside, &image), DecodeResult::kDamaged);

  Bytes no_palette = test::GifHeader(1, 1, {});
  test::AppendGifFrame(no_palette, {.indices = {0}});
  test::EndGif(no_palette);
  EXPECT_EQ(Decode(no_palette, &image), DecodeResult::kDamaged);

  // 65535 x 65535 is over the limit: refused before the screen is allocated.
  Bytes vast = test::GifHeader(65535, 65535, kGlobal);
  test::AppendGifFrame(vast, {.indices = {0}});
  test::EndGif(vast);
  EXPECT_EQ(Decode(vast, &image), DecodeResult::kTooLarge);
}

}  // namespace
}  // namespace repng::codecs
