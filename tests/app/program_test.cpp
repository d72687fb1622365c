// The program end to end, with standard input at end of input or closed:
// the real one in usage mode, on a folder of real files and on PNGs that
// carry metadata, and the same entry and driver over the fake imaging for
// every kind of report line.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <tuple>

#include "codecs/bmp_writer.h"
#include "codecs/gif_writer.h"
#include "codecs/image_decoder.h"
#include "codecs/png_writer.h"
#include "fake_imaging.h"
#include "test_support.h"
#include "text/format_size.h"

namespace {

using repng::testing::FakePicture;
using repng::testing::ReadFileBytes;
using repng::testing::RunProgram;
using repng::testing::ScratchFolder;
using repng::testing::WriteFileBytes;

// The report's pieces in code page 936, spelt out apart from the code.
// 用途: \n\t无损压缩PNG，减小PNG文件的大小.\n 用法: \n\t选中要压缩的文件,用鼠标拖到EXE上放开.\n\n
const std::string kPurposeAndUsage =
    "\xD3\xC3\xCD\xBE: \r\n\t\xCE\xDE\xCB\xF0\xD1\xB9\xCB\xF5PNG\xA3\xAC\xBC\xF5\xD0\xA1PNG\xCE\xC4\xBC\xFE\xB5\xC4\xB4"
    "\xF3\xD0\xA1.\r\n\xD3\xC3\xB7\xA8: \r\n\t\xD1\xA1\xD6\xD0\xD2\xAA\xD1\xB9\xCB\xF5\xB5\xC4\xCE\xC4\xBC\xFE,\xD3\xC3"
    "\xCA\xF3\xB1\xEA\xCD\xCF\xB5\xBD" "EXE\xC9\xCF\xB7\xC5\xBF\xAA.\r\n\r\n";
// 程序崩溃鸟~~~~ 请联系Veldrin解决!
const std::string kCrash = "\xB3\xCC\xD0\xF2\xB1\xC0\xC0\xA3\xC4\xF1~~~~ \xC7\xEB\xC1\xAA\xCF\xB5Veldrin\xBD\xE2\xBE\xF6!\r\n";
// 请按任意键继续. . .
const std::string kPause = "\xC7\xEB\xB0\xB4\xC8\xCE\xD2\xE2\xBC\xFC\xBC\xCC\xD0\xF8. . .\r\n";
// ，不是图片，跳过。  ，原大小：  ，新大小：  ，不处理。  ，写入失败，文件未改动。  未知  字节
const std::string kNotImage = "\xA3\xAC\xB2\xBB\xCA\xC7\xCD\xBC\xC6\xAC\xA3\xAC\xCC\xF8\xB9\xFD\xA1\xA3\r\n";
const std::string kOldSize = "\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA";
const std::string kNewSize = "\xA3\xAC\xD0\xC2\xB4\xF3\xD0\xA1\xA3\xBA";
const std::string kNotProcessed = "\xA3\xAC\xB2\xBB\xB4\xA6\xC0\xED\xA1\xA3\r\n";
const std::string kWriteFailed =
    "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xCE\xC4\xBC\xFE\xCE\xB4\xB8\xC4\xB6\xAF\xA1\xA3\r\n";
const std::string kUnknown = "\xCE\xB4\xD6\xAA";
const std::string kBytes = "\xD7\xD6\xBD\xDA";

std::string Skipped(const std::string& name) { return name + kNotImage; }
std::string Head(const std::string& name, const std::string& old_size) { return name + kOldSize + old_size; }
std::string Kept(const std::string& name, const std::string& old_size) { return Head(name, old_size) + kNotProcessed; }
std::string Replaced(const std::string& name, const std::string& old_size, const std::string& new_size) {
  return Head(name, old_size) + kNewSize + new_size + "\xA1\xA3\r\n";
}

// A batch over the fake imaging: what it printed before its pause.
std::string RunFakeBatch(const std::vector<std::string>& names) {
  const auto run = RunProgram(REPNG_FAKE_IMAGING_PROGRAM, names, "<&-");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_TRUE(run.output.ends_with(kPause)) << run.output;
  return run.output.substr(0, run.output.size() - std::min(run.output.size(), kPause.size()));
}

TEST(ProgramTest, WithoutPathsItExplainsItselfPausesAndExitsWithMinusOne) {
  for (const char* input : {"</dev/null", "<&-"}) {
    const auto run = RunProgram(REPNG_PROGRAM, {}, input);
    EXPECT_EQ(run.output, kPurposeAndUsage + kPause) << input;
    EXPECT_EQ(run.exit_status, 255) << input;
  }
}

TEST(ProgramTest, EachKindOfLineAndWhatItDoesToTheFile) {
  ScratchFolder folder;
  WriteFileBytes("photo.bmp", FakePicture(100, 3000));
  WriteFileBytes("same.png", FakePicture(1100, 1100));
  WriteFileBytes("grows.png", FakePicture(2000, 1500));
  WriteFileBytes("no-png.gif", FakePicture(0, 50));
  WriteFileBytes("notes.txt", "hello");
  WriteFileBytes("zero.png", "");
  std::filesystem::create_directory("folder.png");

  // A path given twice is processed again, from the rewritten file.
  EXPECT_EQ(RunFakeBatch({"photo.bmp", "same.png", "grows.png", "no-png.gif", "notes.txt", "zero.png", "folder.png",
                          "missing.png", "photo.bmp"}),
            Skipped("folder.png") + Kept("grows.png", "1.46K") + Skipped("missing.png") + Kept("no-png.gif", "50" + kBytes) +
                Skipped("notes.txt") + Replaced("photo.bmp", "2.93K", "100" + kBytes) + Kept("photo.bmp", "100" + kBytes) +
                Kept("same.png", "1.07K") + Skipped("zero.png"));
  EXPECT_EQ(ReadFileBytes("photo.bmp"), FakePicture(100, 100));
  EXPECT_EQ(ReadFileBytes("same.png"), FakePicture(1100, 1100));
  EXPECT_EQ(ReadFileBytes("grows.png"), FakePicture(2000, 1500));
  EXPECT_EQ(ReadFileBytes("no-png.gif"), FakePicture(0, 50));
}

TEST(ProgramTest, PathsGoInOrdinalUtf16Order) {
  // Missing files: the order alone is looked at.
  ScratchFolder folder;
  EXPECT_EQ(RunFakeBatch({"b.png", "A.png", "a.png", "img2.png", "img10.png", "a.png.bak", "pics/a.png", "pics 2/a.png",
                          "\xE7\x85\xA7.png"}),  // 照.png
            Skipped("A.png") + Skipped("a.png") + Skipped("a.png.bak") + Skipped("b.png") + Skipped("img10.png") +
                Skipped("img2.png") + Skipped("pics 2/a.png") + Skipped("pics/a.png") + Skipped("\xD5\xD5.png"));
}

TEST(ProgramTest, FileSystemFailuresAreReportedAndChangeNothing) {
  ScratchFolder folder;
  WriteFileBytes("read-only.bmp", FakePicture(10, 1000));
  ASSERT_EQ(chmod("read-only.bmp", 0444), 0);
  // Its size is unknown once it is gone: then it must not even be encoded.
  WriteFileBytes("vanishing.bmp", "REMOVE vanishing.bmp");
  WriteFileBytes("saved-meanwhile.bmp", "SAVE-OVER saved-meanwhile.bmp");

  EXPECT_EQ(RunFakeBatch({"read-only.bmp", "vanishing.bmp", "saved-meanwhile.bmp"}),
            Head("read-only.bmp", "1000" + kBytes) + kWriteFailed + Head("saved-meanwhile.bmp", "29" + kBytes) +
                kWriteFailed + Head("vanishing.bmp", kUnknown) + kNotProcessed);
  EXPECT_EQ(ReadFileBytes("read-only.bmp"), FakePicture(10, 1000));
  // Another program's save since the read is not replaced by the older picture.
  EXPECT_EQ(ReadFileBytes("saved-meanwhile.bmp"), repng::testing::kOtherProgramsSave);
}

TEST(ProgramTest, AFailureInTheThirdOfFiveFilesEndsTheBatchWithTheCrashMessage) {
  ScratchFolder folder;
  const std::string picture = FakePicture(10, 2048);
  for (const char* name : {"1.bmp", "2.bmp", "4.bmp", "5.bmp"}) WriteFileBytes(name, picture);
  WriteFileBytes("3.bmp", "THROW-ENCODE");

  // The third file's line was begun before its encoding failed.
  EXPECT_EQ(RunFakeBatch({"5.bmp", "3.bmp", "1.bmp", "4.bmp", "2.bmp"}),
            Replaced("1.bmp", "2.00K", "10" + kBytes) + Replaced("2.bmp", "2.00K", "10" + kBytes) +
                Head("3.bmp", "12" + kBytes) + kCrash);
  EXPECT_EQ(ReadFileBytes("4.bmp"), picture);
  EXPECT_EQ(ReadFileBytes("5.bmp"), picture);
}

TEST(ProgramTest, OnAFolderOfRealFilesOnlyTheBmpChanges) {
  ScratchFolder folder;
  const auto sample = [](const std::string& name) { return ReadFileBytes(REPNG_SAMPLES_DIR "/" + name); };
  const auto text = [](const repng::test::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); };
  const std::string glow = sample("glow.png");
  const std::map<std::string, std::string> unchanged = {
      {"animated.gif", text(repng::test::MakeGif(1, 1, {0, 0, 0, 255, 255, 255}, {{.indices = {0}}, {.indices = {1}}}))},
      {"cut.png", glow.substr(0, glow.size() / 2)},
      {"deep.png", text(repng::test::MakePng({.bit_depth = 16, .color_type = 2, .samples = {1, 2, 3}}))},
      {"notes.txt", sample("notes.txt")},
      {"photo.jpg", sample("photo.jpg")},
      {"vast.bmp", text(repng::test::MakeBmp({.width = 100000, .height = 100000}))},
  };
  for (const auto& [name, bytes] : unchanged) WriteFileBytes(name, bytes);
  const std::string bmp = "land\xFF.bmp";  // not UTF-8: the report shows "?" for the byte
  WriteFileBytes(bmp, sample("landscape.bmp"));

  const auto run = RunProgram(REPNG_PROGRAM, {"vast.bmp", "photo.jpg", "notes.txt", bmp, "deep.png", "cut.png",
                                              "animated.gif"}, "</dev/null");

  const std::string png = ReadFileBytes(bmp);
  EXPECT_TRUE(png.starts_with("\x89PNG\r\n\x1A\n"));
  EXPECT_EQ(run.output, Skipped("animated.gif") + Skipped("cut.png") + Skipped("deep.png") +
                            Replaced("land?.bmp", FormatSize(DWORD(sample("landscape.bmp").size())),
                                     FormatSize(DWORD(png.size()))) +
                            Skipped("notes.txt") + Kept("photo.jpg", FormatSize(DWORD(unchanged.at("photo.jpg").size()))) +
                            Skipped("vast.bmp") + kPause);
  for (const auto& [name, bytes] : unchanged) EXPECT_EQ(ReadFileBytes(name), bytes) << name;
}

// The chunk types of a PNG file, in order.
std::vector<std::string> ChunkTypes(const std::string& png) {
  std::vector<std::string> types;
  for (size_t at = 8; at + 8 <= png.size();) {
    const auto byte = [&](size_t i) { return uint32_t(uint8_t(png[at + i])); };
    types.push_back(png.substr(at + 4, 4));
    at += 12 + size_t(byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3));
  }
  return types;
}

repng::codecs::DecodedImage Decoded(const std::string& file) {
  repng::codecs::DecodedImage image;
  EXPECT_EQ(repng::codecs::DecodeImage(reinterpret_cast<const uint8_t*>(file.data()), file.size(), &image),
            repng::codecs::DecodeResult::kOk);
  return image;
}

// A rewrite keeps the picture and nothing else: text, dates, physical size,
// background, palette suggestions and colour chunks that only restate sRGB
// are gone. Colour information that would change the look is refused, so
// such a file stays as it was.
TEST(ProgramTest, ARewriteDropsEveryChunkButThePictureAndRefusesWhatWouldChangeItsLook) {
  using repng::test::Bytes;
  using namespace std::string_literals;
  ScratchFolder folder;
  const auto text = [](const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); };
  const auto latin = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
  const auto be32 = [](std::initializer_list<uint32_t> values) {
    Bytes out;
    for (const uint32_t value : values) repng::test::PutBe32(out, value);
    return out;
  };
  const Bytes srgb_gamma = be32({45455});
  const Bytes srgb_chromaticities = be32({31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000});
  const Bytes time = {0x07, 0xEA, 12, 8, 9, 30, 0};
  Bytes ztxt = latin("Copyright\0\0"s);
  const Bytes compressed = repng::test::ZlibCompress(latin("(c) the photographer, all rights reserved"));
  ztxt.insert(ztxt.end(), compressed.begin(), compressed.end());

  repng::test::PngSpec palette_picture{.width = 24, .height = 24, .color_type = 3};
  for (uint16_t i = 0; i < 24 * 24; ++i) palette_picture.samples.push_back(uint16_t((i / 5 + i / 24) % 4));
  palette_picture.before_idat = {
      {"sRGB", {0}},
      {"gAMA", srgb_gamma},
      {"cHRM", srgb_chromaticities},
      {"PLTE", {200, 30, 30, 30, 200, 30, 30, 30, 200, 250, 250, 250}},
      {"bKGD", {3}},
      {"hIST", {0, 9, 0, 9, 0, 9, 0, 9}},
      {"sPLT", latin("suggested\0\x08\xC8\x1E\x1E\xFF\0\x01"s)},
      {"pHYs", {0, 0, 0x0B, 0x13, 0, 0, 0x0B, 0x13, 1}},
      {"tEXt", latin("Comment\0drawn by hand"s)},
      {"zTXt", ztxt},
      {"iTXt", latin("XML:com.adobe.xmp\0\0\0\0\0<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>"s)},
      {"eXIf", repng::test::ExifTiff(1)},
  };
  palette_picture.after_idat = {{"tEXt", latin("Source\0a scanner"s)}, {"tIME", time}};

  // gAMA and cHRM alone are judged on their values.
  repng::test::PngSpec rgb_picture{.width = 24, .height = 24, .color_type = 2};
  for (uint16_t i = 0; i < 24 * 24 * 3; ++i) rgb_picture.samples.push_back(uint16_t(i / 3 % 24 * 10));
  rgb_picture.before_idat = {{"gAMA", srgb_gamma}, {"cHRM", srgb_chromaticities}, {"tEXt", latin("Title\0sky"s)}};

  const std::map<std::string, std::string> rewritten = {{"drawing.png", text(repng::test::MakePng(palette_picture))},
                                                         {"gradient.png", text(repng::test::MakePng(rgb_picture))}};
  rgb_picture.before_idat = {{"iCCP", repng::test::IccpChunk("ICC profile", "Display P3")}};
  const std::string profiled = text(repng::test::MakePng(rgb_picture));
  rgb_picture.before_idat = {{"gAMA", be32({100000})}};
  const std::string linear = text(repng::test::MakePng(rgb_picture));
  for (const auto& [name, bytes] : rewritten) WriteFileBytes(name, bytes);
  WriteFileBytes("profiled.png", profiled);
  WriteFileBytes("linear.png", linear);

  const auto run = RunProgram(REPNG_PROGRAM, {"drawing.png", "gradient.png", "profiled.png", "linear.png"}, "</dev/null");

  std::string expected;
  for (const auto& [name, old_bytes] : rewritten) {
    const std::string png = ReadFileBytes(name);
    expected += Replaced(name, FormatSize(DWORD(old_bytes.size())), FormatSize(DWORD(png.size())));
    const std::vector<std::string> types = ChunkTypes(png);
    const std::set<std::string> image_chunks = {"IHDR", "PLTE", "tRNS", "IDAT", "IEND"};
    std::vector<std::string> others;
    std::ranges::copy_if(types, std::back_inserter(others), [&](const auto& type) { return !image_chunks.contains(type); });
    EXPECT_EQ(others, std::vector<std::string>{}) << name;
    const auto before = Decoded(old_bytes), after = Decoded(png);
    EXPECT_EQ(std::tie(after.width, after.height, after.argb), std::tie(before.width, before.height, before.argb))
        << name;
  }
  EXPECT_EQ(run.output, expected + Skipped("linear.png") + Skipped("profiled.png") + kPause);
  EXPECT_EQ(ReadFileBytes("profiled.png"), profiled);
  EXPECT_EQ(ReadFileBytes("linear.png"), linear);
}

}  // namespace
