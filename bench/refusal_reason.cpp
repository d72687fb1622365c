// Why the decoders refuse each file: one line per file, its name as given, a
// tab and the decoders' reason, or "accepted". The benchmark asks it about
// the files repng leaves alone; what the decoders see is what repng sees.
//
// Built with the program on Linux (target refusal_reason).
// Run: build/refusal_reason FILE...
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "codecs/image_decoder.h"

namespace {

// repng reads no file of this size or more.
constexpr std::streamoff kMaxInputFileSize = 100 << 20;

const char* ReasonFor(const char* path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return "unreadable";
  const std::streamoff size = file.tellg();
  if (size < 0) return "unreadable";
  if (size >= kMaxInputFileSize) return "100 MiB or more";
  file.seekg(0);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!file.read(reinterpret_cast<char*>(bytes.data()), size)) return "unreadable";
  repng::codecs::DecodedImage image;
  const repng::codecs::DecodeResult result = repng::codecs::DecodeImage(bytes.data(), bytes.size(), &image);
  return result == repng::codecs::DecodeResult::kOk ? "accepted" : repng::codecs::DecodeResultText(result);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) std::printf("%s\t%s\n", argv[i], ReasonFor(argv[i]));
  return 0;
}
