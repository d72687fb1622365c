// Our imaging library under the GDI+ names: types, flat operations and
// wrapper classes. Include after (or instead of) platform/windows_api.h.
#pragma once

#include "platform/gdiplus/gdiplus_flat.h"
#include "platform/gdiplus/gdiplus_types.h"
#include "platform/gdiplus/gdiplus_wrappers.h"
