// Deflate back ends on the filtered data of PNG files: each file's IDAT,
// inflated, compressed again by our deflate (at several efforts), zopfli
// (15 and 5 rounds) and libdeflate 12. Prints, per group of files, each
// compressor's bytes and processor time and their ratios to zopfli's 15
// rounds, as a Markdown table. All on one thread, one compressor after
// another on the same data, so that the times compare within one run.
//
// Built by CMake (target deflate_bench). Run:
//   build/deflate_bench [--efforts=5,3,7] [--segments=1024,2048] [--no-zopfli] PATH...
// --segments gives our deflate's segment sizes in KiB (default: its own).
// Each PATH that is a folder is a group of its PNG files; loose files make
// one group.
#include <zlib.h>
#include <zopfli/zopfli.h>
#include <libdeflate.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "deflate/deflate.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Filtered data above this is skipped: the zopfli runs would take too long.
constexpr size_t kMaxFiltered = size_t{64} << 20;

double ProcessSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

std::optional<Bytes> Inflate(const Bytes& stream, size_t limit) {
  Bytes out(std::min<size_t>(limit, std::max<size_t>(stream.size() * 4, 1 << 16)));
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return std::nullopt;
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  int result = Z_OK;
  size_t produced = 0;
  while (result == Z_OK) {
    if (produced == out.size()) {
      if (out.size() >= limit) break;
      out.resize(std::min(limit, out.size() * 2));
    }
    z.next_out = out.data() + produced;
    z.avail_out = static_cast<uInt>(out.size() - produced);
    result = inflate(&z, Z_NO_FLUSH);
    produced = out.size() - z.avail_out;
  }
  inflateEnd(&z);
  if (result != Z_STREAM_END) return std::nullopt;
  out.resize(produced);
  return out;
}

// The inflated IDAT of a PNG file; nullopt for anything else.
std::optional<Bytes> FilteredData(const Bytes& png) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 8 || std::memcmp(png.data(), kSignature, 8) != 0) return std::nullopt;
  Bytes idat;
  for (size_t pos = 8; pos + 12 <= png.size();) {
    const uint32_t length = BigEndian32(&png[pos]);
    if (length > png.size() - pos - 12) return std::nullopt;
    if (std::memcmp(&png[pos + 4], "IDAT", 4) == 0) {
      idat.insert(idat.end(), png.begin() + static_cast<ptrdiff_t>(pos + 8),
                  png.begin() + static_cast<ptrdiff_t>(pos + 8 + length));
    }
    pos += 12 + length;
  }
  return Inflate(idat, kMaxFiltered);
}

struct Contender {
  std::string name;
  std::function<Bytes(const Bytes&)> compress;
};

Bytes Ours(const Bytes& input, int effort, size_t segment_size) {
  repng::deflate::Settings settings;
  settings.effort = effort;
  settings.segment_size = segment_size;
  std::unique_ptr<repng::deflate::Compressor> compressor;
  Bytes stream;
  if (repng::deflate::Compressor::Create(settings, &compressor) != repng::deflate::Status::kOk ||
      compressor->Compress(input, &stream) != repng::deflate::Status::kOk) {
    std::fprintf(stderr, "our deflate failed\n");
    std::exit(1);
  }
  return stream;
}

Bytes Zopfli(const Bytes& input, int rounds) {
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  options.numiterations = rounds;
  unsigned char* out = nullptr;
  size_t out_size = 0;
  ZopfliCompress(&options, ZOPFLI_FORMAT_ZLIB, input.data(), input.size(), &out, &out_size);
  Bytes stream(out, out + out_size);
  std::free(out);
  return stream;
}

Bytes Libdeflate(const Bytes& input, int level) {
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
  Bytes stream(libdeflate_zlib_compress_bound(compressor, input.size()));
  stream.resize(libdeflate_zlib_compress(compressor, input.data(), input.size(), stream.data(), stream.size()));
  libdeflate_free_compressor(compressor);
  return stream;
}

struct Group {
  std::string name;
  std::vector<std::filesystem::path> files;
};

struct Total {
  uint64_t bytes = 0;
  double seconds = 0;
};

void RunGroup(const Group& group, const std::vector<Contender>& contenders) {
  std::vector<Total> totals(contenders.size());
  size_t count = 0;
  uint64_t filtered_bytes = 0;
  for (const std::filesystem::path& path : group.files) {
    const std::optional<Bytes> filtered = FilteredData(ReadFile(path));
    if (!filtered) continue;
    ++count;
    filtered_bytes += filtered->size();
    for (size_t c = 0; c < contenders.size(); ++c) {
      const double start = ProcessSeconds();
      const Bytes stream = contenders[c].compress(*filtered);
      totals[c].seconds += ProcessSeconds() - start;
      totals[c].bytes += stream.size();
      const std::optional<Bytes> back = Inflate(stream, filtered->size() + 1);
      if (!back || *back != *filtered) {
        std::fprintf(stderr, "%s: %s does not inflate back\n", path.c_str(), contenders[c].name.c_str());
        std::exit(1);
      }
    }
  }
  std::printf("\n### %s: %zu files, %llu bytes of filtered data\n\n", group.name.c_str(), count,
              static_cast<unsigned long long>(filtered_bytes));
  std::printf("| compressor | bytes | processor s | bytes / zopfli 15 | time / zopfli 15 |\n");
  std::printf("|---|---:|---:|---:|---:|\n");
  const Total* reference = nullptr;
  for (size_t c = 0; c < contenders.size(); ++c) {
    if (contenders[c].name == "zopfli 15") reference = &totals[c];
  }
  for (size_t c = 0; c < contenders.size(); ++c) {
    std::printf("| %s | %llu | %.2f |", contenders[c].name.c_str(), static_cast<unsigned long long>(totals[c].bytes),
                totals[c].seconds);
    if (reference != nullptr && reference->bytes > 0 && reference->seconds > 0) {
      std::printf(" %.4f | %.3f |\n", static_cast<double>(totals[c].bytes) / static_cast<double>(reference->bytes),
                  totals[c].seconds / reference->seconds);
    } else {
      std::printf(" - | - |\n");
    }
  }
  std::fflush(stdout);
}

// "5,3,7" -> {5, 3, 7}, up to the first thing that is not a number.
std::vector<unsigned long> NumberList(const char* text) {
  std::vector<unsigned long> numbers;
  while (*text != '\0') {
    char* end = nullptr;
    const unsigned long number = std::strtoul(text, &end, 10);
    if (end == text) break;
    numbers.push_back(number);
    text = *end == ',' ? end + 1 : end;
  }
  return numbers;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> efforts = {repng::deflate::kDefaultEffort};
  std::vector<size_t> segment_sizes = {repng::deflate::kDefaultSegmentSize};
  bool zopfli = true;
  std::vector<Group> groups;
  Group loose{"files", {}};
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.rfind("--efforts=", 0) == 0) {
      efforts.clear();
      for (const unsigned long effort : NumberList(argv[i] + 10)) efforts.push_back(static_cast<int>(effort));
    } else if (argument.rfind("--segments=", 0) == 0) {
      segment_sizes.clear();
      for (const unsigned long kib : NumberList(argv[i] + 11)) segment_sizes.push_back(kib * 1024);
    } else if (argument == "--no-zopfli") {
      zopfli = false;
    } else if (std::filesystem::is_directory(argument)) {
      Group group{std::filesystem::path(argument).filename().string(), {}};
      if (group.name.empty()) group.name = argument;
      for (const auto& entry : std::filesystem::directory_iterator(argument)) {
        if (entry.is_regular_file()) group.files.push_back(entry.path());
      }
      std::sort(group.files.begin(), group.files.end());
      groups.push_back(group);
    } else {
      loose.files.push_back(argument);
    }
  }
  if (!loose.files.empty()) groups.push_back(loose);
  if (groups.empty()) {
    std::fprintf(stderr, "usage: deflate_bench [--efforts=5,3,7] [--segments=1024,2048] [--no-zopfli] FOLDER|PNG...\n");
    return 2;
  }
  std::vector<Contender> contenders;
  for (int effort : efforts) {
    for (const size_t segment_size : segment_sizes) {
      std::string name = "ours, effort " + std::to_string(effort);
      if (segment_sizes.size() > 1) name += ", segments of " + std::to_string(segment_size >> 10) + " KiB";
      contenders.push_back({name, [effort, segment_size](const Bytes& in) { return Ours(in, effort, segment_size); }});
    }
  }
  if (zopfli) {
    contenders.push_back({"zopfli 15", [](const Bytes& in) { return Zopfli(in, 15); }});
    contenders.push_back({"zopfli 5", [](const Bytes& in) { return Zopfli(in, 5); }});
  }
  contenders.push_back({"libdeflate 12", [](const Bytes& in) { return Libdeflate(in, 12); }});
  for (const Group& group : groups) RunGroup(group, contenders);
  return 0;
}
