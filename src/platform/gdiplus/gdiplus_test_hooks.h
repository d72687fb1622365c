// What tests may ask of the imaging library: failures to inject, the encoder
// list to use, and counters.
#pragma once

#include <cstddef>
#include <cstdint>
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

}  // namespace repng::gdiplus::testing
