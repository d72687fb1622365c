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

constexpr std::size_t kThrows = static_cast<std::size_t>(-1);

// The PNG size each live bitmap stands for.
std::map<HBITMAP, std::size_t> g_png_bytes;
// Files that "another program" saves over while a bitmap is encoded.
std::map<HBITMAP, std::string> g_saved_over;

void ReportBitmapsLeftAtExit() {
  if (const std::size_t left = repng::posix::testing::LiveGdiObjectCount(); left > 0) {
    std::printf("%zu bitmaps never deleted\n", left);
  }
}

HBITMAP NewBitmap(std::size_t png_bytes) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, 1, 1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  // After the first bitmap, so the check runs while the stand-in still exists.
  static const int registered = std::atexit(ReportBitmapsLeftAtExit);
  (void)registered;
  g_png_bytes[bitmap] = png_bytes;
  return bitmap;
}

}  // namespace

HBITMAP LoadImageToHBitmap(const BYTE* data, UINT size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  if (content.starts_with("IMG ")) return NewBitmap(std::stoul(std::string(content.substr(4, 12))));
  if (content.starts_with("REMOVE ")) {
    std::remove(std::string(content.substr(7)).c_str());
    return NewBitmap(kThrows);
  }
  if (content == "THROW-ENCODE") return NewBitmap(kThrows);
  if (content.starts_with("SAVE-OVER ")) {
    HBITMAP bitmap = NewBitmap(1);
    g_saved_over[bitmap] = std::string(content.substr(10));
    return bitmap;
  }
  return nullptr;
}

std::unique_ptr<BYTE[]> EncodeHBitmapToPng(HBITMAP handle, UINT* length) {
  if (GetObjectType(handle) != OBJ_BITMAP) return nullptr;
  const std::size_t png_bytes = g_png_bytes.at(handle);
  if (png_bytes == kThrows) throw std::bad_alloc();
  if (png_bytes == 0) return nullptr;
  if (const auto saved = g_saved_over.find(handle); saved != g_saved_over.end()) {
    std::ofstream(saved->second, std::ios::binary | std::ios::trunc) << repng::testing::kOtherProgramsSave;
    g_saved_over.erase(saved);
  }
  std::string png = "IMG " + std::to_string(png_bytes);
  png.resize(png_bytes, '.');
  auto bytes = std::make_unique<BYTE[]>(png_bytes);
  std::memcpy(bytes.get(), png.data(), png_bytes);
  *length = static_cast<UINT>(png_bytes);
  return bytes;
}
