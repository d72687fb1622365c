#include "deflate/run_tasks.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace repng::deflate {

void RunTasks(const ParallelRunner& runner, size_t count, const std::function<void(size_t)>& task) {
  if (!runner || count < 2) {
    for (size_t index = 0; index < count; ++index) task(index);
    return;
  }
  std::vector<char> done(count, 0);
  std::exception_ptr failure;
  std::mutex failure_lock;
  runner(count, [&](size_t index) {
    try {
      task(index);
      done[index] = 1;
    } catch (...) {
      const std::lock_guard<std::mutex> hold(failure_lock);
      if (!failure) failure = std::current_exception();
    }
  });
  if (failure) std::rethrow_exception(failure);
  if (std::find(done.begin(), done.end(), 0) != done.end()) throw RunnerFailure();
}

}  // namespace repng::deflate
