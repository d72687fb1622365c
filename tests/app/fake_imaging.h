// A stand-in for the imaging unit, steered by the content of each file:
//   "IMG n ..."      a picture whose PNG form is "IMG n" padded to n bytes, so
//                    a rewritten file is again such a picture; n = 0: the
//                    encoder gives no bytes
//   "REMOVE name"    a picture whose decoding deletes the file `name`; its
//                    encoding runs out of memory, as it must never happen
//   "THROW-ENCODE"   a picture whose encoding runs out of memory
//   "SAVE-OVER name" a picture while whose encoding another program saves
//                    kOtherProgramsSave over the file `name`
//   anything else    not a picture
// Bitmaps are real DIB sections of the GDI stand-in; any still alive when
// the program ends is reported on standard output, where the tests see it.
#pragma once

#include <string>

namespace repng::testing {

inline std::string FakePicture(std::size_t png_bytes, std::size_t file_bytes) {
  std::string content = "IMG " + std::to_string(png_bytes) + " ";
  content.resize(file_bytes, '.');
  return content;
}

inline const std::string kOtherProgramsSave = "saved by another program";

}  // namespace repng::testing
