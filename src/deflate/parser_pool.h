// Shortest-path parsers lent to the tasks of one compression. A parser's
// working arrays hold two words per byte of what it parses (32 MiB for the
// largest segment); made afresh for every block, they were mapped, faulted
// in and zeroed by the kernel each time. Lent instead, as many exist as
// parses run at once, and each is touched once.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "deflate/parser.h"

namespace repng::deflate {

class ParserPool {
 public:
  // A parser of the pool's, the borrower's alone until the lease ends.
  class Lease {
   public:
    Lease(Lease&& other) noexcept : pool_(other.pool_), parser_(std::move(other.parser_)) {}
    Lease& operator=(Lease&&) = delete;
    ~Lease();
    OptimalParser& operator*() const { return *parser_; }

   private:
    friend class ParserPool;
    Lease(ParserPool* pool, std::unique_ptr<OptimalParser> parser) : pool_(pool), parser_(std::move(parser)) {}
    ParserPool* pool_;
    std::unique_ptr<OptimalParser> parser_;
  };

  explicit ParserPool(OptimalParser::Vectors vectors = OptimalParser::Vectors::kWidest) : vectors_(vectors) {}

  // A parser no lease holds, made when every one is lent. Throws
  // std::bad_alloc.
  Lease Borrow();

 private:
  OptimalParser::Vectors vectors_;
  std::mutex lock_;
  // Room for every parser made, so that a lease's return never allocates.
  std::vector<std::unique_ptr<OptimalParser>> idle_;
  size_t made_ = 0;
};

}  // namespace repng::deflate
