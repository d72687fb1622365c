#pragma once

#include "platform/windows_api.h"
#include "text/text_types.h"

// UTF-16 text in the given code page. Characters the code page lacks come out
// as its default character; a conversion the platform refuses gives the empty
// string. Names up to 510 narrow bytes need no heap buffer.
NarrowText WideToNarrow(const WideString& text, UINT code_page);
