// Running independent trials on a worker per core (two at most). Callers make
// the outcome independent of which worker ran what and when.
#pragma once

#include <cstddef>
#include <functional>

namespace repng::png {

inline constexpr unsigned kMaxWorkers = 2;

unsigned WorkerCount();

// Calls trial(index, worker) once for every index below `count`, on up to
// WorkerCount() threads (the caller and a helper kept between calls; a call
// made while the helper is busy runs on the caller alone); `worker` is below
// WorkerCount() and identifies the thread within the call, so per-worker
// state needs no locking. The first exception thrown by
// a trial stops the handing out of new indices and is rethrown here.
void RunTrials(size_t count, const std::function<void(size_t index, unsigned worker)>& trial);

}  // namespace repng::png
