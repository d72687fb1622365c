// Encoder tuning tool: encodes pictures with the PNG encoder and prints bytes
// and time per file (wall and processor time: on a shared machine the second
// is the steadier), and with --strategies the size each filter strategy
// reaches on its own (libdeflate 12, no zopfli), to tune the search budget.
//
// Build (after building repng_pngenc and repng_codecs in build/):
//   g++ -std=c++20 -O2 -Isrc bench/encoder_bench.cpp -o build/encoder_bench \
//     build/librepng_pngenc.a build/librepng_codecs.a \
//     -lspng -lpng -ltiff -ljpeg -lgif -ldeflate -lzopfli -lpthread
// Run: build/encoder_bench [--strategies] FILE...
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/gdiplus/codecs/image_decoder.h"
#include "platform/gdiplus/pixel_math.h"
#include "platform/gdiplus/png/encoding_search.h"
#include "platform/gdiplus/png/png_encoder.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<uint8_t> ReadFile(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void PrintStrategies(const repng::png::StraightImage& image) {
  using repng::png::FilterStrategy;
  for (int s = 0; s < repng::png::kFilterStrategyCount; ++s) {
    repng::png::SearchBudget budget;
    budget.first_strategies = {static_cast<FilterStrategy>(s)};
    budget.screening_level = 12;
    const Clock::time_point start = Clock::now();
    const repng::png::Encoding encoding = repng::png::FindSmallestEncodingWithin(image, budget);
    std::printf("    %-15s %10zu  %6.2fs  %s\n", repng::png::FilterStrategyName(static_cast<FilterStrategy>(s)),
                encoding.zlib_stream.size(), SecondsSince(start), encoding.description.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool strategies = false;
  uint64_t total_before = 0, total_after = 0;
  double total_seconds = 0, total_cpu_seconds = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--strategies") == 0) {
      strategies = true;
      continue;
    }
    const std::vector<uint8_t> bytes = ReadFile(argv[i]);
    repng::codecs::DecodedImage decoded;
    if (repng::codecs::DecodeImage(bytes.data(), bytes.size(), &decoded) != repng::codecs::DecodeResult::kOk) {
      std::printf("%-50s refused\n", argv[i]);
      continue;
    }
    std::vector<uint8_t> pargb(decoded.argb.size() * 4);
    for (size_t p = 0; p < decoded.argb.size(); ++p) {
      const uint32_t v = repng::pixel::Premultiply(decoded.argb[p]);
      std::memcpy(&pargb[p * 4], &v, 4);  // little-endian: B, G, R, A
    }
    const Clock::time_point start = Clock::now();
    const std::clock_t cpu_start = std::clock();
    std::vector<uint8_t> png;
    const bool ok = repng::png::EncodePargbToPng(pargb.data(), decoded.width, decoded.height,
                                                 size_t{decoded.width} * 4, &png);
    const double seconds = SecondsSince(start);
    const double cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    repng::png::StraightImage image{decoded.width, decoded.height, {}};
    for (const uint32_t argb : decoded.argb) image.argb.push_back(argb == (argb & 0xFF000000u) ? argb & 0 : argb);
    const std::string description = ok ? repng::png::FindSmallestEncoding(image).description : "failed";
    const size_t after = ok && png.size() < bytes.size() ? png.size() : bytes.size();
    std::printf("%-50s %5ux%-5u %10zu %10zu %6.1f%% %6.2fs %6.2fs cpu  %s\n", argv[i], decoded.width,
                decoded.height, bytes.size(), png.size(), 100.0 * (1.0 - double(png.size()) / double(bytes.size())),
                seconds, cpu_seconds, description.c_str());
    total_before += bytes.size();
    total_after += after;
    total_seconds += seconds;
    total_cpu_seconds += cpu_seconds;
    if (strategies) PrintStrategies(image);
  }
  std::printf("total %llu -> %llu bytes (%.2f%% saved), %.2fs, %.2fs cpu\n",
              static_cast<unsigned long long>(total_before), static_cast<unsigned long long>(total_after),
              total_before ? 100.0 * (1.0 - double(total_after) / double(total_before)) : 0.0, total_seconds,
              total_cpu_seconds);
  return 0;
}
