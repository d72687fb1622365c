// Sole ownership of a Win32 file handle.
#pragma once

#include <utility>

#include "platform/windows_api.h"

class ScopedFileHandle {
 public:
  explicit ScopedFileHandle(HANDLE handle) : handle_(handle) {}
  ScopedFileHandle(ScopedFileHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  ScopedFileHandle(const ScopedFileHandle&) = delete;
  ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;
  ~ScopedFileHandle() { Close(); }

  bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

  // Closes now; false when the system reports the close as failed, which
  // for a written file can mean that its content did not reach the disk.
  bool Close() {
    if (!IsValid()) return true;
    return CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != FALSE;
  }

 private:
  HANDLE handle_;
};
