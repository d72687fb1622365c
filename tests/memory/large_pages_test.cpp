#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/posix/memory/large_pages.h"

namespace repng::posix {
namespace {

// The flags of the mapping that holds address, as /proc/self/smaps lists
// them ("rd wr mr mw me ac hg ..."); empty when none holds it.
std::string MappingFlags(std::uintptr_t address) {
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool inside = false;
  while (std::getline(smaps, line)) {
    std::uintptr_t start = 0, end = 0;
    char dash = 0;
    std::istringstream header(line);
    if (header >> std::hex >> start >> dash >> end && dash == '-') {
      inside = start <= address && address < end;
      continue;
    }
    if (inside && line.rfind("VmFlags:", 0) == 0) return line.substr(8) + " ";
  }
  return "";
}

bool SystemHasLargePages() {
  std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string modes;
  return std::getline(setting, modes) && modes.find("[never]") == std::string::npos;
}

std::uintptr_t FirstWholeLargePage(const void* block) {
  return (reinterpret_cast<std::uintptr_t>(block) + kLargePage - 1) & ~std::uintptr_t{kLargePage - 1};
}

// Large blocks, whether asked for directly or through the program's new,
// have their whole large pages advised and are usable to their last byte.
TEST(LargePages, LargeBlocksAreAdvisedWhole) {
  if (!SystemHasLargePages()) GTEST_SKIP() << "no large pages on this system";
  constexpr size_t kSize = 6 * 1024 * 1024 + 123;
  void* block = AllocateBlock(kSize);
  ASSERT_NE(block, nullptr);
  std::memset(block, 0xA5, kSize);
  EXPECT_NE(MappingFlags(FirstWholeLargePage(block)).find(" hg "), std::string::npos);
  std::free(block);

#if !defined(REPNG_SANITIZED_ALLOCATOR)
  const std::unique_ptr<uint8_t[]> buffer(new uint8_t[kSize]);
  buffer[kSize - 1] = 1;
  EXPECT_NE(MappingFlags(FirstWholeLargePage(buffer.get())).find(" hg "), std::string::npos);
#endif
}

TEST(LargePages, EveryBlockIsUsableAndFreed) {
  for (const size_t size : {size_t{0}, size_t{1}, kLargePage - 1, kLargePage, 3 * kLargePage + 7}) {
    void* block = AllocateBlock(size);
    ASSERT_NE(block, nullptr) << size;
    if (size > 0) std::memset(block, 0x5A, size);
    std::free(block);
  }
}

}  // namespace
}  // namespace repng::posix
