#include "safety/large_pictures.h"

#include <zlib.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

namespace repng::safety {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File Create(const std::string& path) {
  File file(std::fopen(path.c_str(), "wb"));
  if (!file) throw std::runtime_error("cannot create " + path);
  return file;
}

void Put(std::FILE* file, const void* data, size_t size) {
  if (size > 0 && std::fwrite(data, 1, size, file) != size) throw std::runtime_error("write failed");
}

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutBe32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Bands of colour with a gentle ramp: compresses well in every format.
void FillRow(uint8_t* rgb, uint32_t width, uint32_t y) {
  for (uint32_t x = 0; x < width; ++x) {
    rgb[3 * x] = static_cast<uint8_t>(x / 64);
    rgb[3 * x + 1] = static_cast<uint8_t>(y / 64);
    rgb[3 * x + 2] = static_cast<uint8_t>((x / 256 + y / 256) * 16);
  }
}

void PutChunk(std::FILE* file, const char* type, const uint8_t* data, uint32_t size) {
  std::vector<uint8_t> head;
  PutBe32(head, size);
  head.insert(head.end(), type, type + 4);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  // A null buffer would restart the CRC.
  if (size > 0) crc = crc32(crc, data, size);
  Put(file, head.data(), head.size());
  Put(file, data, size);
  std::vector<uint8_t> tail;
  PutBe32(tail, static_cast<uint32_t>(crc));
  Put(file, tail.data(), tail.size());
}

}  // namespace

void WriteLargeBmp(const std::string& path, uint32_t width, uint32_t height) {
  const uint32_t stride = (width * 3 + 3) / 4 * 4;
  std::vector<uint8_t> header;
  header.push_back('B');
  header.push_back('M');
  PutLe(header, 54 + stride * height, 4);
  PutLe(header, 0, 4);
  PutLe(header, 54, 4);
  PutLe(header, 40, 4);
  PutLe(header, width, 4);
  PutLe(header, height, 4);
  PutLe(header, 1, 2);
  PutLe(header, 24, 2);
  for (int i = 0; i < 6; ++i) PutLe(header, 0, 4);
  const File file = Create(path);
  Put(file.get(), header.data(), header.size());
  std::vector<uint8_t> row(stride, 0);
  for (uint32_t y = 0; y < height; ++y) {
    FillRow(row.data(), width, y);
    Put(file.get(), row.data(), row.size());
  }
}

void WriteLargePng(const std::string& path, uint32_t width, uint32_t height) {
  const File file = Create(path);
  Put(file.get(), "\x89PNG\r\n\x1A\n", 8);
  std::vector<uint8_t> header;
  PutBe32(header, width);
  PutBe32(header, height);
  header.insert(header.end(), {8, 2, 0, 0, 0});
  PutChunk(file.get(), "IHDR", header.data(), static_cast<uint32_t>(header.size()));

  z_stream stream{};
  if (deflateInit(&stream, 1) != Z_OK) throw std::runtime_error("deflateInit failed");
  std::vector<uint8_t> row(1 + size_t{width} * 3);
  std::vector<uint8_t> out(1 << 20);
  for (uint32_t y = 0; y <= height; ++y) {
    const bool last = y == height;
    if (!last) {
      row[0] = 0;
      FillRow(row.data() + 1, width, y);
    }
    stream.next_in = row.data();
    stream.avail_in = last ? 0 : static_cast<uInt>(row.size());
    int result = Z_OK;
    do {
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      const auto produced = static_cast<uint32_t>(out.size() - stream.avail_out);
      if (produced > 0) PutChunk(file.get(), "IDAT", out.data(), produced);
    } while (stream.avail_out == 0 || (last && result != Z_STREAM_END));
  }
  deflateEnd(&stream);
  PutChunk(file.get(), "IEND", nullptr, 0);
}

}  // namespace repng::safety
