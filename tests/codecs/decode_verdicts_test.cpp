// What the decoders refuse (damage, several frames, deep samples, colour
// metadata, orientation, vast sizes), the oddities they accept, and the
// inputs the fuzzers once broke them with. The program's own test sees an
// animated GIF, a 16-bit PNG and a vast BMP refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "codecs/bmp_writer.h"
#include "codecs/gif_writer.h"
#include "codecs/magick.h"
#include "codecs/png_writer.h"
#include "codecs/image_decoder.h"

namespace repng::codecs {
namespace {

using test::Bytes;
using test::MakeBmp;
using test::MakeGif;

struct Verdict {
  std::string name;
  Bytes bytes;
  DecodeResult expected;
  std::vector<uint32_t> pixels = {};  // checked when given
};

constexpr DecodeResult kOk = DecodeResult::kOk, kDamaged = DecodeResult::kDamaged,
                       kTooLarge = DecodeResult::kTooLarge, kSeveralFrames = DecodeResult::kSeveralFrames,
                       kDeepSamples = DecodeResult::kDeepSamples, kColourProfile = DecodeResult::kColourProfile,
                       kGamma = DecodeResult::kGamma, kChromaticities = DecodeResult::kChromaticities,
                       kOrientation = DecodeResult::kOrientation, kOtherLayout = DecodeResult::kOtherLayout;

Bytes Cut(const Bytes& bytes, size_t keep) { return Bytes(bytes.begin(), bytes.begin() + long(keep)); }
Bytes Flip(Bytes bytes, size_t at) {
  bytes[at] ^= 1;
  return bytes;
}
Bytes Be32s(std::initializer_list<uint32_t> values) {
  Bytes out;
  for (const uint32_t value : values) test::PutBe32(out, value);
  return out;
}

// A 5 x 3 RGBA picture with the given extra chunks.
Bytes Png(std::vector<std::pair<std::string, Bytes>> before, std::vector<std::pair<std::string, Bytes>> after = {}) {
  test::PngSpec spec{.width = 5, .height = 3, .before_idat = std::move(before), .after_idat = std::move(after)};
  for (uint16_t i = 0; i < 60; ++i) spec.samples.push_back(uint16_t(i * 7 % 256));
  return test::MakePng(spec);
}

std::vector<Verdict> PngVerdicts() {
  const Bytes good = Png({});
  return {
      {"png without IEND", Cut(good, good.size() - 12), kDamaged},
      {"png cut in IDAT", Cut(good, good.size() / 2), kDamaged},
      {"png IDAT checksum", Flip(good, good.size() - 13), kDamaged},
      {"png ancillary checksum", Flip(Png({{"tEXt", {'a', 0, 'b'}}}), 44), kDamaged},
      {"png without IDAT", test::AppendChunk(Cut(good, 33), "IEND", {}), kDamaged},
      {"png short image data", test::MakePng({.width = 5, .height = 4, .samples = std::vector<uint16_t>(60, 9)}),
       kDamaged},
      {"png acTL", Png({{"acTL", {0, 0, 0, 1, 0, 0, 0, 0}}}), kSeveralFrames},
      {"png cICP sRGB", Png({{"cICP", {1, 13, 0, 1}}}), kOk},
      {"png cICP HDR", Png({{"cICP", {9, 16, 0, 1}}}), kColourProfile},
      {"png cICP limited range", Png({{"cICP", {1, 13, 0, 0}}}), kColourProfile},
      {"png cICP cut short", Png({{"cICP", {1, 13, 0}}}), kColourProfile},
      {"png iCCP sRGB", Png({{"iCCP", test::IccpChunk("ICC profile", "sRGB IEC61966-2.1")}}), kOk},
      {"png iCCP P3", Png({{"iCCP", test::IccpChunk("ICC profile", "Display P3")}}), kColourProfile},
      {"png iCCP named sRGB", Png({{"iCCP", test::IccpChunk("sRGB", "Adobe RGB (1998)")}}), kColourProfile},
      {"png gAMA near 1/2.2", Png({{"gAMA", Be32s({45100})}}), kOk},
      {"png gAMA 1", Png({{"gAMA", Be32s({100000})}}), kGamma},
      {"png gAMA 1 with sRGB", Png({{"sRGB", {0}}, {"gAMA", Be32s({100000})}}), kOk},
      {"png cHRM sRGB", Png({{"cHRM", Be32s({31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000})}}), kOk},
      {"png cHRM wide", Png({{"cHRM", Be32s({31270, 32900, 68000, 32000, 26500, 69000, 15000, 6000})}}), kChromaticities},
      {"png eXIf upright", Png({{"eXIf", test::ExifTiff(1)}}), kOk},
      {"png eXIf rotated", Png({{"eXIf", test::ExifTiff(6)}}), kOrientation},
      {"png eXIf rotated after IDAT", Png({}, {{"eXIf", test::ExifTiff(6)}}), kOrientation},
      // Only the header is read: there are no rows at all.
      {"png vast", test::MakePng({.width = 1 << 17, .height = 1 << 17}), kTooLarge},
  };
}

std::vector<Verdict> BmpVerdicts() {
  const Bytes palette = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
  const auto rle8 = [&](Bytes stream) {
    return MakeBmp({.width = 4, .height = 3, .bpp = 8, .compression = 1, .palette = palette, .colors_used = 3,
                    .rows = {stream}});
  };
  const auto v5 = [](uint32_t cs_type, Bytes profile) {
    return MakeBmp({.header_size = 124, .rows = {{1, 2, 3, 4, 5, 6}, {7, 8, 9}}, .cs_type = cs_type,
                    .profile = std::move(profile)});
  };
  const auto masked = [](uint32_t compression, std::vector<uint32_t> masks) {
    return MakeBmp({.width = 1, .height = 1, .bpp = 32, .compression = compression, .masks = std::move(masks),
                    .rows = {{1, 2, 3, 0x10}}});
  };
  const Bytes good = MakeBmp({.rows = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}});
  return {
      {"bmp cut in the last row", Cut(good, good.size() - 3), kDamaged},
      {"bmp last row without padding", Cut(good, good.size() - 2), kOk},
      {"bmp cut in the header", Cut(good, 30), kDamaged},
      {"bmp 32 bits with every alpha 0 is opaque", MakeBmp({.width = 1, .height = 1, .bpp = 32, .rows = {{1, 2, 3, 0}}}),
       kOk, {0xFF030201}},
      {"bmp masks without alpha leave padding", masked(3, {0xFF0000, 0xFF00, 0xFF}), kOk, {0xFF030201}},
      {"bmp alpha bitfields", masked(6, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}), kOk, {0x10030201}},
      {"bmp without a green mask", masked(3, {0xFF0000, 0, 0xFF}), kOk, {0xFF030001}},
      {"bmp masks wider than 8 bits", masked(3, {0x3FF00000, 0xFFC00, 0x3FF}), kDeepSamples},
      // Bottom row: red, then absolute green blue green; end of line; delta
      // right 1 and up 1 to the top row, blue; end of bitmap.
      {"bmp delta leaves pixels clear", rle8({1, 0, 0, 3, 1, 2, 1, 0, 0, 0, 0, 2, 1, 1, 1, 2, 0, 1}), kOk,
       {0, 0xFF0000FF, 0, 0, 0, 0, 0, 0, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF00FF00}},
      {"bmp index past the palette",
       MakeBmp({.height = 1, .bpp = 8, .palette = palette, .colors_used = 3, .rows = {{0, 3}}}), kDamaged},
      {"bmp run into the row's padding is cut at the row's end", rle8({5, 1, 0, 0, 0, 0, 0, 0, 0, 1}), kOk,
       {0, 0, 0, 0, 0, 0, 0, 0, 0xFF00FF00, 0xFF00FF00, 0xFF00FF00, 0xFF00FF00}},
      {"bmp run past the row's padding", rle8({9, 0, 0, 1}), kDamaged},
      {"bmp delta past the picture", rle8({0, 2, 0, 9, 0, 1}), kDamaged},
      {"bmp runs without an end", rle8({2, 0, 0, 0}), kDamaged},
      {"bmp run of an index past the palette", rle8({1, 7, 0, 1}), kDamaged},
      {"bmp linked profile", v5(test::kBmpLinked, {}), kColourProfile},
      {"bmp embedded ProPhoto", v5(test::kBmpEmbedded, test::IccProfile("ProPhoto RGB")), kColourProfile},
      {"bmp embedded sRGB", v5(test::kBmpEmbedded, test::IccProfile("sRGB IEC61966-2.1")), kOk},
      {"bmp no columns", MakeBmp({.width = 0, .height = 5}), kTooLarge},
      {"bmp negative width", MakeBmp({.width = -2}), kDamaged},
      {"bmp 7 bits", MakeBmp({.bpp = 7}), kDamaged},
  };
}

std::vector<Verdict> GifVerdicts() {
  const Bytes palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 8, 7};
  std::vector<Verdict> verdicts = {
      {"gif frame on a larger screen",
       MakeGif(4, 3, palette, {{.left = 1, .top = 1, .width = 2, .height = 2, .indices = {0, 1, 2, 3},
                               .transparent_index = 2}}),
       kOk, {0, 0, 0, 0, 0, 0xFFFF0000, 0xFF00FF00, 0, 0, 0, 0xFF090807, 0}},
      {"gif index past the palette", MakeGif(2, 1, {0, 0, 0, 9, 9, 9}, {{.width = 2, .indices = {1, 3}}}), kDamaged},
      {"gif frame outside the screen", MakeGif(2, 2, palette, {{.left = 1, .width = 2, .indices = {0, 1}}}), kDamaged},
      {"gif without a palette", MakeGif(1, 1, {}, {{.indices = {0}}}), kDamaged},
      // Refused before the screen is allocated.
      {"gif vast", MakeGif(65535, 65535, palette, {{.indices = {0}}}), kTooLarge},
  };
  const Bytes whole = MakeGif(3, 3, palette, {{.width = 3, .height = 3, .indices = {0, 1, 2, 3, 0, 1, 2, 3, 0}}});
  for (size_t keep = 13; keep < whole.size(); keep += 3)
    verdicts.push_back({"gif cut at " + std::to_string(keep), Cut(whole, keep), kDamaged});
  return verdicts;
}

Bytes WithSegment(const Bytes& jpeg, uint8_t marker, const std::string& tag, const Bytes& payload) {
  Bytes out = {0xFF, 0xD8, 0xFF, marker};
  test::PutBe16(out, uint32_t(2 + tag.size() + payload.size()));
  test::PutText(out, tag);
  out.insert(out.end(), payload.begin(), payload.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

std::vector<Verdict> JpegVerdicts() {
  const std::string source = std::string(test::kMagickSource) + " -alpha off";
  const Bytes baseline = test::Convert(source, "JPG:a.jpg");
  const Bytes progressive = test::Convert(source + " -interlace JPEG", "JPG:a.jpg");
  const std::string icc_tag("ICC_PROFILE\0\1\1", 14), exif_tag("Exif\0\0", 6);
  const size_t sof = size_t(std::ranges::search(baseline, Bytes{0xFF, 0xC0}).begin() - baseline.begin());
  Bytes twelve_bits = baseline, vast = baseline;
  twelve_bits.at(sof + 4) = 12;
  vast.at(sof + 5) = vast.at(sof + 7) = 0xFD;  // 64800 x 64800
  vast.at(sof + 6) = vast.at(sof + 8) = 0x20;
  return {
      {"jpeg without its end", Cut(progressive, progressive.size() - 2), kDamaged},
      {"jpeg cut in the scans", Cut(progressive, progressive.size() / 2), kDamaged},
      {"jpeg sRGB profile", WithSegment(baseline, 0xE2, icc_tag, test::IccProfile("sRGB IEC61966-2.1")), kOk},
      {"jpeg Adobe RGB profile", WithSegment(baseline, 0xE2, icc_tag, test::IccProfile("Adobe RGB (1998)")),
       kColourProfile},
      {"jpeg upright", WithSegment(baseline, 0xE1, exif_tag, test::ExifTiff(1)), kOk},
      {"jpeg rotated", WithSegment(baseline, 0xE1, exif_tag, test::ExifTiff(6)), kOrientation},
      {"jpeg 12 bits", twelve_bits, kDeepSamples},
      {"jpeg vast", vast, kTooLarge},
  };
}

std::vector<Verdict> TiffVerdicts() {
  const std::string source = std::string(test::kMagickSource) + " -alpha off";
  const auto tiff = [&](const std::string& options) { return test::Convert(source + " " + options, "TIFF:a.tif"); };
  const auto profiled = [&](const std::string& description) {
    return test::Convert(source + " -profile ICC:a.icc", "TIFF:a.tif", {{"a.icc", test::IccProfile(description)}});
  };
  // Strips come before the directory: damage in them leaves it readable.
  const Bytes lzw = tiff("-scale 800% -compress LZW");
  Bytes corrupt = lzw;
  for (size_t i = 8; i < 400; i += 3) corrupt[i] = 0xFF;
  return {
      {"tiff two pages", test::Convert(source + " " + source, "TIFF:a.tif"), kSeveralFrames},
      {"tiff 16 bits", tiff("-depth 16"), kDeepSamples},
      {"tiff rotated", tiff("-orient RightTop"), kOrientation},
      {"tiff ProPhoto profile", profiled("ProPhoto RGB"), kColourProfile},
      {"tiff sRGB profile", profiled("sRGB IEC61966-2.1"), kOk},
      {"tiff large LZW", lzw, kOk},
      {"tiff corrupt LZW", corrupt, kDamaged},
      {"tiff cut in the strips", Cut(lzw, 200), kDamaged},
  };
}

std::vector<Verdict> OtherVerdicts() {
  return {
      {"text", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'}, DecodeResult::kNotRecognised},
      {"nothing", {}, DecodeResult::kNotRecognised},
      {"GIF88a", {'G', 'I', 'F', '8', '8', 'a', 0, 0}, DecodeResult::kNotRecognised},
  };
}

TEST(DecodeVerdicts, EachFileGetsItsResultAndARefusalLeavesNoPicture) {
  for (auto* verdicts : {PngVerdicts, BmpVerdicts, GifVerdicts, JpegVerdicts, TiffVerdicts, OtherVerdicts}) {
    for (const Verdict& verdict : verdicts()) {
      SCOPED_TRACE(verdict.name);
      DecodedImage image;
      EXPECT_EQ(DecodeImage(verdict.bytes.data(), verdict.bytes.size(), &image), verdict.expected);
      EXPECT_TRUE(verdict.expected == kOk || (image.argb.empty() && image.width == 0));
      if (!verdict.pixels.empty()) {
        EXPECT_EQ(image.argb, verdict.pixels);
      }
    }
  }
}

TEST(DecodeVerdicts, FuzzFindingsKeepEveryDecodersContract) {
  using Decoder = DecodeResult (*)(const uint8_t*, size_t, DecodedImage*);
  for (const auto& entry : std::filesystem::directory_iterator(REPNG_FUZZ_REGRESSIONS)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const Decoder decode : {DecodeImage, DecodePng, DecodeBmp, DecodeGif, DecodeJpeg, DecodeTiff}) {
      DecodedImage image;
      const bool ok = decode(bytes.data(), bytes.size(), &image) == kOk;
      EXPECT_EQ(image.argb.size(), ok ? size_t(image.width) * image.height : 0) << entry.path();
      EXPECT_TRUE(ok || (image.width == 0 && image.height == 0)) << entry.path();
    }
  }
}

}  // namespace
}  // namespace repng::codecs
