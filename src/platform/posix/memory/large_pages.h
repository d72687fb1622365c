// Memory for the program's own allocations on Linux: blocks of 2 MiB and
// more are marked for the kernel's 2 MiB pages. Such a block (a picture, its
// filtered rows, a deflate segment's matches and path costs) otherwise
// faults in 4 KiB at a time, and the match finder's jumps across it miss
// the address cache. Drawings and some large pictures take 4 to 16 percent
// less time; a large photograph whose time goes elsewhere, the same.
#pragma once

#include <cstddef>

// Sanitizers keep their own new and delete, which check every pair: the
// program's own (operator_new.cpp) are left out under them.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define REPNG_SANITIZED_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define REPNG_SANITIZED_ALLOCATOR 1
#endif

namespace repng::posix {

// Blocks of this size and more get the advice.
inline constexpr std::size_t kLargePage = std::size_t{2} << 20;

// malloc's block, with the whole large pages inside it advised as such
// (none when the system has no such advice). Freed with free; nullptr when
// there is no memory.
void* AllocateBlock(std::size_t size) noexcept;

}  // namespace repng::posix
