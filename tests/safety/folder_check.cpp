#include "safety/folder_check.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <unordered_map>

#include "platform/gdiplus/codecs/image_decoder.h"
#include "platform/gdiplus/pixel_math.h"

namespace repng::safety {
namespace {

constexpr char kPngSignature[] = "\x89PNG\r\n\x1A\n";
// The image end chunk with its CRC: a complete PNG ends with these bytes.
constexpr char kPngEnd[] = "\0\0\0\0IEND\xAE\x42\x60\x82";
constexpr size_t kPngEndSize = sizeof kPngEnd - 1;

std::optional<std::string> ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<codecs::DecodedImage> Decode(const std::string& bytes) {
  codecs::DecodedImage image;
  if (codecs::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &image) !=
      codecs::DecodeResult::kOk)
    return std::nullopt;
  return image;
}

// What the program keeps of a picture: its premultiplied pixels.
bool SamePremultiplied(const codecs::DecodedImage& a, const codecs::DecodedImage& b) {
  if (a.width != b.width || a.height != b.height || a.argb.size() != b.argb.size()) return false;
  for (size_t i = 0; i < a.argb.size(); ++i)
    if (pixel::Premultiply(a.argb[i]) != pixel::Premultiply(b.argb[i])) return false;
  return true;
}

// Decoded originals, kept because batches repeat the same few contents.
class OriginalPictures {
 public:
  const std::optional<codecs::DecodedImage>& Of(const std::string& bytes) {
    auto found = cache_.find(bytes);
    if (found == cache_.end()) found = cache_.emplace(bytes, Decode(bytes)).first;
    return found->second;
  }

 private:
  std::unordered_map<std::string, std::optional<codecs::DecodedImage>> cache_;
};

bool IsPictureOf(OriginalPictures& originals, const std::string& original, const std::string& candidate) {
  if (candidate.size() < 8 + kPngEndSize || candidate.compare(0, 8, kPngSignature, 8) != 0 ||
      candidate.compare(candidate.size() - kPngEndSize, kPngEndSize, kPngEnd, kPngEndSize) != 0)
    return false;
  const std::optional<codecs::DecodedImage>& before = originals.Of(original);
  if (!before) return false;
  const std::optional<codecs::DecodedImage> after = Decode(candidate);
  return after && SamePremultiplied(*before, *after);
}

}  // namespace

FolderExpectation ExpectUnchangedOrRewritten(const std::string& folder) {
  FolderExpectation expectation;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    if (std::optional<std::string> bytes = ReadWhole(entry.path()))
      expectation[entry.path().filename().string()].versions.push_back(std::move(*bytes));
  }
  return expectation;
}

bool IsSamePictureAsPng(const std::string& original, const std::string& candidate) {
  OriginalPictures originals;
  return IsPictureOf(originals, original, candidate);
}

FolderVerdict CheckFolder(const std::string& folder, const FolderExpectation& expectation) {
  OriginalPictures originals;
  FolderVerdict verdict;
  for (const auto& [name, expected] : expectation) {
    ++verdict.files_checked;
    const std::optional<std::string> now = ReadWhole(std::filesystem::path(folder) / name);
    if (!now) {
      if (expected.may_vanish) {
        ++verdict.vanished;
      } else {
        ++verdict.damaged;
        verdict.problems.push_back(name + ": lost");
      }
      continue;
    }
    bool matched = false;
    for (const std::string& version : expected.versions) {
      if (*now == version) {
        ++verdict.unchanged;
        matched = true;
        break;
      }
    }
    if (matched) continue;
    for (const std::string& version : expected.versions) {
      if (IsPictureOf(originals, version, *now)) {
        ++verdict.rewritten;
        matched = true;
        break;
      }
    }
    if (!matched) {
      ++verdict.damaged;
      verdict.problems.push_back(name + ": damaged (" + std::to_string(now->size()) + " bytes)");
    }
  }
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (expectation.count(name) == 0) {
      ++verdict.stray;
      verdict.problems.push_back(name + ": stray");
    }
  }
  return verdict;
}

}  // namespace repng::safety
