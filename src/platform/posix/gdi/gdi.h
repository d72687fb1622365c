// GDI bitmaps and memory device contexts. Handles are entries of a table,
// never addresses: every call looks its handle up first, so an unknown or
// deleted handle fails and no memory is touched.
#pragma once

#include "platform/posix/win32_types.h"

#define BI_RGB 0L
#define DIB_RGB_COLORS 0
#define OBJ_BITMAP 7
#define OBJ_MEMDC 10
#define OBJ_DC 3

typedef struct tagBITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
} BITMAP;

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER;

typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO;
typedef BITMAPINFO* LPBITMAPINFO;

// Only 32-bit BI_RGB sections with DIB_RGB_COLORS and no file mapping; a
// negative height makes the rows top-down. The bits start zeroed.
HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                                HANDLE hSection, DWORD offset);

// For a bitmap: fills a BITMAP (cbBuffer must hold one) and returns its size;
// with a null buffer returns the size needed. 0 on failure.
int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv);

// Copies rows of a bitmap as 32-bit BI_RGB pixels: biHeight negative asks
// for the rows top-down, positive bottom-up, and its magnitude and biWidth
// must be the bitmap's. Returns the number of rows copied, 0 on failure (a
// null or unknown context or bitmap, or a format it does not serve). With
// null bits it fills in the header and returns the bitmap's height.
int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi,
                     UINT usage);

// Deletes a bitmap. FALSE for anything else.
BOOL WINAPI DeleteObject(HGDIOBJ ho);

// OBJ_BITMAP, OBJ_MEMDC or OBJ_DC; 0 for an unknown handle.
DWORD WINAPI GetObjectType(HGDIOBJ h);

// A memory context compatible with the screen (null or a screen context).
HDC WINAPI CreateCompatibleDC(HDC hdc);
BOOL WINAPI DeleteDC(HDC hdc);
