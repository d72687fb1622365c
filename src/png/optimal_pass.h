// The optimal pass: repng's own deflate, which parses each stream as a
// shortest path over costs refined in rounds, for a few percent fewer bytes
// than libdeflate's strongest level at several times its time. And the quick
// pass: the same deflate at a low effort, for large photographs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace repng::png {

class Workers;

// About the memory one segment of a stream of `size` bytes holds while it is
// parsed: its match cache, the tree that finds the matches and the costs of
// its paths.
size_t OptimalSegmentBytes(size_t size);

// A zlib stream of `data`, its segments shared out among `workers`; the
// bytes depend on `data` alone. `beside`, when given, runs once among the
// segments, first: other work of the caller's that would otherwise wait for
// the pass, or the pass for it. Throws what `beside` throws, std::bad_alloc
// when memory runs out, EncoderFault on any other failure.
std::vector<uint8_t> OptimalZlibStream(std::span<const uint8_t> data, Workers& workers,
                                       const std::function<void()>& beside = nullptr);

// The same deflate at a low effort: about libdeflate's strongest level's
// bytes on photographs, and on every core. Throws as OptimalZlibStream.
std::vector<uint8_t> QuickZlibStream(std::span<const uint8_t> data, Workers& workers);

}  // namespace repng::png
