#include "app/driver/path_list.h"

namespace {

bool OrdinalLess(const Path& left, const Path& right) {
  // The standard traits compare WCHAR units as unsigned values and put a
  // prefix first: exactly the ordinal order.
  return left.compare(right) < 0;
}

}  // namespace

std::list<Path> BuildSortedPathList(int argument_count, WCHAR* arguments[]) {
  std::list<Path> paths;
  for (int i = 1; i < argument_count; ++i) paths.emplace_back(arguments[i]);
  paths.sort(OrdinalLess);  // list::sort is stable
  return paths;
}
