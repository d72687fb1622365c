// JPEG through libjpeg-turbo. Any warning (corrupt data, premature end) is
// damage: a partial picture is never produced.
//
// libjpeg reports errors by longjmp. Each library call runs inside
// RunProtected, whose frame holds nothing but the jump buffer; all state
// lives in a JpegSession owned by the caller, and the steps that may be
// jumped out of keep only trivial locals.
#include <cstdio>  // jpeglib.h needs FILE

#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codecs/color_metadata.h"
#include "codecs/decode_support.h"
#include "codecs/image_decoder.h"

namespace repng::codecs {
namespace {

constexpr int kMaxScans = 500;  // bounds the work a hostile progressive file can ask for
constexpr long kMaxLibraryMemory = 2L << 30;
constexpr unsigned kMaxMarkerLength = 0xFFFF;

struct ErrorTrap {
  jpeg_error_mgr manager;  // first, so the library's pointer is ours
  std::jmp_buf jump;
  DecodeResult result;
};

struct JpegSession {
  ErrorTrap trap{};
  jpeg_decompress_struct info{};
  jpeg_progress_mgr progress{};
  bool created = false;
  JOCTET* icc_profile = nullptr;  // malloc'd by the library
  unsigned icc_length = 0;
  std::vector<uint8_t> row;
  DecodedImage* out = nullptr;

  JpegSession() = default;
  JpegSession(const JpegSession&) = delete;
  JpegSession& operator=(const JpegSession&) = delete;
  ~JpegSession() {
    std::free(icc_profile);
    if (created) jpeg_destroy_decompress(&info);
  }
};

[[noreturn]] void Fail(j_common_ptr info, DecodeResult result) {
  auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
  trap->result = result;
  std::longjmp(trap->jump, 1);
}

[[noreturn]] void OnError(j_common_ptr info) {
  switch (info->err->msg_code) {
    case JERR_BAD_PRECISION:
      Fail(info, DecodeResult::kDeepSamples);
    case JERR_OUT_OF_MEMORY:
      Fail(info, DecodeResult::kOutOfMemory);
    default:
      Fail(info, DecodeResult::kDamaged);
  }
}

void OnMessage(j_common_ptr info, int level) {
  if (level < 0) Fail(info, DecodeResult::kDamaged);  // a warning means damaged data
}

void OnOutput(j_common_ptr) {}

void OnProgress(j_common_ptr info) {
  const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
  if (decompress->input_scan_number > kMaxScans) Fail(info, DecodeResult::kDamaged);
}

template <typename Step>
DecodeResult RunProtected(JpegSession& session, Step step) {
  if (setjmp(session.trap.jump) != 0) return session.trap.result;
  step(session);
  return DecodeResult::kOk;
}

void ReadHeader(JpegSession& s, const uint8_t* data, size_t size) {
  jpeg_create_decompress(&s.info);
  s.created = true;
  s.info.mem->max_memory_to_use = kMaxLibraryMemory;
  jpeg_mem_src(&s.info, data, static_cast<unsigned long>(size));
  jpeg_save_markers(&s.info, JPEG_APP0 + 1, kMaxMarkerLength);
  jpeg_save_markers(&s.info, JPEG_APP0 + 2, kMaxMarkerLength);
  jpeg_read_header(&s.info, TRUE);
  jpeg_read_icc_profile(&s.info, &s.icc_profile, &s.icc_length);
}

bool OrientationIsNormal(const jpeg_decompress_struct& info) {
  for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
    if (m->marker != JPEG_APP0 + 1 || m->data_length < 6 || std::memcmp(m->data, "Exif\0\0", 6) != 0) {
      continue;
    }
    if (ExifOrientation(m->data + 6, m->data_length - 6) != 1) return false;
  }
  return true;
}

bool IsCmyk(J_COLOR_SPACE space) { return space == JCS_CMYK || space == JCS_YCCK; }

uint32_t Scale(uint32_t a, uint32_t b) { return (a * b + 127) / 255; }

void ReadPixels(JpegSession& s) {
  jpeg_decompress_struct& info = s.info;
  info.out_color_space = IsCmyk(info.jpeg_color_space) ? JCS_CMYK : JCS_RGB;
  s.progress.progress_monitor = OnProgress;
  info.progress = &s.progress;
  jpeg_start_decompress(&info);
  const bool cmyk = info.out_color_space == JCS_CMYK;
  // Adobe writes CMYK inverted (0 is full ink); browsers follow that.
  const bool inverted = cmyk && info.saw_Adobe_marker;
  s.row.resize(static_cast<size_t>(info.output_width) * static_cast<size_t>(info.output_components));
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = s.row.data();
    const JDIMENSION y = info.output_scanline;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) Fail(reinterpret_cast<j_common_ptr>(&info), DecodeResult::kDamaged);
    uint32_t* target = s.out->argb.data() + static_cast<size_t>(y) * info.output_width;
    const uint8_t* p = s.row.data();
    for (JDIMENSION x = 0; x < info.output_width; ++x) {
      if (cmyk) {
        const uint32_t c = inverted ? p[0] : 255u - p[0];
        const uint32_t m = inverted ? p[1] : 255u - p[1];
        const uint32_t yellow = inverted ? p[2] : 255u - p[2];
        const uint32_t k = inverted ? p[3] : 255u - p[3];
        target[x] = PackArgb(255, Scale(c, k), Scale(m, k), Scale(yellow, k));
        p += 4;
      } else {
        target[x] = PackArgb(255, p[0], p[1], p[2]);
        p += 3;
      }
    }
  }
  jpeg_finish_decompress(&info);
}

DecodeResult DecodeJpegInto(const uint8_t* data, size_t size, DecodedImage& out) {
  if (size < 3 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF) return DecodeResult::kNotRecognised;
  JpegSession session;
  session.out = &out;
  session.info.err = jpeg_std_error(&session.trap.manager);
  session.trap.manager.error_exit = OnError;
  session.trap.manager.emit_message = OnMessage;
  session.trap.manager.output_message = OnOutput;

  DecodeResult result =
      RunProtected(session, [data, size](JpegSession& s) { ReadHeader(s, data, size); });
  if (result != DecodeResult::kOk) return result;

  const jpeg_decompress_struct& info = session.info;
  if (info.data_precision != 8) return DecodeResult::kDeepSamples;
  switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE: case JCS_RGB: case JCS_YCbCr: case JCS_CMYK: case JCS_YCCK:
      break;
    default:
      return DecodeResult::kOtherLayout;
  }
  if (session.icc_profile != nullptr && !IsSrgbIccProfile(session.icc_profile, session.icc_length)) {
    return DecodeResult::kColourProfile;
  }
  if (!OrientationIsNormal(info)) return DecodeResult::kOrientation;
  result = AllocatePixels(info.image_width, info.image_height, kOpaqueBlack, &out);
  if (result != DecodeResult::kOk) return result;
  session.row.reserve(static_cast<size_t>(info.image_width) * 4);

  result = RunProtected(session, ReadPixels);
  if (result != DecodeResult::kOk) return result;
  if (info.output_width != out.width || info.output_height != out.height) return DecodeResult::kDamaged;
  return DecodeResult::kOk;
}

}  // namespace

DecodeResult DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* out) {
  if (data == nullptr) size = 0;
  return RunDecoder(out, [&](DecodedImage& image) { return DecodeJpegInto(data, size, image); });
}

}  // namespace repng::codecs
