// The safety checks themselves must see damage, or every other test here
// passes vacuously.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/gdiplus/codecs/image_decoder.h"
#include "platform/gdiplus/pixel_math.h"
#include "platform/gdiplus/png/png_encoder.h"
#include "safety/folder_check.h"
#include "safety/program_lines.h"
#include "safety/safety_fixture.h"

namespace repng::safety {
namespace {

std::string PngOf(const std::string& picture, uint32_t change_pixel = UINT32_MAX) {
  codecs::DecodedImage image;
  EXPECT_EQ(codecs::DecodeImage(reinterpret_cast<const uint8_t*>(picture.data()), picture.size(), &image),
            codecs::DecodeResult::kOk);
  std::vector<uint32_t> pargb;
  for (uint32_t argb : image.argb) pargb.push_back(pixel::Premultiply(argb));
  if (change_pixel < pargb.size()) pargb[change_pixel] ^= 0x00010101;
  std::vector<uint8_t> png;
  EXPECT_TRUE(png::EncodePargbToPng(reinterpret_cast<const uint8_t*>(pargb.data()), image.width, image.height,
                                    image.width * 4, &png));
  return std::string(png.begin(), png.end());
}

void Put(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

TEST(FolderCheckTest, TellsRewrittenFromDamagedLostAndStray) {
  const std::vector<SampleFile> files = MakeSampleBatch(3);  // BMP, PNG, GIF
  BatchFolder folder;
  folder.Fill(files);
  const FolderExpectation before = ExpectUnchangedOrRewritten(folder.Path());

  EXPECT_TRUE(CheckFolder(folder.Path(), before).Clean());
  Put(folder.PathOf(files[0].name), PngOf(files[0].bytes));
  Put(folder.PathOf(files[1].name), PngOf(files[1].bytes));
  const FolderVerdict rewritten = CheckFolder(folder.Path(), before);
  EXPECT_TRUE(rewritten.Clean());
  EXPECT_EQ(rewritten.rewritten, 2u);
  EXPECT_EQ(rewritten.unchanged, 1u);

  // One pixel off, a PNG cut short, a file gone, a file that appeared.
  Put(folder.PathOf(files[0].name), PngOf(files[0].bytes, 5));
  const std::string png = PngOf(files[1].bytes);
  Put(folder.PathOf(files[1].name), png.substr(0, png.size() - 1));
  std::filesystem::remove(folder.PathOf(files[2].name));
  Put(folder.PathOf(".~repng0"), "partial");
  const FolderVerdict damaged = CheckFolder(folder.Path(), before);
  EXPECT_EQ(damaged.damaged, 3u);
  EXPECT_EQ(damaged.stray, 1u);

  FolderExpectation may_vanish = before;
  may_vanish[files[2].name].may_vanish = true;
  EXPECT_EQ(CheckFolder(folder.Path(), may_vanish).vanished, 1u);
}

TEST(ProgramLinesTest, KnowsTheProgramsLinesAndNothingElse) {
  const std::set<std::string> names = {"a.bmp", "b.png"};
  const std::string old_size = "\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA";
  const std::string crash = "\xB3\xCC\xD0\xF2\xB1\xC0\xC0\xA3\xC4\xF1~~~~ \xC7\xEB\xC1\xAA\xCF\xB5Veldrin\xBD\xE2\xBE\xF6!";
  const std::string good =
      "a.bmp" + old_size + "12.06K\xA3\xAC\xD0\xC2\xB4\xF3\xD0\xA1\xA3\xBA" "305\xD7\xD6\xBD\xDA\xA1\xA3\r\n" +
      "b.png\xA3\xAC\xB2\xBB\xCA\xC7\xCD\xBC\xC6\xAC\xA3\xAC\xCC\xF8\xB9\xFD\xA1\xA3\r\n" + "b.png" + old_size +
      "1.00K" + crash + "\r\n\xC7\xEB\xB0\xB4\xC8\xCE\xD2\xE2\xBC\xFC\xBC\xCC\xD0\xF8. . .\r\n";
  EXPECT_TRUE(ForeignLines(good, names).empty());
  const OutputSummary summary = SummariseOutput(good);
  EXPECT_EQ(summary.finished_files, 2u);
  EXPECT_EQ(summary.rewritten_files, 1u);
  EXPECT_TRUE(summary.crashed);

  // An unknown name, a size cut off, a line torn by another writer, no CR.
  const std::string bad = "c.bmp" + old_size + "1.00K\xA3\xAC\xB2\xBB\xB4\xA6\xC0\xED\xA1\xA3\r\n" + "a.bmp" +
                          old_size + "1.0K\xA3\xAC\xB2\xBB\xB4\xA6\xC0\xED\xA1\xA3\r\n" + "a.bmp" + old_size +
                          "a.bmp\r\n" + "a.bmp" + old_size + "1.00K\xA3\xAC\xB2\xBB\xB4\xA6\xC0\xED\xA1\xA3\n";
  EXPECT_EQ(ForeignLines(bad, names).size(), 4u);
}

}  // namespace
}  // namespace repng::safety
