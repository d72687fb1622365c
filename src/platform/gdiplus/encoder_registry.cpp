// The encoder list and its flat layout: records, then the strings and
// signature bytes that they point to, in one caller's buffer.
#include "platform/gdiplus/encoder_registry.h"

#include <cstring>

#include "platform/gdiplus/gdiplus_flat.h"
#include "platform/gdiplus/gdiplus_test_hooks.h"
#include "platform/gdiplus/library_state.h"
#include "png/png_encoder.h"

using Gdiplus::ImageCodecInfo;
using Gdiplus::Status;
using repng::gdiplus::EncoderRecord;

namespace {

// The platform's identifiers of its PNG encoder and of the PNG format.
constexpr CLSID kPngEncoderClsid = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID kPngFormatId = {0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

size_t StringBytes(const std::u16string& text) {
  return text.empty() ? 0 : (text.size() + 1) * sizeof(WCHAR);
}

size_t ExtraBytes(const EncoderRecord& record) {
  return StringBytes(record.codec_name) + StringBytes(record.dll_name) + StringBytes(record.format_description) +
         StringBytes(record.filename_extension) + StringBytes(record.mime_type) +
         record.signature_pattern.size() + record.signature_mask.size();
}

// The list's byte size, or 0 when it would not fit a UINT.
size_t LayoutBytes(const std::vector<EncoderRecord>& records) {
  size_t bytes = records.size() * sizeof(ImageCodecInfo);
  for (const EncoderRecord& record : records) bytes += ExtraBytes(record);
  return bytes > 0xFFFFFFFFu ? 0 : bytes;
}

// Copies `text` to *cursor and returns where it now is; null for an empty one.
const WCHAR* PlaceString(const std::u16string& text, BYTE** cursor) {
  if (text.empty()) return nullptr;
  const size_t bytes = (text.size() + 1) * sizeof(WCHAR);
  std::memcpy(*cursor, text.c_str(), bytes);
  const auto* placed = reinterpret_cast<const WCHAR*>(*cursor);
  *cursor += bytes;
  return placed;
}

const BYTE* PlaceBytes(const std::vector<BYTE>& bytes, BYTE** cursor) {
  if (bytes.empty()) return nullptr;
  std::memcpy(*cursor, bytes.data(), bytes.size());
  const BYTE* placed = *cursor;
  *cursor += bytes.size();
  return placed;
}

}  // namespace

namespace repng::gdiplus {

EncoderRecord PngEncoderRecord() {
  EncoderRecord record;
  record.clsid = kPngEncoderClsid;
  record.format_id = kPngFormatId;
  record.codec_name = u"repng PNG Codec";
  record.format_description = u"PNG";
  record.filename_extension = u"*.PNG";
  record.mime_type = u"image/png";
  record.flags = Gdiplus::ImageCodecFlagsEncoder | Gdiplus::ImageCodecFlagsSupportBitmap |
                 Gdiplus::ImageCodecFlagsBuiltin;
  record.version = 1;
  record.signature_pattern = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  record.signature_mask = std::vector<BYTE>(record.signature_pattern.size(), 0xFF);
  record.encode = repng::png::EncodePargbToPng;
  return record;
}

std::vector<EncoderRecord> ActiveEncoders() {
  if (std::optional<std::vector<EncoderRecord>> replaced = testing::ReplacedEncoderList()) return *replaced;
  return {PngEncoderRecord()};
}

std::optional<EncodeFunction> FindEncoder(const CLSID& clsid) {
  for (const EncoderRecord& record : ActiveEncoders()) {
    if (record.clsid == clsid && record.encode != nullptr) return record.encode;
  }
  return std::nullopt;
}

}  // namespace repng::gdiplus

namespace Gdiplus::DllExports {

Status WINGDIPAPI GdipGetImageEncodersSize(UINT* numEncoders, UINT* size) {
  if (!repng::gdiplus::IsStarted()) return GdiplusNotInitialized;
  if (numEncoders == nullptr || size == nullptr) return InvalidParameter;
  try {
    const std::vector<EncoderRecord> records = repng::gdiplus::ActiveEncoders();
    const size_t bytes = LayoutBytes(records);
    if (bytes == 0 && !records.empty()) return ValueOverflow;
    *numEncoders = static_cast<UINT>(records.size());
    *size = static_cast<UINT>(bytes);
    return Ok;
  } catch (const std::bad_alloc&) {
    return OutOfMemory;
  }
}

Status WINGDIPAPI GdipGetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo* encoders) {
  if (!repng::gdiplus::IsStarted()) return GdiplusNotInitialized;
  if (encoders == nullptr) return InvalidParameter;
  try {
    const std::vector<EncoderRecord> records = repng::gdiplus::ActiveEncoders();
    if (numEncoders != records.size() || size != LayoutBytes(records)) return GenericError;
    BYTE* cursor = reinterpret_cast<BYTE*>(encoders) + records.size() * sizeof(ImageCodecInfo);
    for (size_t i = 0; i < records.size(); ++i) {
      const EncoderRecord& record = records[i];
      ImageCodecInfo info{};
      info.Clsid = record.clsid;
      info.FormatID = record.format_id;
      info.CodecName = PlaceString(record.codec_name, &cursor);
      info.DllName = PlaceString(record.dll_name, &cursor);
      info.FormatDescription = PlaceString(record.format_description, &cursor);
      info.FilenameExtension = PlaceString(record.filename_extension, &cursor);
      info.MimeType = PlaceString(record.mime_type, &cursor);
      info.Flags = record.flags;
      info.Version = record.version;
      info.SigCount = record.signature_pattern.empty() ? 0 : 1;
      info.SigSize = static_cast<DWORD>(record.signature_pattern.size());
      info.SigPattern = PlaceBytes(record.signature_pattern, &cursor);
      info.SigMask = PlaceBytes(record.signature_mask, &cursor);
      encoders[i] = info;
    }
    return Ok;
  } catch (const std::bad_alloc&) {
    return OutOfMemory;
  }
}

}  // namespace Gdiplus::DllExports
