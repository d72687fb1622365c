// PNG through libspng, strict: checksums are verified on every chunk, and a
// picture whose look depends on colour or orientation metadata is refused.
#include <spng.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "codecs/byte_order.h"
#include "codecs/color_metadata.h"
#include "codecs/decode_support.h"
#include "codecs/image_decoder.h"

namespace repng::codecs {
namespace {

constexpr size_t kSignatureSize = 8;
// Ancillary data (text, profiles, EXIF) kept by the library, decompressed.
constexpr size_t kChunkSizeLimit = 16u << 20;
constexpr size_t kChunkCacheLimit = 32u << 20;

constexpr uint32_t kSrgbGamma = 45455;  // 1/2.2 in units of 1/100000
constexpr double kGammaTolerance = 0.01;

struct SpngContextDeleter {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using SpngContext = std::unique_ptr<spng_ctx, SpngContextDeleter>;

// libspng only acts on the chunks it knows, so animation and cICP (coding
// points that can make a picture HDR) are found by walking the chunk list. A
// list that runs off the data is left for libspng to refuse.
// kOk when neither stands in the way.
DecodeResult CheckChunksLibspngIgnores(const uint8_t* data, size_t size) {
  // BT.709 primaries, the sRGB transfer, RGB, full range: only restates sRGB.
  static constexpr uint8_t kSrgbCodePoints[] = {1, 13, 0, 1};
  uint64_t at = kSignatureSize;
  while (RangeInside(at, 8, size)) {
    const uint32_t length = ReadBe32(data + at);
    const uint8_t* type = data + at + 4;
    if (std::memcmp(type, "acTL", 4) == 0) return DecodeResult::kSeveralFrames;
    if (std::memcmp(type, "cICP", 4) == 0 &&
        (length != sizeof kSrgbCodePoints || !RangeInside(at + 8, length, size) ||
         std::memcmp(type + 4, kSrgbCodePoints, sizeof kSrgbCodePoints) != 0)) {
      return DecodeResult::kColourProfile;
    }
    if (std::memcmp(type, "IEND", 4) == 0) return DecodeResult::kOk;
    at += 12 + static_cast<uint64_t>(length);
  }
  return DecodeResult::kOk;
}

DecodeResult MapSpngError(int error) {
  return error == SPNG_EMEM ? DecodeResult::kOutOfMemory : DecodeResult::kDamaged;
}

bool ChromaticityIsSrgb(const spng_chrm_int& c) {
  constexpr uint32_t kTolerance = 200;  // 0.002 in x or y
  const auto near = [](uint32_t value, uint32_t expected) {
    return (value > expected ? value - expected : expected - value) <= kTolerance;
  };
  return near(c.white_point_x, 31270) && near(c.white_point_y, 32900) && near(c.red_x, 64000) &&
         near(c.red_y, 33000) && near(c.green_x, 30000) && near(c.green_y, 60000) &&
         near(c.blue_x, 15000) && near(c.blue_y, 6000);
}

// kOk when dropping the colour and orientation chunks leaves the look as is.
DecodeResult CheckMetadata(spng_ctx* ctx) {
  spng_iccp iccp{};
  int ret = spng_get_iccp(ctx, &iccp);
  if (ret == SPNG_OK) {
    if (!IsSrgbIccProfile(reinterpret_cast<const uint8_t*>(iccp.profile), iccp.profile_len)) {
      return DecodeResult::kColourProfile;
    }
  } else if (ret != SPNG_ECHUNKAVAIL) {
    return MapSpngError(ret);
  }

  uint8_t intent = 0;
  ret = spng_get_srgb(ctx, &intent);
  const bool has_srgb = ret == SPNG_OK;
  if (!has_srgb && ret != SPNG_ECHUNKAVAIL) return MapSpngError(ret);
  if (!has_srgb) {
    uint32_t gamma = 0;
    ret = spng_get_gama_int(ctx, &gamma);
    if (ret == SPNG_OK) {
      const double off = std::fabs(static_cast<double>(gamma) - kSrgbGamma) / kSrgbGamma;
      if (off > kGammaTolerance) return DecodeResult::kGamma;
    } else if (ret != SPNG_ECHUNKAVAIL) {
      return MapSpngError(ret);
    }
    spng_chrm_int chrm{};
    ret = spng_get_chrm_int(ctx, &chrm);
    if (ret == SPNG_OK) {
      if (!ChromaticityIsSrgb(chrm)) return DecodeResult::kChromaticities;
    } else if (ret != SPNG_ECHUNKAVAIL) {
      return MapSpngError(ret);
    }
  }

  spng_exif exif{};
  ret = spng_get_exif(ctx, &exif);
  if (ret == SPNG_OK) {
    if (ExifOrientation(reinterpret_cast<const uint8_t*>(exif.data), exif.length) != 1) {
      return DecodeResult::kOrientation;
    }
  } else if (ret != SPNG_ECHUNKAVAIL) {
    return MapSpngError(ret);
  }
  return DecodeResult::kOk;
}

DecodeResult DecodePngInto(const uint8_t* data, size_t size, DecodedImage& out) {
  if (size < kSignatureSize || std::memcmp(data, "\x89PNG\r\n\x1a\n", kSignatureSize) != 0) {
    return DecodeResult::kNotRecognised;
  }
  if (const DecodeResult ignored = CheckChunksLibspngIgnores(data, size); ignored != DecodeResult::kOk) return ignored;

  SpngContext ctx(spng_ctx_new(0));
  if (!ctx) return DecodeResult::kOutOfMemory;
  if (spng_set_crc_action(ctx.get(), SPNG_CRC_ERROR, SPNG_CRC_ERROR) != SPNG_OK ||
      spng_set_chunk_limits(ctx.get(), kChunkSizeLimit, kChunkCacheLimit) != SPNG_OK ||
      spng_set_png_buffer(ctx.get(), data, size) != SPNG_OK) {
    return DecodeResult::kDamaged;
  }

  spng_ihdr ihdr{};
  int ret = spng_get_ihdr(ctx.get(), &ihdr);
  if (ret != SPNG_OK) return MapSpngError(ret);
  if (ihdr.bit_depth > 8) return DecodeResult::kDeepSamples;
  if (!DimensionsAllowed(ihdr.width, ihdr.height)) return DecodeResult::kTooLarge;
  // Refuse on metadata before the pixels are allocated where the chunks
  // come first; chunks after the image data are checked again below.
  if (const DecodeResult early = CheckMetadata(ctx.get()); early != DecodeResult::kOk) return early;

  size_t rgba_size = 0;
  ret = spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &rgba_size);
  if (ret != SPNG_OK) return MapSpngError(ret);
  const DecodeResult allocated = AllocatePixels(ihdr.width, ihdr.height, 0, &out);
  if (allocated != DecodeResult::kOk) return allocated;
  if (rgba_size != out.argb.size() * 4) return DecodeResult::kDamaged;

  // libspng writes R, G, B, A bytes; they are turned into words in place.
  uint8_t* bytes = reinterpret_cast<uint8_t*>(out.argb.data());
  ret = spng_decode_image(ctx.get(), bytes, rgba_size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS);
  if (ret != SPNG_OK) return MapSpngError(ret);
  // Read on to IEND, so that damage after the image data is seen too.
  ret = spng_decode_chunks(ctx.get());
  if (ret != SPNG_OK) return MapSpngError(ret);
  if (const DecodeResult late = CheckMetadata(ctx.get()); late != DecodeResult::kOk) return late;

  for (uint32_t& pixel : out.argb) {
    const uint8_t* rgba = reinterpret_cast<const uint8_t*>(&pixel);
    pixel = PackArgb(rgba[3], rgba[0], rgba[1], rgba[2]);
  }
  return DecodeResult::kOk;
}

}  // namespace

DecodeResult DecodePng(const uint8_t* data, size_t size, DecodedImage* out) {
  if (data == nullptr) size = 0;
  return RunDecoder(out, [&](DecodedImage& image) { return DecodePngInto(data, size, image); });
}

}  // namespace repng::codecs
