// TIFF through libtiff over memory: one page of at most 8 bits per sample.
// libtiff's messages go to per-file handlers that print nothing; an error
// is damage.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>

#include "codecs/color_metadata.h"
#include "codecs/decode_support.h"
#include "codecs/image_decoder.h"
#include "platform/gdiplus/pixel_math.h"

namespace repng::codecs {
namespace {

// The largest buffer libtiff may take at once: a whole picture of the
// largest size we accept.
constexpr tmsize_t kMaxLibraryAllocation = static_cast<tmsize_t>(kMaxPixels * 4);

struct MemoryFile {
  const uint8_t* data;
  uint64_t size;
  uint64_t position;
  bool error_seen;
};

MemoryFile& FileOf(thandle_t handle) { return *static_cast<MemoryFile*>(handle); }

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t wanted) {
  MemoryFile& file = FileOf(handle);
  if (wanted <= 0 || file.position >= file.size) return 0;
  const uint64_t count = std::min(static_cast<uint64_t>(wanted), file.size - file.position);
  std::memcpy(buffer, file.data + file.position, static_cast<size_t>(count));
  file.position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  MemoryFile& file = FileOf(handle);
  uint64_t base = 0;
  if (whence == SEEK_CUR) base = file.position;
  if (whence == SEEK_END) base = file.size;
  if (offset > UINT64_MAX - base) return static_cast<toff_t>(-1);
  file.position = base + offset;
  return file.position;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return FileOf(handle).size; }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user_data, const char*, const char*, va_list) {
  static_cast<MemoryFile*>(user_data)->error_seen = true;
  return 1;  // handled: nothing is printed
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

bool SupportedLayout(uint16_t photometric, uint16_t bits) {
  switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_PALETTE:
      return bits == 1 || bits == 2 || bits == 4 || bits == 8;
    case PHOTOMETRIC_RGB:
    case PHOTOMETRIC_YCBCR:
      return bits == 8;
    default:
      return false;
  }
}

DecodeResult CheckPage(TIFF* tiff, uint32_t* width, uint32_t* height) {
  if (!TIFFLastDirectory(tiff)) return DecodeResult::kSeveralFrames;
  uint16_t bits = 0, photometric = 0, sample_format = 0, orientation = 0;
  if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, width) != 1 ||
      TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, height) != 1 ||
      TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 1) {
    return DecodeResult::kDamaged;
  }
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &sample_format);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
  if (bits > 8) return DecodeResult::kDeepSamples;
  if (sample_format != SAMPLEFORMAT_UINT || !SupportedLayout(photometric, bits)) return DecodeResult::kOtherLayout;
  if (orientation != ORIENTATION_TOPLEFT) return DecodeResult::kOrientation;

  uint32_t icc_length = 0;
  void* icc = nullptr;
  if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &icc_length, &icc) == 1 &&
      !IsSrgbIccProfile(static_cast<const uint8_t*>(icc), icc_length)) {
    return DecodeResult::kColourProfile;
  }
  char message[1024] = {};
  if (!TIFFRGBAImageOK(tiff, message)) return DecodeResult::kOtherLayout;
  return DimensionsAllowed(*width, *height) ? DecodeResult::kOk : DecodeResult::kTooLarge;
}

DecodeResult DecodeTiffInto(const uint8_t* data, size_t size, DecodedImage& out) {
  if (size < 4 || (std::memcmp(data, "II*\0", 4) != 0 && std::memcmp(data, "MM\0*", 4) != 0)) {
    return DecodeResult::kNotRecognised;
  }
  MemoryFile file{data, size, 0, false};
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) return DecodeResult::kOutOfMemory;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxLibraryAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &file);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &file);
  std::unique_ptr<TIFF, TiffCloser> tiff(TIFFClientOpenExt("memory", "r", &file, ReadProc, WriteProc,
                                                           SeekProc, CloseProc, SizeProc, MapProc,
                                                           UnmapProc, options.get()));
  if (!tiff || file.error_seen) return DecodeResult::kDamaged;

  uint32_t width = 0, height = 0;
  DecodeResult result = CheckPage(tiff.get(), &width, &height);
  if (result != DecodeResult::kOk) return result;
  if (file.error_seen) return DecodeResult::kDamaged;
  result = AllocatePixels(width, height, 0, &out);
  if (result != DecodeResult::kOk) return result;

  if (TIFFReadRGBAImageOriented(tiff.get(), width, height, out.argb.data(), ORIENTATION_TOPLEFT, 1) != 1 ||
      file.error_seen) {
    return DecodeResult::kDamaged;
  }
  // libtiff gives premultiplied 0xAABBGGRR words, whatever alpha the file had.
  for (uint32_t& pixel : out.argb) {
    const uint32_t argb = PackArgb(TIFFGetA(pixel), TIFFGetR(pixel), TIFFGetG(pixel), TIFFGetB(pixel));
    pixel = repng::pixel::Unpremultiply(argb);
  }
  return DecodeResult::kOk;
}

}  // namespace

DecodeResult DecodeTiff(const uint8_t* data, size_t size, DecodedImage* out) {
  if (data == nullptr) size = 0;
  return RunDecoder(out, [&](DecodedImage& image) { return DecodeTiffInto(data, size, image); });
}

}  // namespace repng::codecs
