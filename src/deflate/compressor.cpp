#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <new>

#include "deflate/bit_writer.h"
#include "deflate/block_writer.h"
#include "deflate/deflate.h"
#include "deflate/segment.h"

namespace repng::deflate {
namespace {

uint32_t Adler32(std::span<const uint8_t> bytes) {
  constexpr uint32_t kModulus = 65521;
  // The most bytes before the sums can overflow 32 bits.
  constexpr size_t kRun = 5552;
  uint32_t a = 1, b = 0;
  for (size_t done = 0; done < bytes.size();) {
    const size_t stop = std::min(bytes.size(), done + kRun);
    for (; done < stop; ++done) {
      a += bytes[done];
      b += a;
    }
    a %= kModulus;
    b %= kModulus;
  }
  return (b << 16) | a;
}

struct SegmentTask {
  SegmentResult result;
  std::atomic<int> status{-1};  // -1 not run, else a Status
};

void AppendBigEndian32(uint32_t value, std::vector<uint8_t>* out) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

const char* StatusText(Status status) {
  switch (status) {
    case Status::kOk: return "ok";
    case Status::kBadEffort: return "effort out of range";
    case Status::kBadSegmentSize: return "segment size out of range";
    case Status::kInputTooLarge: return "input too large";
    case Status::kOutOfMemory: return "out of memory";
    case Status::kRunnerFailed: return "parallel runner failed";
  }
  return "unknown status";
}

SegmentLayout LayoutSegments(size_t input_size, size_t segment_size) {
  SegmentLayout layout;
  if (input_size == 0 || segment_size == 0) return layout;
  layout.input_size = input_size;
  layout.count = std::max<size_t>((input_size + segment_size / 2) / segment_size, 1);
  if ((input_size + layout.count - 1) / layout.count > kMaxSegmentSize) {
    layout.count = (input_size + kMaxSegmentSize - 1) / kMaxSegmentSize;
  }
  return layout;
}

Status Compressor::Create(const Settings& settings, std::unique_ptr<Compressor>* compressor) noexcept {
  compressor->reset();
  if (settings.effort < kMinEffort || settings.effort > kMaxEffort) return Status::kBadEffort;
  if (settings.segment_size < kMinSegmentSize || settings.segment_size > kMaxSegmentSize) {
    return Status::kBadSegmentSize;
  }
  Compressor* created = new (std::nothrow) Compressor(settings);
  if (created == nullptr) return Status::kOutOfMemory;
  compressor->reset(created);
  return Status::kOk;
}

Status Compressor::Compress(std::span<const uint8_t> input, std::vector<uint8_t>* zlib_stream,
                            const ParallelRunner& runner) const noexcept {
  zlib_stream->clear();
  if (input.size() > kMaxInputSize) return Status::kInputTooLarge;
  const EffortParams params = ParamsForEffort(settings_.effort);
  const SegmentLayout layout = LayoutSegments(input.size(), settings_.segment_size);
  const size_t count = layout.count;
  try {
    std::vector<SegmentTask> tasks(count);
    SegmentWorkspace workspace;
    zlib_stream->reserve(layout.Longest() + 16);
    zlib_stream->push_back(0x78);  // deflate, 32 KiB window
    zlib_stream->push_back(0xDA);  // maximum compression; check bits
    BitWriter writer(zlib_stream);
    // The segments are written in order by whichever task finds the next
    // one finished, so that writing overlaps the parsing of later segments
    // and each segment's symbols go as soon as they are written; what is
    // left when the tasks end is written after them.
    std::mutex write_lock;
    size_t written = 0;
    bool write_failed = false;
    const auto write_finished = [&] {  // with write_lock held
      while (!write_failed && written < count && tasks[written].status == static_cast<int>(Status::kOk)) {
        const SegmentResult& segment = tasks[written].result;
        for (size_t b = 0; b < segment.blocks.size(); ++b) {
          const Block& block = segment.blocks[b];
          const bool final = written + 1 == count && b + 1 == segment.blocks.size();
          WriteBlock(std::span(segment.symbols).subspan(block.symbol_begin, block.symbol_end - block.symbol_begin),
                     input.subspan(block.byte_begin, block.byte_end - block.byte_begin), final, &writer);
        }
        tasks[written].result = SegmentResult{};
        ++written;
      }
    };
    const std::function<void(size_t)> task = [&](size_t index) {
      SegmentTask& segment = tasks[index];
      try {
        CompressSegment(input.data(), layout.Begin(index), layout.Begin(index + 1), params, runner, workspace,
                        &segment.result);
        segment.status = static_cast<int>(Status::kOk);
      } catch (const std::bad_alloc&) {
        segment.status = static_cast<int>(Status::kOutOfMemory);
        return;
      } catch (...) {
        segment.status = static_cast<int>(Status::kRunnerFailed);
        return;
      }
      const std::unique_lock<std::mutex> hold(write_lock, std::try_to_lock);
      if (!hold.owns_lock()) return;  // the writer will come to this segment
      try {
        write_finished();
      } catch (...) {
        write_failed = true;  // running out of memory is all that can fail
      }
    };
    if (runner && count > 0) {
      try {
        runner(count, task);
      } catch (const std::bad_alloc&) {
        zlib_stream->clear();
        return Status::kOutOfMemory;
      } catch (...) {
        zlib_stream->clear();
        return Status::kRunnerFailed;
      }
    } else {
      for (size_t index = 0; index < count; ++index) task(index);
    }
    for (const SegmentTask& segment : tasks) {
      const int status = segment.status;
      if (status == static_cast<int>(Status::kOk)) continue;
      zlib_stream->clear();
      return status < 0 ? Status::kRunnerFailed : static_cast<Status>(status);
    }
    if (write_failed) throw std::bad_alloc();
    write_finished();

    if (input.empty()) {
      writer.Write(1, 1);  // final
      writer.Write(1, 2);  // fixed code
      writer.Write(0, 7);  // end of block
    }
    writer.AlignToByte();
    AppendBigEndian32(Adler32(input), zlib_stream);
    return Status::kOk;
  } catch (const std::bad_alloc&) {
    zlib_stream->clear();
    return Status::kOutOfMemory;
  } catch (...) {
    zlib_stream->clear();
    return Status::kRunnerFailed;
  }
}

}  // namespace repng::deflate
