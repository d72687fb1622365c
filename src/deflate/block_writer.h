// Writes a block in whichever of stored, fixed or dynamic form is smallest
// where it starts.
#pragma once

#include <cstdint>
#include <span>

#include "deflate/bit_writer.h"
#include "deflate/symbols.h"

namespace repng::deflate {

// symbols encode bytes (the same data, for a stored block).
void WriteBlock(std::span<const Symbol> symbols, std::span<const uint8_t> bytes, bool final, BitWriter* writer);

}  // namespace repng::deflate
