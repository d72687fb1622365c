// The program's string types.
#pragma once

#include <string>

#include "platform/windows_api.h"

// UTF-16 text, code unit for code unit as the platform hands it over.
using WideString = std::basic_string<WCHAR>;

// A path exactly as received in the argument vector; never normalised.
using Path = WideString;

// Bytes without an encoding tag: code page 936 literals and ANSI names.
using NarrowText = std::string;
