// What a batch left behind: the program's report, and the folder.
#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

#include "codecs/image_decoder.h"
#include "platform/gdiplus/pixel_math.h"
#include "safety/batch_support.h"

namespace repng::safety {
namespace {

// The program's fixed texts (GBK); none holds a byte that regular
// expressions treat specially.
const std::string kNotImage = "\xA3\xAC\xB2\xBB\xCA\xC7\xCD\xBC\xC6\xAC\xA3\xAC\xCC\xF8\xB9\xFD\xA1\xA3";  // ，不是图片，跳过。
const std::string kOldSize = "\xA3\xAC\xD4\xAD\xB4\xF3\xD0\xA1\xA3\xBA";                               // ，原大小：
const std::string kSize = "(?:\\d+\xD7\xD6\xBD\xDA|\\d+\\.\\d\\dK|\xCE\xB4\xD6\xAA)";  // n字节, n.nnK, 未知
const std::string kNotProcessed = "\xA3\xAC\xB2\xBB\xB4\xA6\xC0\xED\xA1\xA3";                           // ，不处理。
const std::string kWriteFailed =
    "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xCE\xC4\xBC\xFE\xCE\xB4\xB8\xC4\xB6\xAF\xA1\xA3";  // ，写入失败，文件未改动。
// ，写入失败，文件已损坏，原内容在 and ，写入失败，原文件已移除，新图片在, each
// before a path and 。
const std::string kDamagedOldContentIn =
    "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xCE\xC4\xBC\xFE\xD2\xD1\xCB\xF0\xBB\xB5"
    "\xA3\xAC\xD4\xAD\xC4\xDA\xC8\xDD\xD4\xDA";
const std::string kRemovedNewPictureIn =
    "\xA3\xAC\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xD4\xAD\xCE\xC4\xBC\xFE\xD2\xD1\xD2\xC6\xB3\xFD"
    "\xA3\xAC\xD0\xC2\xCD\xBC\xC6\xAC\xD4\xDA";
const std::string kNewSize = "\xA3\xAC\xD0\xC2\xB4\xF3\xD0\xA1\xA3\xBA";                               // ，新大小：
const std::string kCrash = "\xB3\xCC\xD0\xF2\xB1\xC0\xC0\xA3\xC4\xF1~~~~ \xC7\xEB\xC1\xAA\xCF\xB5Veldrin\xBD\xE2\xBE\xF6!";
const std::string kPause = "\xC7\xEB\xB0\xB4\xC8\xCE\xD2\xE2\xBC\xFC\xBC\xCC\xD0\xF8. . .\r\n";

// 1: the name; 2: present when the write failed; 3: when the file was
// rewritten; 4: where the picture is, when not under its name.
const std::regex kFileLine("(.+?)(?:" + kNotImage + "|" + kOldSize + kSize + "(?:" + kNotProcessed + "|(" +
                           kWriteFailed + "|(?:" + kDamagedOldContentIn + "|" + kRemovedNewPictureIn +
                           ")(.+)\xA1\xA3)|(" + kNewSize + ")" + kSize + "\xA1\xA3))\r\n");
// The crash message, alone or after the head of a file's line (1: its name).
const std::regex kCrashLine("(?:(.+?)" + kOldSize + kSize + ")?" + kCrash + "\r\n");

// A complete PNG starts with the signature and ends with the image end
// chunk and its CRC.
constexpr std::string_view kPngSignature("\x89PNG\r\n\x1A\n", 8);
constexpr std::string_view kPngEnd("\0\0\0\0IEND\xAE\x42\x60\x82", 12);

bool Decodes(const std::string& bytes, codecs::DecodedImage& image) {
  return codecs::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &image) ==
         codecs::DecodeResult::kOk;
}

}  // namespace

// What the program keeps of a picture: its premultiplied pixels.
bool IsPngOf(const std::string& original, const std::string& candidate) {
  if (!candidate.starts_with(kPngSignature) || !candidate.ends_with(kPngEnd)) return false;
  codecs::DecodedImage before;
  codecs::DecodedImage after;
  return Decodes(original, before) && Decodes(candidate, after) && before.width == after.width &&
         before.height == after.height &&
         std::ranges::equal(before.argb, after.argb, {}, pixel::Premultiply, pixel::Premultiply);
}

Report ReadReport(const Batch& batch) {
  const std::set<std::string> names(batch.names.begin(), batch.names.end());
  std::istringstream output(testing::ReadBytes(batch.log));
  Report report;
  for (std::string line; std::getline(output, line);) {
    line += output.eof() ? "" : "\n";  // the last line may end without one
    std::smatch match;
    if (std::regex_match(line, match, kFileLine) && names.count(match[1]) != 0) {
      ++report.finished;
      report.write_failed += match[2].matched ? 1 : 0;
      report.rewritten += match[4].matched ? 1 : 0;
      if (match[3].matched) report.elsewhere.push_back(match[3]);
    } else if (std::regex_match(line, match, kCrashLine) && (!match[1].matched || names.count(match[1]) != 0)) {
      report.crashed = true;
    } else if (line != kPause) {
      report.foreign_lines.push_back(line);
    }
  }
  return report;
}

FolderExpectation Snapshot(const std::string& folder) {
  FolderExpectation expectation;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    expectation[entry.path().filename()].versions.push_back(testing::ReadBytes(entry.path()));
  return expectation;
}

std::vector<std::string> CheckFolder(const std::string& folder, const FolderExpectation& expectation, Tally& tally) {
  std::vector<std::string> problems;
  for (const auto& [name, expected] : expectation) {
    const std::filesystem::path path = std::filesystem::path(folder) / name;
    if (!std::filesystem::exists(path)) {
      if (!expected.may_vanish) problems.push_back(name + ": lost");
    } else if (const std::string now = testing::ReadBytes(path);
               std::ranges::none_of(expected.versions, [&](const auto& v) { return v == now || IsPngOf(v, now); })) {
      problems.push_back(name + ": damaged");
    }
  }
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (expectation.count(entry.path().filename()) == 0) problems.push_back(entry.path().filename().string() + ": stray");
  tally.files_checked += expectation.size();
  tally.damaged += problems.size();
  return problems;
}

}  // namespace repng::safety
