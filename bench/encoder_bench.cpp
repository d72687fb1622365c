// Encoder tuning tool: encodes pictures with the PNG encoder's search and
// prints bytes and time per file (wall and processor time: on a shared
// machine the second is the steadier). --setting NAME runs the search with
// one of the lighter settings below instead of the one the program ships,
// so that what each costs and saves can be measured in one run; with
// --strategies it also prints the size each filter strategy reaches on its
// own (libdeflate 12, no optimal pass), to tune the search budget. The times are
// the search's and the file writer's (no decoding, no verification).
//
// Build (after building repng_pngenc and repng_codecs in build/):
//   g++ -std=c++20 -O2 -Isrc bench/encoder_bench.cpp -o build/encoder_bench
//     build/librepng_pngenc.a build/librepng_deflate.a build/librepng_codecs.a
//     -lspng -lpng -ltiff -ljpeg -lgif -ldeflate -lpthread
// (one command line)
// Run: build/encoder_bench [--setting=NAME] [--strategies] [--out=DIR] FILE...
// --out writes each file's encoding into DIR as <name>.png, smaller or not:
// the deflate benchmark takes the finalists' filtered data from there.
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/image_decoder.h"
#include "platform/gdiplus/pixel_math.h"
#include "png/encoding_search.h"
#include "png/chunk_writer.h"

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

// The search's settings around the shipped one, each lighter than the last.
struct Setting {
  const char* name;
  void (*adjust)(repng::png::SearchBudget*);
};
// The strong pass alone where the optimal pass would follow it; the quick
// pass stays.
void WithoutOptimalPass(repng::png::SearchBudget* b) {
  if (b->last_pass == repng::png::LastPass::kOptimal) b->last_pass = repng::png::LastPass::kStrong;
}

const Setting kSettings[] = {
    {"shipped", [](repng::png::SearchBudget*) {}},
    {"no-optimal", WithoutOptimalPass},
    {"light",
     [](repng::png::SearchBudget* b) {
       using repng::png::FilterStrategy;
       b->first_strategies = {FilterStrategy::kNone, FilterStrategy::kMinSum};
       b->reductions_kept = 1;
       b->strategies = {FilterStrategy::kEntropy, FilterStrategy::kBigrams};
       b->screening_level = 1;
       b->screening_sample = 0;
       b->finalists = 1;
       WithoutOptimalPass(b);
     }},
};

}  // namespace

int main(int argc, char** argv) {
  bool strategies = false;
  std::string out_dir;
  const Setting* setting = &kSettings[0];
  uint64_t total_before = 0, total_after = 0;
  double total_seconds = 0, total_cpu_seconds = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--strategies") == 0) {
      strategies = true;
      continue;
    }
    if (std::strncmp(argv[i], "--out=", 6) == 0) {
      out_dir = argv[i] + 6;
      continue;
    }
    if (std::strncmp(argv[i], "--setting=", 10) == 0) {
      setting = nullptr;
      for (const Setting& s : kSettings) {
        if (std::strcmp(argv[i] + 10, s.name) == 0) setting = &s;
      }
      if (setting == nullptr) {
        std::fprintf(stderr, "unknown setting %s; the settings:", argv[i] + 10);
        for (const Setting& s : kSettings) std::fprintf(stderr, " %s", s.name);
        std::fprintf(stderr, "\n");
        return 2;
      }
      continue;
    }
    const std::vector<uint8_t> bytes = ReadFile(argv[i]);
    repng::codecs::DecodedImage decoded;
    if (repng::codecs::DecodeImage(bytes.data(), bytes.size(), &decoded) != repng::codecs::DecodeResult::kOk) {
      std::printf("%-50s refused\n", argv[i]);
      continue;
    }
    // What the encoder reads back from the premultiplied bitmap.
    repng::png::StraightImage image{decoded.width, decoded.height, {}};
    for (const uint32_t argb : decoded.argb) {
      image.argb.push_back(repng::pixel::Unpremultiply(repng::pixel::Premultiply(argb)));
    }
    const Clock::time_point start = Clock::now();
    const std::clock_t cpu_start = std::clock();
    std::vector<repng::png::ReducedCandidate> reductions = repng::png::BuildReductions(image);
    repng::png::SearchBudget budget = repng::png::ChooseBudgetFor(reductions);
    setting->adjust(&budget);
    const repng::png::Encoding encoding = repng::png::FindSmallestEncodingWithin(std::move(reductions), budget);
    std::vector<uint8_t> png;
    const bool ok = repng::png::WritePngFile(encoding.raster, encoding.zlib_stream, &png);
    const double seconds = SecondsSince(start);
    const double cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    const size_t after = ok && png.size() < bytes.size() ? png.size() : bytes.size();
    std::printf("%-50s %5ux%-5u %10zu %10zu %6.1f%% %6.2fs %6.2fs cpu  %s\n", argv[i], decoded.width,
                decoded.height, bytes.size(), png.size(), 100.0 * (1.0 - double(png.size()) / double(bytes.size())),
                seconds, cpu_seconds, ok ? encoding.description.c_str() : "failed");
    if (ok && !out_dir.empty()) {
      const std::string name = std::strrchr(argv[i], '/') ? std::strrchr(argv[i], '/') + 1 : argv[i];
      std::ofstream(out_dir + "/" + name + ".png", std::ios::binary)
          .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    }
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
