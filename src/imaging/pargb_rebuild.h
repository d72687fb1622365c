// A GDI bitmap's pixels rebuilt as a 32-bit premultiplied GDI+ bitmap.
#pragma once

#include <memory>

#include "platform/windows_api.h"
#include "platform/gdiplus/gdiplus.h"

// A new PixelFormat32bppPARGB bitmap of the handle's size holding its pixels
// unchanged, or null. The handle is only read.
std::unique_ptr<Gdiplus::Bitmap> CreatePargbBitmapFromHBitmap(HBITMAP handle);

// The handle's pixels as width * height 32-bit values, rows top-down or,
// with bottomUp, bottom-up; null unless every row could be read. Throws
// std::bad_alloc, before any device context is taken, when width * height * 4
// does not fit in 32 bits.
std::unique_ptr<UINT[]> ReadHBitmapBits(HBITMAP handle, LONG width, LONG height, bool bottomUp);
