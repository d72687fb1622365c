#include "fake_imaging.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <map>
#include <new>
#include <string_view>

#include "imaging/imaging.h"

namespace repng::testing {
namespace {

enum class Encoding { kPngOfSize, kNothing, kThrow, kFault };

struct FakeBitmap {
  Encoding encoding = Encoding::kNothing;
  std::size_t png_bytes = 0;
};

std::map<HBITMAP, FakeBitmap>& LiveBitmaps() {
  static std::map<HBITMAP, FakeBitmap> bitmaps;
  return bitmaps;
}

int g_encode_calls = 0;

HBITMAP NewBitmap(FakeBitmap fake) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 1;
  info.bmiHeader.biHeight = 1;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap != nullptr) LiveBitmaps()[bitmap] = fake;
  return bitmap;
}

std::string PngFormOfSize(std::size_t bytes) {
  std::string png = "IMG " + std::to_string(bytes);
  png.resize(bytes, '.');
  return png;
}

}  // namespace

std::string FakePicture(std::size_t png_bytes, std::size_t file_bytes) {
  std::string content = "IMG " + std::to_string(png_bytes) + " ";
  content.resize(file_bytes, '.');
  return content;
}

int FakeEncodeCallCount() { return g_encode_calls; }

}  // namespace repng::testing

using repng::testing::Encoding;

HBITMAP LoadImageToHBitmap(const BYTE* data, UINT size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  if (content.starts_with("IMG ")) {
    const std::size_t png_bytes = std::stoul(std::string(content.substr(4, 12)));
    return repng::testing::NewBitmap({Encoding::kPngOfSize, png_bytes});
  }
  if (content.starts_with("REMOVE ")) {
    std::remove(std::string(content.substr(7)).c_str());
    return repng::testing::NewBitmap({Encoding::kPngOfSize, 1});
  }
  if (content == "NOPNG") return repng::testing::NewBitmap({Encoding::kNothing, 0});
  if (content == "THROW-DECODE") throw std::bad_alloc();
  if (content == "THROW-ENCODE") return repng::testing::NewBitmap({Encoding::kThrow, 0});
  if (content == "FAULT-ENCODE") return repng::testing::NewBitmap({Encoding::kFault, 0});
  return nullptr;
}

std::unique_ptr<BYTE[]> EncodeHBitmapToPng(HBITMAP handle, UINT* length) {
  ++repng::testing::g_encode_calls;
  const auto found = repng::testing::LiveBitmaps().find(handle);
  if (found == repng::testing::LiveBitmaps().end() || GetObjectType(handle) != OBJ_BITMAP) return nullptr;
  switch (found->second.encoding) {
    case Encoding::kNothing:
      return nullptr;
    case Encoding::kThrow:
      throw std::bad_alloc();
    case Encoding::kFault:
      std::raise(SIGSEGV);
      return nullptr;
    case Encoding::kPngOfSize:
      break;
  }
  const std::string png = repng::testing::PngFormOfSize(found->second.png_bytes);
  auto bytes = std::make_unique<BYTE[]>(png.size());
  std::copy(png.begin(), png.end(), bytes.get());
  if (length != nullptr) *length = static_cast<UINT>(png.size());
  return bytes;
}
