// Standard output in text mode, as a Windows console program has it: every
// "\n" goes out as "\r\n", for printf and std::cout alike.
#pragma once

#include <cstdio>
#include <memory>
#include <streambuf>

namespace repng::posix {

// While it lives, stdout is a stream that converts line feeds on their way
// to file descriptor 1, and std::cout writes through that same stream, so
// both kinds of output keep program order. On destruction everything is
// flushed and the previous stdout and std::cout buffer come back.
class TextModeStdout {
 public:
  TextModeStdout();
  ~TextModeStdout();
  TextModeStdout(const TextModeStdout&) = delete;
  TextModeStdout& operator=(const TextModeStdout&) = delete;

  // False when the converting stream could not be made; output then stays
  // as it was.
  bool IsActive() const { return converting_ != nullptr; }

 private:
  std::FILE* original_stdout_ = nullptr;
  std::FILE* converting_ = nullptr;
  std::unique_ptr<std::streambuf> cout_buffer_;
  std::streambuf* original_cout_buffer_ = nullptr;
};

}  // namespace repng::posix
