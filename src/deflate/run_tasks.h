// Work of one segment spread over the caller's runner.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>

#include "deflate/deflate.h"

namespace repng::deflate {

// A task that the runner left unrun.
struct RunnerFailure : std::exception {
  const char* what() const noexcept override { return "parallel runner left a task unrun"; }
};

// task(0) .. task(count - 1) through the runner, when there is one and more
// than one task, else one after another. The first exception a task throws
// is thrown here once all have returned; RunnerFailure when one never ran.
void RunTasks(const ParallelRunner& runner, size_t count, const std::function<void(size_t)>& task);

}  // namespace repng::deflate
