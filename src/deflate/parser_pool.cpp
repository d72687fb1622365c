#include "deflate/parser_pool.h"

namespace repng::deflate {

ParserPool::Lease::~Lease() {
  if (!parser_) return;
  const std::lock_guard<std::mutex> hold(pool_->lock_);
  pool_->idle_.push_back(std::move(parser_));
}

ParserPool::Lease ParserPool::Borrow() {
  const std::lock_guard<std::mutex> hold(lock_);
  if (idle_.empty()) {
    idle_.reserve(made_ + 1);
    auto parser = std::make_unique<OptimalParser>(vectors_);
    ++made_;
    return Lease(this, std::move(parser));
  }
  std::unique_ptr<OptimalParser> parser = std::move(idle_.back());
  idle_.pop_back();
  return Lease(this, std::move(parser));
}

}  // namespace repng::deflate
