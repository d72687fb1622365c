#include "png/optimal_pass.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <new>

#include "deflate/deflate.h"
#include "png/encoder_fault.h"
#include "png/parallel_trials.h"
#include "png/search_settings.h"

namespace repng::png {

namespace {

// Depends on the data's size alone, as the bytes must.
deflate::Settings OptimalSettings(size_t size) {
  if (size > settings::kMedium) {
    return {.effort = settings::kLargeOptimalEffort, .segment_size = settings::kLargeOptimalSegment};
  }
  return {.effort = settings::kOptimalEffort, .segment_size = settings::kOptimalSegment};
}

const deflate::Settings kQuickSettings{.effort = settings::kQuickPassEffort,
                                      .segment_size = settings::kQuickPassSegment};

size_t SegmentBytes(size_t size, const deflate::Settings& settings) {
  return settings::kOptimalBytesPerByte * deflate::LayoutSegments(size, settings.segment_size).Longest();
}

std::vector<uint8_t> SegmentedZlibStream(std::span<const uint8_t> data, const deflate::Settings& settings,
                                         Workers& workers, const std::function<void()>& beside) {
  std::unique_ptr<deflate::Compressor> compressor;
  deflate::Status status = deflate::Compressor::Create(settings, &compressor);
  if (status == deflate::Status::kOutOfMemory) throw std::bad_alloc();
  if (status != deflate::Status::kOk) throw EncoderFault(deflate::StatusText(status));
  // The compressor reports a failed task as its own failure: what `beside`
  // throws is kept to be thrown as it was.
  std::exception_ptr beside_failure;
  // Segments laid out by the data's size, whatever the number of workers:
  // only how many run at once depends on it. The compressor's first call
  // brings the segments, which `beside` joins as the last task: the workers
  // that run out of segments share its chunks while the last segments'
  // first steps run on one core each. The calls made from inside a segment
  // bring its blocks, which hold less than the segment.
  const unsigned most = TrialsAtOnce(SegmentBytes(data.size(), settings));
  std::atomic<bool> segments_call{true};
  const deflate::ParallelRunner runner = [&](size_t count, const std::function<void(size_t)>& task) {
    const size_t beside_task = beside && segments_call.exchange(false) ? 1 : 0;
    workers.Run(count + beside_task, [&](size_t index, unsigned) {
      if (index < count) return task(index);
      try {
        beside();
      } catch (...) {
        beside_failure = std::current_exception();
      }
    }, most);
  };
  std::vector<uint8_t> stream;
  status = compressor->Compress(data, &stream, runner);
  if (beside_failure) std::rethrow_exception(beside_failure);
  if (status == deflate::Status::kOutOfMemory) throw std::bad_alloc();
  if (status != deflate::Status::kOk) throw EncoderFault(deflate::StatusText(status));
  return stream;
}

}  // namespace

size_t OptimalSegmentBytes(size_t size) { return SegmentBytes(size, OptimalSettings(size)); }

std::vector<uint8_t> OptimalZlibStream(std::span<const uint8_t> data, Workers& workers,
                                       const std::function<void()>& beside) {
  return SegmentedZlibStream(data, OptimalSettings(data.size()), workers, beside);
}

std::vector<uint8_t> QuickZlibStream(std::span<const uint8_t> data, Workers& workers) {
  return SegmentedZlibStream(data, kQuickSettings, workers, nullptr);
}

}  // namespace repng::png
