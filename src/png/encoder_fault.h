// The encoder's one failure convention: std::bad_alloc means that memory ran
// out, and nothing else does. Every other failure (a size the encoder cannot
// represent, a library call that refuses, one step finding another's result
// inconsistent) is an EncoderFault. Either ends the encoding with no output.
#pragma once

#include <stdexcept>

namespace repng::png {

class EncoderFault : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

}  // namespace repng::png
