// hold_file <path> <marker> none|read: opens <path> to write, sharing it
// with nobody, or to read, sharing it with readers only; creates <marker> to
// say so, and holds the file until <marker> is deleted (or a minute has
// passed). Exit status 0 when it held the file.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t* argv[]) {
  if (argc != 4) return 2;
  const bool share_reading = std::wcscmp(argv[3], L"read") == 0;
  const HANDLE held = CreateFileW(argv[1], share_reading ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                                  share_reading ? FILE_SHARE_READ : 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  const HANDLE marker = held == INVALID_HANDLE_VALUE ? INVALID_HANDLE_VALUE
                                                     : CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(marker);
  for (int polls = 0; polls < 3000 && GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES; ++polls) Sleep(20);
  // The held file closes with the process.
  return 0;
}
