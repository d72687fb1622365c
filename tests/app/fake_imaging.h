// A stand-in for the imaging unit, driven by the content of the file:
//   "IMG n..."      a picture whose PNG form is "IMG n" padded with dots to n
//                   bytes (n = 0: the encoder gives a buffer of no bytes), so
//                   a rewritten file is again such a picture of size n
//   "NOPNG"         a picture the encoder gives nothing for
//   "REMOVE name"   a picture that deletes the file `name` while decoding
//   "THROW-DECODE"  decoding runs out of memory
//   "THROW-ENCODE"  a picture whose encoding runs out of memory
//   "FAULT-ENCODE"  a picture whose encoding meets a processor fault
//   anything else   not a picture
// Bitmaps are real DIB sections of the GDI stand-in, so deleting one twice or
// never shows up in its object count.
#pragma once

#include <cstddef>
#include <string>

namespace repng::testing {

// The content of a file that the fake decodes into a picture whose PNG form
// has png_bytes bytes, padded with dots to file_bytes bytes.
std::string FakePicture(std::size_t png_bytes, std::size_t file_bytes);

int FakeEncodeCallCount();

}  // namespace repng::testing
