#include "fake_imaging.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <string_view>

#include "gdiplus/dib_reader.h"
#include "imaging/imaging.h"
#include "platform/posix/gdi/gdi_test_hooks.h"

namespace {

// Each bitmap with the content of the file it was loaded from.
std::map<HBITMAP, std::string> g_pictures;

}  // namespace

HBITMAP LoadImageToHBitmap(const BYTE* data, UINT size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  if (content.starts_with("REMOVE ")) std::remove(content.substr(7).c_str());
  if (!content.starts_with("IMG ") && !content.starts_with("REMOVE ") && !content.starts_with("SAVE-OVER ") &&
      content != "THROW-ENCODE")
    return nullptr;
  const HBITMAP bitmap = repng::test::MakeDibSection(1, 1, {0});
  // After the first bitmap, so the check runs while the stand-in still exists.
  static const int registered = std::atexit([] {
    const std::size_t left = repng::posix::testing::LiveGdiObjectCount();
    if (left > 0) std::printf("%zu bitmaps never deleted\n", left);
  });
  (void)registered;
  g_pictures[bitmap] = content;
  return bitmap;
}

std::unique_ptr<BYTE[]> EncodeHBitmapToPng(HBITMAP handle, UINT* length) {
  if (GetObjectType(handle) != OBJ_BITMAP) return nullptr;
  const std::string& content = g_pictures.at(handle);
  if (content.starts_with("SAVE-OVER ")) {
    std::ofstream(content.substr(10), std::ios::binary | std::ios::trunc) << repng::testing::kOtherProgramsSave;
  } else if (!content.starts_with("IMG ")) {
    throw std::bad_alloc();
  }
  const std::size_t png_bytes = content.starts_with("IMG ") ? std::stoul(content.substr(4, 12)) : 1;
  if (png_bytes == 0) return nullptr;
  const std::string png = repng::testing::FakePicture(png_bytes, png_bytes);
  auto bytes = std::make_unique<BYTE[]>(png_bytes);
  std::memcpy(bytes.get(), png.data(), png_bytes);
  *length = static_cast<UINT>(png_bytes);
  return bytes;
}
