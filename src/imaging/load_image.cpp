// Decoding file bytes into a GDI bitmap through the imaging library.
#include <cstring>
#include <memory>

#include "imaging/gdiplus_startup.h"
#include "imaging/imaging.h"
#include "platform/gdiplus/gdiplus.h"

namespace {

struct GlobalBlockFree {
  void operator()(void* block) const { GlobalFree(block); }
};
using GlobalBlock = std::unique_ptr<void, GlobalBlockFree>;

struct StreamRelease {
  void operator()(IStream* stream) const { stream->Release(); }
};
using StreamReference = std::unique_ptr<IStream, StreamRelease>;

}  // namespace

HBITMAP LoadImageToHBitmap(const BYTE* data, UINT size) {
  EnsureGdiplusStarted();
  if (data == nullptr && size > 0) return nullptr;

  // The platform gets a copy; the caller's buffer stays the caller's.
  GlobalBlock block(GlobalAlloc(GMEM_FIXED, size));
  if (block == nullptr) return nullptr;
  if (size > 0) std::memcpy(block.get(), data, size);

  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(block.get(), FALSE, &stream)) || stream == nullptr) return nullptr;

  // Released however the bitmap's construction ends, out of memory included.
  StreamReference stream_reference(stream);

  // Declared after the block, so the bitmap is deleted before the block is freed.
  std::unique_ptr<Gdiplus::Bitmap> bitmap(new Gdiplus::Bitmap(stream, FALSE));
  stream_reference.reset();
  if (bitmap == nullptr) return nullptr;

  HBITMAP handle = nullptr;
  if (bitmap->GetLastStatus() == Gdiplus::Ok) {
    if (bitmap->GetHBITMAP(Gdiplus::Color(0), &handle) != Gdiplus::Ok) handle = nullptr;
  }
  return handle;
}
