#include "deflate/block_writer.h"

#include <algorithm>
#include <cassert>

#include "deflate/block_code.h"
#include "deflate/huffman.h"

namespace repng::deflate {
namespace {

// The fixed code has 288 and 32 lengths, a dynamic one 286 and 30: the
// canonical codes depend on all of them.
void WriteSymbols(std::span<const Symbol> symbols, std::span<const uint8_t> litlen_lengths,
                  std::span<const uint8_t> dist_lengths, BitWriter* writer) {
  std::array<uint16_t, 288> litlen_codes;
  std::array<uint16_t, 32> dist_codes;
  CanonicalCodes(litlen_lengths.data(), static_cast<int>(litlen_lengths.size()), litlen_codes.data());
  CanonicalCodes(dist_lengths.data(), static_cast<int>(dist_lengths.size()), dist_codes.data());
  for (const Symbol symbol : symbols) {
    if (symbol.IsLiteral()) {
      writer->Write(litlen_codes[symbol.value], litlen_lengths[symbol.value]);
      continue;
    }
    const int length_slot = LengthSlot(symbol.value);
    writer->Write(litlen_codes[257 + length_slot], litlen_lengths[257 + length_slot]);
    writer->Write(symbol.value - kLengthBase[length_slot], kLengthExtra[length_slot]);
    const int dist_slot = DistSlot(symbol.distance);
    writer->Write(dist_codes[dist_slot], dist_lengths[dist_slot]);
    writer->Write(symbol.distance - kDistBase[dist_slot], kDistExtra[dist_slot]);
  }
  writer->Write(litlen_codes[kEndOfBlock], litlen_lengths[kEndOfBlock]);
}

void WriteDynamicHeader(const DynamicCode& code, BitWriter* writer) {
  writer->Write(static_cast<uint32_t>(code.litlen_count - 257), 5);
  writer->Write(static_cast<uint32_t>(code.dist_count - 1), 5);
  writer->Write(static_cast<uint32_t>(code.code_length_count - 4), 4);
  for (int i = 0; i < code.code_length_count; ++i) writer->Write(code.code_length_lengths[kCodeLengthOrder[i]], 3);
  std::array<uint16_t, kCodeLengthSymbols> codes;
  CanonicalCodes(code.code_length_lengths.data(), kCodeLengthSymbols, codes.data());
  for (int t = 0; t < code.token_count; ++t) {
    const HeaderToken token = code.tokens[t];
    writer->Write(codes[token.symbol], code.code_length_lengths[token.symbol]);
    if (token.symbol >= 16) writer->Write(token.extra, token.symbol == 16 ? 2 : token.symbol == 17 ? 3 : 7);
  }
}

void WriteStored(std::span<const uint8_t> bytes, bool final, BitWriter* writer) {
  size_t done = 0;
  do {
    const size_t piece = std::min<size_t>(bytes.size() - done, kMaxStoredLength);
    const bool last = done + piece == bytes.size();
    writer->Write(final && last ? 1 : 0, 1);
    writer->Write(0, 2);
    writer->AlignToByte();
    writer->Write(static_cast<uint32_t>(piece), 16);
    writer->Write(static_cast<uint32_t>(~piece & 0xFFFF), 16);
    for (size_t i = 0; i < piece; ++i) writer->Write(bytes[done + i], 8);
    done += piece;
  } while (done < bytes.size());
}

}  // namespace

void WriteBlock(std::span<const Symbol> symbols, std::span<const uint8_t> bytes, bool final, BitWriter* writer) {
  const Histogram counts = CountSymbols(symbols);
  DynamicCode code;
  BuildSmallestDynamicCode(counts, &code);
  const uint64_t dynamic_bits = DynamicBlockBits(counts, code);
  const uint64_t fixed_bits = FixedBlockBits(counts);
  const uint64_t stored_bits = StoredBlockBits(bytes.size(), writer->BitPosition());
  const uint64_t start = writer->BitPosition();
  if (stored_bits < dynamic_bits && stored_bits < fixed_bits) {
    WriteStored(bytes, final, writer);
  } else if (fixed_bits <= dynamic_bits) {
    writer->Write(final ? 1 : 0, 1);
    writer->Write(1, 2);
    WriteSymbols(symbols, FixedLitLenLengths(), FixedDistLengths(), writer);
    assert(writer->BitPosition() - start == fixed_bits);
  } else {
    writer->Write(final ? 1 : 0, 1);
    writer->Write(2, 2);
    WriteDynamicHeader(code, writer);
    WriteSymbols(symbols, code.litlen_lengths, code.dist_lengths, writer);
    assert(writer->BitPosition() - start == dynamic_bits);
  }
  (void)start;
}

}  // namespace repng::deflate
