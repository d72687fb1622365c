#pragma once

#include "text/text_types.h"

// The part of a path after its last backslash (the whole path when it has
// none). Only the backslash separates: "/" and ":" are ordinary characters.
WideString DisplayNameOf(const Path& path);
