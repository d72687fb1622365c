// hold_file <path> <marker> none|read: opens <path> to write, sharing it
// with nobody, or to read, sharing it with readers only; creates <marker> to
// say so, and holds the file until <marker> is deleted (or a minute has
// passed). Exit status 0 when it held the file.
#include <windows.h>

#include <cwchar>

namespace {

constexpr DWORD kPollMilliseconds = 20;
constexpr DWORD kMaxHoldMilliseconds = 60 * 1000;

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
  if (argc != 4) return 2;
  // A reader that shares with readers, or a writer that shares with nobody.
  const bool share_reading = std::wcscmp(argv[3], L"read") == 0;
  const HANDLE held = CreateFileW(argv[1], share_reading ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                                  share_reading ? FILE_SHARE_READ : 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 1;
  const HANDLE marker = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker == INVALID_HANDLE_VALUE) {
    CloseHandle(held);
    return 1;
  }
  CloseHandle(marker);
  for (DWORD waited = 0; waited < kMaxHoldMilliseconds; waited += kPollMilliseconds) {
    if (GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES) break;
    Sleep(kPollMilliseconds);
  }
  CloseHandle(held);
  return 0;
}
