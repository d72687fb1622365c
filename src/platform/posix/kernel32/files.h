// Win32 file handles, on systems that have no Windows. What the program
// relies on behaves as on Windows: a folder is not a file, share modes hold
// between processes that use these calls, and a file without write
// permission bits is read-only for every user, root included. Paths are
// UTF-16; lone surrogates U+DC80..U+DCFF stand for the raw bytes of names
// that are not UTF-8. A backslash is an ordinary character of a name.
#pragma once

#include "platform/posix/win32_types.h"

// Access rights
#define DELETE 0x00010000L
#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L

// Share modes
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

// Creation dispositions
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

// File attributes
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

// SetFilePointerEx move methods
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

// MoveFileExW flags
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_WRITE_THROUGH 0x00000008

// ReplaceFileW flags
#define REPLACEFILE_WRITE_THROUGH 0x00000001

// GetFinalPathNameByHandleW flags
#define FILE_NAME_NORMALIZED 0x0
#define VOLUME_NAME_DOS 0x0

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  union {
    struct {
      DWORD Offset;
      DWORD OffsetHigh;
    } s;
    LPVOID Pointer;
  } u;
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

typedef struct _BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;

typedef LARGE_INTEGER* PLARGE_INTEGER;

// Only regular files open; anything else fails with ERROR_ACCESS_DENIED.
// Security attributes are ignored (handles are never inherited), as are
// flags other than the attributes and the template handle. Overlapped I/O
// is not offered: ReadFile and WriteFile fail when given an OVERLAPPED.
// A file created with FILE_ATTRIBUTE_TEMPORARY is for its owner only until
// ReplaceFileW gives it the replaced file's permissions. Created by
// CREATE_NEW with GENERIC_WRITE, it has no name in its folder (O_TMPFILE,
// where the file system has it) while its handle is open: it takes its name
// when ReplaceFileW or MoveFileExW moves it, or when its handle closes,
// unless DeleteFileW was called on the name before. A process killed in
// the meantime leaves nothing behind.
HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI CloseHandle(HANDLE hObject);

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation);
// The absolute name of the file the handle refers to, symbolic links
// resolved. Returns the length without the terminator, or the size needed
// (terminator included) when cchFilePath is too small, or 0 on failure.
DWORD WINAPI GetFinalPathNameByHandleW(HANDLE hFile, LPWSTR lpszFilePath, DWORD cchFilePath, DWORD dwFlags);

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped);
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped);
BOOL WINAPI SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, PLARGE_INTEGER lpNewFilePointer,
                             DWORD dwMoveMethod);
BOOL WINAPI SetEndOfFile(HANDLE hFile);
BOOL WINAPI FlushFileBuffers(HANDLE hFile);

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);
BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
// Puts the replacement in the replaced file's place under the replaced
// file's name, keeping the replaced file's permission bits and, where the
// process may set it, its owner. A backup name is not supported.
BOOL WINAPI ReplaceFileW(LPCWSTR lpReplacedFileName, LPCWSTR lpReplacementFileName, LPCWSTR lpBackupFileName,
                         DWORD dwReplaceFlags, LPVOID lpExclude, LPVOID lpReserved);
