// Image recompression as the batch driver sees it.
#pragma once

#include <memory>

#include "platform/windows_api.h"

// Decodes `size` bytes into a new GDI bitmap over a fully transparent
// background; null when the bytes are not a picture the program can keep
// whole. The caller deletes the handle with DeleteObject.
HBITMAP LoadImageToHBitmap(const BYTE* data, UINT size);

// The bitmap as the bytes of a PNG file, or null. When a buffer is returned
// and `length` is not null, *length holds its size; otherwise *length is not
// written.
std::unique_ptr<BYTE[]> EncodeHBitmapToPng(HBITMAP handle, UINT* length);
