#include "fake_imaging.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <string_view>

#include "imaging/imaging.h"
#include "platform/posix/gdi/gdi_test_hooks.h"

namespace {

struct FakeBitmap {
  std::size_t png_bytes = 0;
  bool encoding_throws = false;
  std::string saved_over;  // a file another program saves over meanwhile
};
std::map<HBITMAP, FakeBitmap> g_bitmaps;

HBITMAP NewBitmap(FakeBitmap fake) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, 1, 1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  // After the first bitmap, so the check runs while the stand-in still exists.
  static const int registered = std::atexit([] {
    const std::size_t left = repng::posix::testing::LiveGdiObjectCount();
    if (left > 0) std::printf("%zu bitmaps never deleted\n", left);
  });
  (void)registered;
  g_bitmaps[bitmap] = std::move(fake);
  return bitmap;
}

}  // namespace

HBITMAP LoadImageToHBitmap(const BYTE* data, UINT size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  if (content.starts_with("IMG ")) return NewBitmap({.png_bytes = std::stoul(std::string(content.substr(4, 12)))});
  if (content.starts_with("REMOVE ")) std::remove(std::string(content.substr(7)).c_str());
  if (content.starts_with("REMOVE ") || content == "THROW-ENCODE") return NewBitmap({.encoding_throws = true});
  if (content.starts_with("SAVE-OVER ")) return NewBitmap({.png_bytes = 1, .saved_over = std::string(content.substr(10))});
  return nullptr;
}

std::unique_ptr<BYTE[]> EncodeHBitmapToPng(HBITMAP handle, UINT* length) {
  if (GetObjectType(handle) != OBJ_BITMAP) return nullptr;
  const FakeBitmap& fake = g_bitmaps.at(handle);
  if (fake.encoding_throws) throw std::bad_alloc();
  if (fake.png_bytes == 0) return nullptr;
  if (!fake.saved_over.empty()) {
    std::ofstream(fake.saved_over, std::ios::binary | std::ios::trunc) << repng::testing::kOtherProgramsSave;
  }
  std::string png = "IMG " + std::to_string(fake.png_bytes);
  png.resize(fake.png_bytes, '.');
  auto bytes = std::make_unique<BYTE[]>(fake.png_bytes);
  std::memcpy(bytes.get(), png.data(), fake.png_bytes);
  *length = static_cast<UINT>(fake.png_bytes);
  return bytes;
}
