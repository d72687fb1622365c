#include "png/optimal_pass.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <new>

#include "deflate/deflate.h"
#include "png/encoder_fault.h"
#include "png/parallel_trials.h"
#include "png/search_settings.h"

namespace repng::png {

size_t OptimalSegmentBytes(size_t size) {
  return settings::kOptimalBytesPerByte * std::min(size, deflate::kDefaultSegmentSize);
}

std::vector<uint8_t> OptimalZlibStream(std::span<const uint8_t> data, Workers& workers) {
  std::unique_ptr<deflate::Compressor> compressor;
  deflate::Status status = deflate::Compressor::Create({.effort = settings::kOptimalEffort}, &compressor);
  if (status == deflate::Status::kOutOfMemory) throw std::bad_alloc();
  if (status != deflate::Status::kOk) throw EncoderFault(deflate::StatusText(status));
  // Segments of a fixed size, whatever the number of workers: only how
  // many run at once depends on it.
  const deflate::ParallelRunner runner = [&workers, size = data.size()](size_t count, const std::function<void(size_t)>& task) {
    workers.Run(count, [&task](size_t index, unsigned) { task(index); }, TrialsAtOnce(OptimalSegmentBytes(size)));
  };
  std::vector<uint8_t> stream;
  status = compressor->Compress(data, &stream, runner);
  if (status == deflate::Status::kOutOfMemory) throw std::bad_alloc();
  if (status != deflate::Status::kOk) throw EncoderFault(deflate::StatusText(status));
  return stream;
}

}  // namespace repng::png
