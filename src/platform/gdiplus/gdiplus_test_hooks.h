// What tests may ask of the imaging library: failures to inject, the encoder
// list to use, and counters. Only the tests' build of the library
// (REPNG_TEST_HOOKS) has them; in the program's, the library's questions
// below have constant answers and vanish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/gdiplus/encoder_registry.h"

namespace repng::gdiplus::testing {

// While true, GdiplusStartup fails with GenericError and starts nothing.
void SetStartupFails(bool fails);
// Calls of GdiplusStartup in this process, failed ones included.
uint32_t StartupCallCount();

// While true, GdipAlloc gives null.
void SetGdipAllocFails(bool fails);

// Replaces the encoder list until RestoreEncoderList.
void ReplaceEncoderList(std::vector<EncoderRecord> encoders);
void RestoreEncoderList();

// Native images created and not yet disposed of.
size_t LiveImageCount();

// For the library itself.
#ifdef REPNG_TEST_HOOKS
void CountStartupCall();
bool StartupFails();
bool GdipAllocFails();
std::optional<std::vector<EncoderRecord>> ReplacedEncoderList();
void CountLiveImages(int change);
#else
constexpr void CountStartupCall() {}
constexpr bool StartupFails() { return false; }
constexpr bool GdipAllocFails() { return false; }
inline std::optional<std::vector<EncoderRecord>> ReplacedEncoderList() { return std::nullopt; }
constexpr void CountLiveImages(int) {}
#endif

}  // namespace repng::gdiplus::testing
