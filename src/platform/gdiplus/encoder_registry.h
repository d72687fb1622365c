// The library's encoders as GdipGetImageEncoders lists them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows_api.h"

namespace repng::gdiplus {

// Premultiplied BGRA rows in, one complete file out; false on failure.
using EncodeFunction = bool (*)(const uint8_t* top_row, uint32_t width, uint32_t height, size_t stride,
                                std::vector<uint8_t>* out);

struct EncoderRecord {
  CLSID clsid{};
  GUID format_id{};
  std::u16string codec_name;
  std::u16string dll_name;  // empty: listed as a null pointer
  std::u16string format_description;
  std::u16string filename_extension;
  std::u16string mime_type;
  DWORD flags = 0;
  DWORD version = 0;
  std::vector<BYTE> signature_pattern;  // one signature; mask of the same size
  std::vector<BYTE> signature_mask;
  EncodeFunction encode = nullptr;
};

// The built-in PNG encoder, "image/png".
EncoderRecord PngEncoderRecord();

// A copy of the encoder list in use.
std::vector<EncoderRecord> ActiveEncoders();

// The encode function of the listed encoder with that class identifier.
std::optional<EncodeFunction> FindEncoder(const CLSID& clsid);

}  // namespace repng::gdiplus
