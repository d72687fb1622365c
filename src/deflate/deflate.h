// repng's deflate compressor: bytes in, a zlib stream (RFC 1950 around
// RFC 1951 deflate) out, as small as the effort allows.
//
// Usage: create a Compressor with Compressor::Create, call Compress as often
// as needed (it keeps no state between calls, so one compressor may serve
// several threads at once), and let the unique_ptr free it. No function
// throws: every failure, running out of memory included, comes back as a
// Status, and the output is then empty.
//
// The input is cut into segments of about the settings' size (each primed
// with the 32 KiB before it, so matches reach across), which are parsed
// independently and may run in parallel through the caller's runner. The
// bytes written depend only on the input and the settings: never on the
// runner, the number of threads, the compiler or the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace repng::deflate {

enum class Status {
  kOk,
  kBadEffort,         // effort outside kMinEffort..kMaxEffort
  kBadSegmentSize,    // segment size outside kMinSegmentSize..kMaxSegmentSize
  kInputTooLarge,     // more than kMaxInputSize bytes
  kOutOfMemory,
  kRunnerFailed,      // the runner threw or left a task unrun
};

const char* StatusText(Status status);

inline constexpr int kMinEffort = 1;
inline constexpr int kMaxEffort = 7;
inline constexpr int kDefaultEffort = 5;

inline constexpr size_t kMaxInputSize = size_t{1} << 30;
inline constexpr size_t kDefaultSegmentSize = size_t{1} << 20;
inline constexpr size_t kMinSegmentSize = 1024;
// Path costs of a segment stay within 32 bits below this size.
inline constexpr size_t kMaxSegmentSize = size_t{4} << 20;

// Runs task(0) .. task(count - 1), in any order and on any threads, and
// returns when all have finished. The tasks never throw. The compressor
// calls it again from inside its tasks, for smaller work of theirs, so a
// runner must allow nested calls; one that gives them to idle threads keeps
// every core busy to the last segment.
using ParallelRunner = std::function<void(size_t count, const std::function<void(size_t)>& task)>;

struct Settings {
  int effort = kDefaultEffort;
  // Smaller segments parallelise small inputs but compress a little worse;
  // tests use them to cross segment edges cheaply.
  size_t segment_size = kDefaultSegmentSize;
};

// Where the segments of an input lie: as many as the input holds segments
// of the settings' size, rounded to the nearest (at least one), all of one
// length within a byte. A picture's rows are a little over a round size
// (a filter byte a row): cut at the size itself, the last few hundred
// bytes were a segment of their own, with a block of their own, while one
// segment before them ran on alone.
struct SegmentLayout {
  size_t input_size = 0;
  size_t count = 0;

  size_t Begin(size_t index) const {
    return index >= count ? input_size : static_cast<size_t>(uint64_t{index} * input_size / count);
  }
  // At most 1.5 times the settings' size, and kMaxSegmentSize.
  size_t Longest() const { return count == 0 ? 0 : (input_size + count - 1) / count; }
};
SegmentLayout LayoutSegments(size_t input_size, size_t segment_size);

class Compressor {
 public:
  static Status Create(const Settings& settings, std::unique_ptr<Compressor>* compressor) noexcept;

  // Replaces *zlib_stream with input compressed. The segments go to the
  // runner, when there is one, however few they are (so that it may run
  // work of its own beside them), in its first call; the later calls, from
  // inside the segments, bring a segment's blocks and the starts of a parse.
  // Without a runner, all of it runs one after another on the calling
  // thread.
  Status Compress(std::span<const uint8_t> input, std::vector<uint8_t>* zlib_stream,
                  const ParallelRunner& runner = nullptr) const noexcept;

  const Settings& settings() const { return settings_; }

 private:
  explicit Compressor(const Settings& settings) : settings_(settings) {}

  Settings settings_;
};

}  // namespace repng::deflate
