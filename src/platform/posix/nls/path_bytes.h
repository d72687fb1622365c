// Lossless passage between the byte strings of POSIX file names and the
// UTF-16 paths of the program. Valid UTF-8 decodes as such; every byte that
// is not part of valid UTF-8 becomes the lone surrogate U+DC00 + byte
// (U+DC80..U+DCFF), and turns back into that byte on the way out.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace repng::posix {

std::u16string PathBytesToUtf16(std::string_view bytes);

// The file name bytes, or nothing when the text has no byte form: a zero unit
// (it would cut the name short) or a lone surrogate outside U+DC80..U+DCFF.
std::optional<std::string> Utf16ToPathBytes(std::u16string_view text);

}  // namespace repng::posix
