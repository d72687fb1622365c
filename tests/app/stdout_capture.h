// Everything written to file descriptor 1 while an object lives.
#pragma once

#include <cstdio>
#include <string>

namespace repng::testing {

class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  // Stops capturing (once) and returns the bytes.
  std::string Finish();

 private:
  std::FILE* sink_ = nullptr;
  int saved_fd_ = -1;
  std::string captured_;
};

}  // namespace repng::testing
