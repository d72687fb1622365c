// Encoding a GDI bitmap as a PNG file in memory through the imaging
// library's PNG encoder.
#include <cstdint>
#include <memory>

#include "imaging/gdiplus_startup.h"
#include "imaging/image_format_mime_types.h"
#include "imaging/imaging.h"
#include "imaging/pargb_rebuild.h"
#include "platform/gdiplus/gdiplus.h"

namespace {

struct StreamRelease {
  void operator()(IStream* stream) const { stream->Release(); }
};
using StreamReference = std::unique_ptr<IStream, StreamRelease>;

// Unit by unit, case-sensitive; a missing string matches nothing.
bool SameText(const WCHAR* left, const WCHAR* right) {
  if (left == nullptr || right == nullptr) return false;
  while (*left != 0 && *left == *right) {
    ++left;
    ++right;
  }
  return *left == *right;
}

enum class RecordOutcome { kNoBitmap, kNothing, kEncoded };

struct EncodedFile {
  std::unique_ptr<BYTE[]> bytes;
  UINT length = 0;
};

// The stream's whole content, or nothing when it cannot be read back in
// full: a partial buffer would be written over the user's file.
EncodedFile ReadBackStream(IStream* stream) {
  STATSTG stat = {};
  if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return {};
  // An empty or 4 GiB file is no PNG the caller could use.
  if (stat.cbSize.QuadPart == 0 || stat.cbSize.QuadPart > UINT32_MAX) return {};
  EncodedFile file;
  file.length = static_cast<UINT>(stat.cbSize.QuadPart);
  file.bytes = std::make_unique_for_overwrite<BYTE[]>(file.length);

  LARGE_INTEGER start = {};
  ULONG read = 0;
  if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) ||
      FAILED(stream->Read(file.bytes.get(), file.length, &read)) || read != file.length) {
    return {};
  }
  return file;
}

// One record of the walk: rebuild, save into a new stream, read it back.
RecordOutcome EncodeWithRecord(HBITMAP handle, const CLSID& encoder, EncodedFile* out) {
  // Declared first, so the bitmap below is deleted before the stream is released.
  StreamReference stream;
  std::unique_ptr<Gdiplus::Bitmap> bitmap = CreatePargbBitmapFromHBitmap(handle);
  if (bitmap == nullptr) return RecordOutcome::kNoBitmap;

  IStream* created = nullptr;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &created)) || created == nullptr) return RecordOutcome::kNothing;
  stream.reset(created);

  if (bitmap->Save(stream.get(), &encoder, nullptr) != Gdiplus::Ok) return RecordOutcome::kNothing;
  EncodedFile file = ReadBackStream(stream.get());
  if (file.bytes == nullptr) return RecordOutcome::kNothing;
  *out = std::move(file);
  return RecordOutcome::kEncoded;
}

}  // namespace

std::unique_ptr<BYTE[]> EncodeHBitmapToPng(HBITMAP handle, UINT* length) {
  EnsureGdiplusStarted();

  UINT count = 0;
  UINT list_bytes = 0;
  if (Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &list_bytes) != Gdiplus::Ok) return nullptr;
  // A list too short for its records would be read past its end.
  if (uint64_t(count) * sizeof(Gdiplus::ImageCodecInfo) > list_bytes) return nullptr;
  const auto list = std::make_unique_for_overwrite<BYTE[]>(list_bytes);
  auto* const encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(list.get());
  if (Gdiplus::DllExports::GdipGetImageEncoders(count, list_bytes, encoders) != Gdiplus::Ok) return nullptr;

  std::unique_ptr<BYTE[]> result;
  for (UINT i = 0; i < count; ++i) {
    if (!SameText(encoders[i].MimeType, ImageFormatMimeTypes[kPngMimeTypeIndex])) continue;
    EncodedFile file;
    const RecordOutcome outcome = EncodeWithRecord(handle, encoders[i].Clsid, &file);
    if (outcome == RecordOutcome::kNoBitmap) break;
    if (outcome == RecordOutcome::kEncoded) {
      result = std::move(file.bytes);
      if (length != nullptr) *length = file.length;
    }
  }
  return result;
}
