#include <gtest/gtest.h>

#include <algorithm>

#include "codecs/bmp_writer.h"
#include "platform/gdiplus/codecs/image_decoder.h"

namespace repng::codecs {
namespace {

using test::Bytes;

using test::BmpSpec;
using test::MakeBmp;
constexpr uint32_t kEmbedded = test::kBmpEmbedded;
constexpr uint32_t kLinked = test::kBmpLinked;

DecodeResult Decode(const Bytes& bmp, DecodedImage* image) {
  return DecodeImage(bmp.data(), bmp.size(), image);
}

std::vector<uint32_t> DecodeOk(const BmpSpec& spec) {
  DecodedImage image;
  EXPECT_EQ(Decode(MakeBmp(spec), &image), DecodeResult::kOk);
  EXPECT_EQ(image.argb.size(), static_cast<size_t>(image.width) * image.height);
  return image.argb;
}

const Bytes kPalette4 = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 9, 8, 7, 0};  // red green blue 070809

TEST(BmpDecoder, PaletteDepthsAndRowOrder) {
  BmpSpec one{.width = 9, .height = 2, .bpp = 1, .palette = kPalette4, .colors_used = 2};
  one.rows = {{0b10000000, 0b10000000}, {0b01111111, 0b00000000}};
  const std::vector<uint32_t> bits = DecodeOk(one);
  ASSERT_EQ(bits.size(), 18u);
  EXPECT_EQ(bits[0], 0xFFFF0000u);   // top row is the last in the file
  EXPECT_EQ(bits[1], 0xFF00FF00u);
  EXPECT_EQ(bits[8], 0xFFFF0000u);
  EXPECT_EQ(bits[9], 0xFF00FF00u);
  EXPECT_EQ(bits[17], 0xFF00FF00u);

  BmpSpec four{.width = 3, .height = -1, .bpp = 4, .palette = kPalette4, .colors_used = 4};
  four.rows = {{0x32, 0x10}};
  EXPECT_EQ(DecodeOk(four), (std::vector<uint32_t>{0xFF070809, 0xFF0000FF, 0xFF00FF00}));

  BmpSpec eight{.width = 2, .height = -2, .bpp = 8, .palette = kPalette4, .colors_used = 4};
  eight.rows = {{0, 1}, {2, 3}};
  EXPECT_EQ(DecodeOk(eight), (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF070809}));

  BmpSpec core{.header_size = 12, .width = 2, .height = 1, .bpp = 8,
               .palette = Bytes(256 * 3, 0)};
  core.palette[3] = 1;
  core.palette[4] = 2;
  core.palette[5] = 3;
  core.rows = {{1, 0}};
  EXPECT_EQ(DecodeOk(core), (std::vector<uint32_t>{0xFF030201, 0xFF000000}));

  eight.rows = {{0, 1}, {2, 4}};
  DecodedImage image;
  EXPECT_EQ(Decode(MakeBmp(eight), &image), DecodeResult::kDamaged);  // index 4 of 4 colours
  EXPECT_TRUE(image.argb.empty());
}

TEST(BmpDecoder, DirectColourAndMasks) {
  BmpSpec rgb24{.width = 2, .height = 1, .bpp = 24};
  rgb24.rows = {{1, 2, 3, 4, 5, 6}};
  EXPECT_EQ(DecodeOk(rgb24), (std::vector<uint32_t>{0xFF030201, 0xFF060504}));

  BmpSpec core24 = rgb24;
  core24.header_size = 12;
  EXPECT_EQ(DecodeOk(core24), (std::vector<uint32_t>{0xFF030201, 0xFF060504}));

  BmpSpec rgb555{.width = 2, .height = 1, .bpp = 16};
  rgb555.rows = {{0x00, 0x7C, 0x1F, 0x00}};  // red, blue
  EXPECT_EQ(DecodeOk(rgb555), (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF}));

  BmpSpec rgb565{.width = 2, .height = 1, .bpp = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}};
  rgb565.rows = {{0xE0, 0x07, 0x10, 0x84}};  // green; 10000 100000 10000
  EXPECT_EQ(DecodeOk(rgb565), (std::vector<uint32_t>{0xFF00FF00, 0xFF848284}));

  BmpSpec zero_alpha{.width = 2, .height = 1, .bpp = 32};
  zero_alpha.rows = {{1, 2, 3, 0, 4, 5, 6, 0}};
  EXPECT_EQ(DecodeOk(zero_alpha), (std::vector<uint32_t>{0xFF030201, 0xFF060504}));

  BmpSpec with_alpha = zero_alpha;
  with_alpha.rows = {{1, 2, 3, 0, 4, 5, 6, 0x80}};
  EXPECT_EQ(DecodeOk(with_alpha), (std::vector<uint32_t>{0x00030201, 0x80060504}));

  BmpSpec v5{.header_size = 124, .width = 1, .height = -2, .bpp = 32, .compression = 3,
             .masks = {0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF}};
  v5.rows = {{0x40, 1, 2, 3}, {0xFF, 4, 5, 6}};  // A, R, G, B in memory order
  EXPECT_EQ(DecodeOk(v5), (std::vector<uint32_t>{0x40010203, 0xFF040506}));

  BmpSpec info_masks{.width = 1, .height = 1, .bpp = 32, .compression = 3,
                     .masks = {0x00FF0000, 0x0000FF00, 0x000000FF}};
  info_masks.rows = {{1, 2, 3, 0x10}};  // no alpha mask: the fourth byte is padding
  EXPECT_EQ(DecodeOk(info_masks), (std::vector<uint32_t>{0xFF030201}));

  BmpSpec alpha_fields = info_masks;
  alpha_fields.compression = 6;
  alpha_fields.masks.push_back(0xFF000000);
  EXPECT_EQ(DecodeOk(alpha_fields), (std::vector<uint32_t>{0x10030201}));

  BmpSpec no_green = info_masks;
  no_green.masks = {0x00FF0000, 0, 0x000000FF};
  EXPECT_EQ(DecodeOk(no_green), (std::vector<uint32_t>{0xFF030001}));

  BmpSpec wide_mask = info_masks;
  wide_mask.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
  DecodedImage image;
  EXPECT_EQ(Decode(MakeBmp(wide_mask), &image), DecodeResult::kUnsupported);
}

TEST(BmpDecoder, RunLengthStreams) {
  BmpSpec rle8{.width = 4, .height = 3, .bpp = 8, .compression = 1, .palette = kPalette4, .colors_used = 4};
  // Bottom row: 1 x red then absolute [green blue green]; end of line;
  // delta right 1, up 1 (to the top row), 1 x blue; end of bitmap.
  rle8.rows = {{1, 0, 0, 3, 1, 2, 1, 0, 0, 0, 0, 2, 1, 1, 1, 2, 0, 1}};
  std::vector<uint32_t> pixels = DecodeOk(rle8);
  EXPECT_EQ(pixels, (std::vector<uint32_t>{0, 0xFF0000FF, 0, 0,  // top row
                                           0, 0, 0, 0,            // never set
                                           0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF00FF00}));

  BmpSpec rle4{.width = 6, .height = 1, .bpp = 4, .compression = 2, .palette = kPalette4, .colors_used = 4};
  rle4.rows = {{3, 0x12, 0, 3, 0x30, 0x20, 0, 1}};  // 1 2 1, absolute 3 0 2
  EXPECT_EQ(DecodeOk(rle4), (std::vector<uint32_t>{0xFF00FF00, 0xFF0000FF, 0xFF00FF00, 0xFF070809,
                                                   0xFFFF0000, 0xFF0000FF}));

  DecodedImage image;
  BmpSpec overrun = rle8;
  overrun.rows = {{5, 0, 0, 1}};
  EXPECT_EQ(Decode(MakeBmp(overrun), &image), DecodeResult::kDamaged);
  BmpSpec far_delta = rle8;
  far_delta.rows = {{0, 2, 0, 9, 0, 1}};
  EXPECT_EQ(Decode(MakeBmp(far_delta), &image), DecodeResult::kDamaged);
  BmpSpec unfinished = rle8;
  unfinished.rows = {{2, 0, 0, 0}};
  EXPECT_EQ(Decode(MakeBmp(unfinished), &image), DecodeResult::kDamaged);
  BmpSpec bad_index = rle8;
  bad_index.rows = {{1, 7, 0, 1}};
  EXPECT_EQ(Decode(MakeBmp(bad_index), &image), DecodeResult::kDamaged);
}

TEST(BmpDecoder, RefusesDamageProfilesAndVastHeaders) {
  BmpSpec rgb24{.width = 2, .height = 2, .bpp = 24};
  rgb24.rows = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}};
  const Bytes good = MakeBmp(rgb24);
  DecodedImage image;
  for (size_t cut : {good.size() - 3, size_t{60}, size_t{30}, size_t{10}}) {
    EXPECT_EQ(Decode(Bytes(good.begin(), good.begin() + static_cast<long>(cut)), &image),
              DecodeResult::kDamaged) << cut;
  }
  // The last row may lack its padding.
  EXPECT_EQ(Decode(Bytes(good.begin(), good.end() - 2), &image), DecodeResult::kOk);

  BmpSpec linked = rgb24;
  linked.header_size = 124;
  linked.cs_type = kLinked;
  EXPECT_EQ(Decode(MakeBmp(linked), &image), DecodeResult::kUnsupported);
  BmpSpec embedded = linked;
  embedded.cs_type = kEmbedded;
  embedded.profile = test::MakeIccProfile("ProPhoto RGB");
  EXPECT_EQ(Decode(MakeBmp(embedded), &image), DecodeResult::kUnsupported);
  embedded.profile = test::MakeIccProfile("sRGB IEC61966-2.1");
  EXPECT_EQ(Decode(MakeBmp(embedded), &image), DecodeResult::kOk);
  BmpSpec v4 = rgb24;
  v4.header_size = 108;
  EXPECT_EQ(Decode(MakeBmp(v4), &image), DecodeResult::kOk);

  BmpSpec vast{.width = 100000, .height = 100000, .bpp = 24};
  EXPECT_EQ(Decode(MakeBmp(vast), &image), DecodeResult::kTooLarge);
  BmpSpec empty{.width = 0, .height = 5, .bpp = 24};
  EXPECT_EQ(Decode(MakeBmp(empty), &image), DecodeResult::kTooLarge);
  BmpSpec negative_width{.width = -2, .height = 2, .bpp = 24};
  EXPECT_EQ(Decode(MakeBmp(negative_width), &image), DecodeResult::kDamaged);
  BmpSpec odd_depth{.width = 2, .height = 2, .bpp = 7};
  EXPECT_EQ(Decode(MakeBmp(odd_depth), &image), DecodeResult::kDamaged);
  EXPECT_TRUE(image.argb.empty());
}

TEST(DecodeImage, ChoosesByBytes) {
  DecodedImage image;
  const std::string text = "just some text, not a picture";
  EXPECT_EQ(DecodeImage(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &image),
            DecodeResult::kNotRecognised);
  EXPECT_EQ(DecodeImage(nullptr, 0, &image), DecodeResult::kNotRecognised);
  const uint8_t bm[] = {'B', 'M'};
  EXPECT_EQ(DecodeImage(bm, sizeof bm, &image), DecodeResult::kDamaged);
  const uint8_t not_quite_gif[] = {'G', 'I', 'F', '8', '8', 'a', 0, 0};
  EXPECT_EQ(DecodeImage(not_quite_gif, sizeof not_quite_gif, &image), DecodeResult::kNotRecognised);
}

}  // namespace
}  // namespace repng::codecs
