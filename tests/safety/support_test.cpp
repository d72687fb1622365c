// The safety checks themselves must see damage, or every other test here
// passes vacuously.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/gdiplus/codecs/image_decoder.h"
#include "platform/gdiplus/pixel_math.h"
#include "platform/gdiplus/png/png_encoder.h"
#include "safety/batch_support.h"

namespace repng::safety {
namespace {

// The picture as a PNG, with one pixel changed when asked.
std::string PngOf(const std::string& picture, size_t changed_pixel = SIZE_MAX) {
  codecs::DecodedImage image;
  EXPECT_EQ(codecs::DecodeImage(reinterpret_cast<const uint8_t*>(picture.data()), picture.size(), &image),
            codecs::DecodeResult::kOk);
  std::vector<uint32_t> pargb;
  for (uint32_t argb : image.argb) pargb.push_back(pixel::Premultiply(argb));
  if (changed_pixel < pargb.size()) pargb[changed_pixel] ^= 0x00010101;
  std::vector<uint8_t> png;
  EXPECT_TRUE(png::EncodePargbToPng(reinterpret_cast<const uint8_t*>(pargb.data()), image.width, image.height,
                                    image.width * 4, &png));
  return std::string(png.begin(), png.end());
}

TEST(SafetySupportTest, FolderCheckTellsRewrittenFromDamagedLostAndStray) {
  const std::vector<SampleFile> files = MakeSampleBatch(3);  // BMP, PNG, GIF
  ScratchFolder folder;
  FillFolder(folder, files);
  FolderExpectation before = Snapshot(folder.Folder());
  testing::WriteBytes(folder.PathOf(files[0].name), PngOf(files[0].bytes));
  testing::WriteBytes(folder.PathOf(files[1].name), PngOf(files[1].bytes));
  const FolderVerdict rewritten = CheckFolder(folder.Folder(), before);
  EXPECT_EQ(rewritten.problems, std::vector<std::string>{});
  EXPECT_EQ(rewritten.rewritten, 2u);

  // One pixel off, a PNG cut short, a file gone, a file that appeared.
  testing::WriteBytes(folder.PathOf(files[0].name), PngOf(files[0].bytes, 5));
  const std::string png = PngOf(files[1].bytes);
  testing::WriteBytes(folder.PathOf(files[1].name), png.substr(0, png.size() - 1));
  std::filesystem::remove(folder.PathOf(files[2].name));
  testing::WriteBytes(folder.PathOf(".~repng0"), "partial");
  EXPECT_EQ(CheckFolder(folder.Folder(), before).problems,
            (std::vector<std::string>{"00000.bmp: damaged", "00001.png: damaged", "00002.gif: lost", ".~repng0: stray"}));
  before[files[2].name].may_vanish = true;
  EXPECT_EQ(CheckFolder(folder.Folder(), before).vanished, 1u);
}

TEST(SafetySupportTest, ReportKnowsTheProgramsLinesAndNothingElse) {
  const std::string head = "a.bmp\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA";  // a.bmp，原大小：
  const std::string rewritten = head + "12.06K\xA3\xAC\xD0\xC2\xB4\xF3\xD0\xA1\xA3\xBA" "305\xD7\xD6\xBD\xDA\xA1\xA3\r\n";
  const std::string crash = "\xB3\xCC\xD0\xF2\xB1\xC0\xC0\xA3\xC4\xF1~~~~ \xC7\xEB\xC1\xAA\xCF\xB5Veldrin\xBD\xE2\xBE\xF6!\r\n";
  const Report report = ReadReport(rewritten + head + "1.00K" + crash, {"a.bmp"});
  EXPECT_EQ(report.foreign_lines, std::vector<std::string>{});
  EXPECT_EQ(report.finished, 1u);
  EXPECT_EQ(report.rewritten, 1u);
  EXPECT_TRUE(report.crashed);
  // An unknown name, a size cut off, a line torn by another writer, no CR.
  const std::string torn = rewritten.substr(0, 20);
  EXPECT_EQ(ReadReport(rewritten, {"b.bmp"}).foreign_lines.size(), 1u);
  EXPECT_EQ(ReadReport(head + "1.0K" + crash + torn + rewritten + rewritten.substr(0, rewritten.size() - 2) + "\n",
                       {"a.bmp"}).foreign_lines.size(), 3u);
}

}  // namespace
}  // namespace repng::safety
