// The GDI+ types, constants and records, with the SDK's names, values and
// field layouts.
#pragma once

#include "platform/windows_api.h"

// The SDK's own GDI+ headers define these; windows.h does not.
#ifndef WINGDIPAPI
#define WINGDIPAPI WINAPI
#endif
#ifndef GDIPCONST
#define GDIPCONST const
#endif
#ifdef _WIN32
typedef DWORD ARGB;
#endif

namespace Gdiplus {

enum Status {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  ObjectBusy = 4,
  InsufficientBuffer = 5,
  NotImplemented = 6,
  Win32Error = 7,
  WrongState = 8,
  Aborted = 9,
  FileNotFound = 10,
  ValueOverflow = 11,
  AccessDenied = 12,
  UnknownImageFormat = 13,
  FontFamilyNotFound = 14,
  FontStyleNotFound = 15,
  NotTrueTypeFont = 16,
  UnsupportedGdiplusVersion = 17,
  GdiplusNotInitialized = 18,
  PropertyNotFound = 19,
  PropertyNotSupported = 20,
  ProfileNotFound = 21
};

// Native objects; only the library knows what is behind them.
class GpImage {};
class GpBitmap : public GpImage {};

typedef INT PixelFormat;

}  // namespace Gdiplus

// Pixel formats are macros in the SDK, usable without the namespace.
#define PixelFormatIndexed 0x00010000
#define PixelFormatGDI 0x00020000
#define PixelFormatAlpha 0x00040000
#define PixelFormatPAlpha 0x00080000
#define PixelFormatExtended 0x00100000
#define PixelFormatCanonical 0x00200000
#define PixelFormatUndefined 0
#define PixelFormat32bppRGB (9 | (32 << 8) | PixelFormatGDI)
#define PixelFormat32bppARGB (10 | (32 << 8) | PixelFormatAlpha | PixelFormatGDI | PixelFormatCanonical)
#define PixelFormat32bppPARGB (11 | (32 << 8) | PixelFormatAlpha | PixelFormatPAlpha | PixelFormatGDI)

namespace Gdiplus {

enum ImageLockMode { ImageLockModeRead = 0x0001, ImageLockModeWrite = 0x0002, ImageLockModeUserInputBuf = 0x0004 };

class Rect {
 public:
  Rect() : X(0), Y(0), Width(0), Height(0) {}
  Rect(INT x, INT y, INT width, INT height) : X(x), Y(y), Width(width), Height(height) {}
  INT X;
  INT Y;
  INT Width;
  INT Height;
};
typedef Rect GpRect;

class BitmapData {
 public:
  UINT Width;
  UINT Height;
  INT Stride;
  Gdiplus::PixelFormat PixelFormat;
  VOID* Scan0;
  UINT_PTR Reserved;
};

class Color {
 public:
  Color() : Argb(0xFF000000) {}
  Color(ARGB argb) : Argb(argb) {}  // NOLINT: converts like the SDK's
  ARGB GetValue() const { return Argb; }

 protected:
  ARGB Argb;
};

enum ImageCodecFlags {
  ImageCodecFlagsEncoder = 0x00000001,
  ImageCodecFlagsDecoder = 0x00000002,
  ImageCodecFlagsSupportBitmap = 0x00000004,
  ImageCodecFlagsSupportVector = 0x00000008,
  ImageCodecFlagsSeekableEncode = 0x00000010,
  ImageCodecFlagsBlockingDecode = 0x00000020,
  ImageCodecFlagsBuiltin = 0x00010000,
  ImageCodecFlagsSystem = 0x00020000,
  ImageCodecFlagsUser = 0x00040000
};

class ImageCodecInfo {
 public:
  CLSID Clsid;
  GUID FormatID;
  const WCHAR* CodecName;
  const WCHAR* DllName;
  const WCHAR* FormatDescription;
  const WCHAR* FilenameExtension;
  const WCHAR* MimeType;
  DWORD Flags;
  DWORD Version;
  DWORD SigCount;
  DWORD SigSize;
  const BYTE* SigPattern;
  const BYTE* SigMask;
};

class EncoderParameter {
 public:
  GUID Guid;
  ULONG NumberOfValues;
  ULONG Type;
  VOID* Value;
};

class EncoderParameters {
 public:
  UINT Count;
  EncoderParameter Parameter[1];
};

enum DebugEventLevel { DebugEventLevelFatal, DebugEventLevelWarning };
typedef VOID(WINAPI* DebugEventProc)(DebugEventLevel level, CHAR* message);
typedef Status(WINAPI* NotificationHookProc)(ULONG_PTR* token);
typedef VOID(WINAPI* NotificationUnhookProc)(ULONG_PTR token);

struct GdiplusStartupInput {
  UINT GdiplusVersion;
  DebugEventProc DebugEventCallback;
  BOOL SuppressBackgroundThread;
  BOOL SuppressExternalCodecs;

  GdiplusStartupInput(DebugEventProc debugEventCallback = nullptr, BOOL suppressBackgroundThread = FALSE,
                      BOOL suppressExternalCodecs = FALSE)
      : GdiplusVersion(1),
        DebugEventCallback(debugEventCallback),
        SuppressBackgroundThread(suppressBackgroundThread),
        SuppressExternalCodecs(suppressExternalCodecs) {}
};

struct GdiplusStartupOutput {
  NotificationHookProc NotificationHook;
  NotificationUnhookProc NotificationUnhook;
};

}  // namespace Gdiplus
