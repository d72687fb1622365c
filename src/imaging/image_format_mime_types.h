// The MIME types of the image formats the program knows by name.
#pragma once

#include <cstddef>

#include "platform/windows_api.h"

inline constexpr const WCHAR* ImageFormatMimeTypes[] = {
    TEXT("image/bmp"),
    TEXT("image/jpeg"),
    TEXT("image/png"),
    TEXT("image/gif"),
};

// Files are always re-encoded as PNG.
inline constexpr size_t kPngMimeTypeIndex = 2;
