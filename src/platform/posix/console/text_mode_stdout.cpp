#include "platform/posix/console/text_mode_stdout.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

namespace repng::posix {
namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// The cookie stream's write: the bytes with each "\n" widened to "\r\n".
ssize_t WriteWithCrlf(void* /*cookie*/, const char* data, std::size_t size) {
  char converted[4096];
  std::size_t used = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (used + 2 > sizeof converted) {
      if (!WriteAll(STDOUT_FILENO, converted, used)) return 0;
      used = 0;
    }
    if (data[i] == '\n') converted[used++] = '\r';
    converted[used++] = data[i];
  }
  if (!WriteAll(STDOUT_FILENO, converted, used)) return 0;
  return static_cast<ssize_t>(size);
}

// Unbuffered: each character goes straight into the FILE, whose own buffer
// then orders it with printf output.
class StdioStreambuf : public std::streambuf {
 public:
  explicit StdioStreambuf(std::FILE* file) : file_(file) {}

 protected:
  int_type overflow(int_type character) override {
    if (traits_type::eq_int_type(character, traits_type::eof())) return traits_type::not_eof(character);
    return std::fputc(character, file_) == EOF ? traits_type::eof() : character;
  }
  std::streamsize xsputn(const char* data, std::streamsize count) override {
    return static_cast<std::streamsize>(std::fwrite(data, 1, static_cast<std::size_t>(count), file_));
  }
  int sync() override { return std::fflush(file_) == 0 ? 0 : -1; }

 private:
  std::FILE* file_;
};

}  // namespace

TextModeStdout::TextModeStdout() {
  cookie_io_functions_t functions{};
  functions.write = WriteWithCrlf;
  std::fflush(stdout);
  converting_ = fopencookie(nullptr, "w", functions);
  if (converting_ == nullptr) return;
  // Each line goes out as it is finished, to a pipe too: the desktop
  // launcher's converter shows it at once, not at the end of the batch.
  std::setvbuf(converting_, nullptr, _IOLBF, BUFSIZ);
  cout_buffer_ = std::make_unique<StdioStreambuf>(converting_);
  original_stdout_ = stdout;
  stdout = converting_;
  original_cout_buffer_ = std::cout.rdbuf(cout_buffer_.get());
}

TextModeStdout::~TextModeStdout() {
  if (converting_ == nullptr) return;
  std::cout.flush();
  std::cout.rdbuf(original_cout_buffer_);
  stdout = original_stdout_;
  std::fclose(converting_);
}

}  // namespace repng::posix
