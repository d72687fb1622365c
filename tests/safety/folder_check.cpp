#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "platform/gdiplus/codecs/image_decoder.h"
#include "platform/gdiplus/pixel_math.h"
#include "safety/batch_support.h"

namespace repng::safety {
namespace {

// A complete PNG starts with the signature and ends with the image end
// chunk and its CRC.
constexpr std::string_view kPngSignature("\x89PNG\r\n\x1A\n", 8);
constexpr std::string_view kPngEnd("\0\0\0\0IEND\xAE\x42\x60\x82", 12);

std::optional<std::string> ContentOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::optional<codecs::DecodedImage> Decode(const std::string& bytes) {
  codecs::DecodedImage image;
  if (codecs::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &image) !=
      codecs::DecodeResult::kOk)
    return std::nullopt;
  return image;
}

// What the program keeps of a picture: its premultiplied pixels.
bool IsPngOf(const std::string& original, const std::string& candidate) {
  if (!candidate.starts_with(kPngSignature) || !candidate.ends_with(kPngEnd)) return false;
  const std::optional<codecs::DecodedImage> before = Decode(original);
  const std::optional<codecs::DecodedImage> after = Decode(candidate);
  return before && after && before->width == after->width && before->height == after->height &&
         std::equal(before->argb.begin(), before->argb.end(), after->argb.begin(), after->argb.end(),
                    [](uint32_t a, uint32_t b) { return pixel::Premultiply(a) == pixel::Premultiply(b); });
}

}  // namespace

FolderExpectation Snapshot(const std::string& folder) {
  FolderExpectation expectation;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.is_regular_file()) expectation[entry.path().filename()].versions.push_back(ContentOf(entry.path()).value());
  return expectation;
}

FolderVerdict CheckFolder(const std::string& folder, const FolderExpectation& expectation) {
  FolderVerdict verdict;
  for (const auto& [name, expected] : expectation) {
    ++verdict.checked;
    const std::optional<std::string> now = ContentOf(std::filesystem::path(folder) / name);
    const auto& versions = expected.versions;
    if (!now) {
      if (expected.may_vanish) ++verdict.vanished;
      else verdict.problems.push_back(name + ": lost");
    } else if (std::find(versions.begin(), versions.end(), *now) == versions.end()) {
      if (std::any_of(versions.begin(), versions.end(), [&](const std::string& v) { return IsPngOf(v, *now); }))
        ++verdict.rewritten;
      else
        verdict.problems.push_back(name + ": damaged");
    }
  }
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (expectation.count(entry.path().filename()) == 0) verdict.problems.push_back(entry.path().filename().string() + ": stray");
  return verdict;
}

}  // namespace repng::safety
