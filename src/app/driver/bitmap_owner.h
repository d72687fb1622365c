#pragma once

#include <memory>
#include <type_traits>

#include "platform/windows_api.h"

struct BitmapDeleter {
  void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};

// Sole owner of a GDI bitmap: deletes it when the file is done, also when an
// exception passes.
using BitmapOwner = std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDeleter>;
