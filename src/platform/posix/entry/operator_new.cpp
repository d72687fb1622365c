// The program's new and delete on POSIX: its large buffers get large pages
// (see large_pages.h).
#include <cstdlib>
#include <new>

#include "platform/posix/memory/large_pages.h"

#if !defined(REPNG_SANITIZED_ALLOCATOR)

void* operator new(std::size_t size) {
  void* block = repng::posix::AllocateBlock(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return repng::posix::AllocateBlock(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return repng::posix::AllocateBlock(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

#endif
