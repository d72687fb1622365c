#include "text/display_name.h"

WideString DisplayNameOf(const Path& path) {
  const Path::size_type separator = path.rfind(WCHAR{0x5C});
  if (separator == Path::npos) return path;
  return path.substr(separator + 1);
}
