#include "stdout_capture.h"

#include <unistd.h>

#include <iostream>

namespace repng::testing {

StdoutCapture::StdoutCapture() : sink_(std::tmpfile()) {
  std::cout.flush();
  std::fflush(stdout);
  if (sink_ == nullptr) return;
  saved_fd_ = dup(STDOUT_FILENO);
  dup2(fileno(sink_), STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture() { Finish(); }

std::string StdoutCapture::Finish() {
  if (sink_ == nullptr) return captured_;
  std::cout.flush();
  std::fflush(stdout);
  dup2(saved_fd_, STDOUT_FILENO);
  close(saved_fd_);
  std::rewind(sink_);
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, sink_)) > 0) captured_.append(chunk, got);
  std::fclose(sink_);
  sink_ = nullptr;
  return captured_;
}

}  // namespace repng::testing
