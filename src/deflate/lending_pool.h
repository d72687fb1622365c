// Objects lent to the tasks of one compression and given back when a lease
// ends. As many exist as are borrowed at once, and each keeps what it has
// allocated between loans: a segment's parser and match cache hold several
// bytes for every byte they cover, which made afresh for every task were
// mapped, faulted in and zeroed by the kernel each time.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace repng::deflate {

template <typename T>
class LendingPool {
 public:
  // An object of the pool's, the borrower's alone until the lease ends.
  class Lease {
   public:
    Lease(Lease&& other) noexcept = default;
    Lease& operator=(Lease&&) = delete;
    ~Lease() {
      if (item_) pool_->GiveBack(std::move(item_));
    }
    T& operator*() const { return *item_; }
    T* operator->() const { return item_.get(); }

   private:
    friend class LendingPool;
    Lease(LendingPool* pool, std::unique_ptr<T> item) : pool_(pool), item_(std::move(item)) {}
    LendingPool* pool_;
    std::unique_ptr<T> item_;
  };

  // An object no lease holds, made when every one is lent. Throws
  // std::bad_alloc.
  Lease Borrow() {
    const std::lock_guard<std::mutex> hold(lock_);
    if (idle_.empty()) {
      idle_.reserve(made_ + 1);
      auto item = std::make_unique<T>();
      ++made_;
      return Lease(this, std::move(item));
    }
    std::unique_ptr<T> item = std::move(idle_.back());
    idle_.pop_back();
    return Lease(this, std::move(item));
  }

 private:
  void GiveBack(std::unique_ptr<T> item) noexcept {
    const std::lock_guard<std::mutex> hold(lock_);
    idle_.push_back(std::move(item));  // never allocates: Borrow made room
  }

  std::mutex lock_;
  std::vector<std::unique_ptr<T>> idle_;
  size_t made_ = 0;
};

}  // namespace repng::deflate
