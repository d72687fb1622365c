#pragma once

#include <list>

#include "platform/windows_api.h"
#include "text/text_types.h"

// Arguments 1 to count-1 as owned paths, sorted stably by ordinal UTF-16
// comparison: unit by unit as unsigned numbers, a prefix before the longer
// path, no case folding and no locale. Duplicates stay.
std::list<Path> BuildSortedPathList(int argument_count, WCHAR* arguments[]);
