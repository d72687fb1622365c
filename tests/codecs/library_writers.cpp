#include "codecs/library_writers.h"

#include <cstdio>
#include <jpeglib.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace repng::test {

Bytes MakeJpeg(const JpegSpec& spec) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = spec.width;
  info.image_height = spec.height;
  info.input_components = spec.components;
  info.in_color_space = spec.components == 1 ? JCS_GRAYSCALE : spec.components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 100, TRUE);
  if (spec.progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  if (!spec.exif_tiff.empty()) {
    Bytes app1 = {'E', 'x', 'i', 'f', 0, 0};
    app1.insert(app1.end(), spec.exif_tiff.begin(), spec.exif_tiff.end());
    jpeg_write_marker(&info, JPEG_APP0 + 1, app1.data(), static_cast<unsigned>(app1.size()));
  }
  if (!spec.icc_profile.empty()) {
    jpeg_write_icc_profile(&info, spec.icc_profile.data(), static_cast<unsigned>(spec.icc_profile.size()));
  }
  const size_t stride = static_cast<size_t>(spec.width) * static_cast<size_t>(spec.components);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(spec.samples.data() + info.next_scanline * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

Bytes MakeTiff(const std::vector<TiffPage>& pages) {
  char path[] = "/tmp/repng_codecs_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) throw std::runtime_error("mkstemp");
  close(fd);
  TIFF* tiff = TIFFOpen(path, "w");
  if (tiff == nullptr) throw std::runtime_error("TIFFOpen");
  for (const TiffPage& page : pages) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, page.bits);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, page.samples_per_pixel);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, page.photometric);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, page.compression);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, page.orientation);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 1u);
    if (page.extra_sample >= 0) {
      const uint16_t extra = static_cast<uint16_t>(page.extra_sample);
      TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (!page.colormap.empty()) {
      const size_t n = page.colormap.size() / 3;
      TIFFSetField(tiff, TIFFTAG_COLORMAP, page.colormap.data(), page.colormap.data() + n,
                   page.colormap.data() + 2 * n);
    }
    if (!page.icc_profile.empty()) {
      TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(page.icc_profile.size()),
                   page.icc_profile.data());
    }
    const size_t row_bytes = (static_cast<size_t>(page.width) * page.samples_per_pixel * page.bits + 7) / 8;
    for (uint32_t y = 0; y < page.height; ++y) {
      TIFFWriteScanline(tiff, const_cast<uint8_t*>(page.samples.data() + y * row_bytes), y, 0);
    }
    TIFFWriteDirectory(tiff);
  }
  TIFFClose(tiff);
  std::ifstream in(path, std::ios::binary);
  Bytes out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(path);
  return out;
}

}  // namespace repng::test
