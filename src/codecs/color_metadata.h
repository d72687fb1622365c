// Checks of the colour and orientation metadata that a re-encoded PNG would
// drop: a picture is only taken when dropping them cannot change its look.
#pragma once

#include <cstddef>
#include <cstdint>

namespace repng::codecs {

// True only for a well-formed RGB ICC profile whose description names sRGB.
// Anything unreadable counts as not sRGB.
bool IsSrgbIccProfile(const uint8_t* profile, size_t size);

// The orientation (TIFF tag 274) in IFD0 of a TIFF-structured EXIF block
// (starting at the "II"/"MM" byte order mark), or 1 when there is none.
// An unreadable block carries no orientation a viewer could apply, so it
// also gives 1.
uint32_t ExifOrientation(const uint8_t* tiff, size_t size);

}  // namespace repng::codecs
