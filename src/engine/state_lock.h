#pragma once

#include <chrono>
#include <mutex>
#include <thread>

// The engine's state lock, with the lock / unlock / tryLock calls the rest of
// the code uses. It is a plain standard mutex (pthreads) rather than the
// toolkit's futex-based one, and a timed try polls try_lock instead of using
// a clock-based wait, so that thread checkers see every hand-over between
// the run and the GUI thread. Use std::lock_guard<StateLock> for scoped
// locking. Not recursive: a thread must not lock it twice.
class StateLock {
 public:
  void lock() { mutex_.lock(); }
  void unlock() { mutex_.unlock(); }
  // Waits at most timeoutMs milliseconds (0: does not wait).
  bool tryLock(int timeoutMs = 0) {
    if (mutex_.try_lock()) return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::microseconds(250));
      if (mutex_.try_lock()) return true;
    }
    return false;
  }

 private:
  std::mutex mutex_;
};
