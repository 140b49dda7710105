// Runs work over a number of threads, handing out items one by one from a
// shared counter, so that fast and slow items balance. What each item
// computes must not depend on which thread runs it.
#ifndef QUOR_RENDER_PARALLEL_H
#define QUOR_RENDER_PARALLEL_H

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quor {
namespace render {

// The number of threads to use: `requested`, or one per core for 0.
inline int threadCount(int requested) {
  if (requested > 0) return requested;
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? int(n) : 1;
}

// Calls work(item, thread) for every item in [0, count). The first
// exception thrown by any item is rethrown once all threads have stopped.
inline void parallelFor(int count, int threads, const std::function<void(int item, int thread)>& work) {
  threads = std::max(1, std::min(threads, count));
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr error;
  std::mutex errorLock;
  const auto run = [&](int thread) {
    try {
      for (int item; !failed && (item = next++) < count;) work(item, thread);
    } catch (...) {
      std::lock_guard<std::mutex> lock(errorLock);
      if (!error) error = std::current_exception();
      failed = true;
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(run, t);
  run(0);
  for (std::thread& t : pool) t.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace render
}  // namespace quor

#endif
