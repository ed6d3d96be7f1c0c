#pragma once

#include <chrono>
#include <mutex>

// The engine's state lock: a timed mutex with the lock / unlock / tryLock
// calls the rest of the code uses. It is built on the standard library's
// mutex (pthreads) rather than the toolkit's futex-based one so that thread
// checkers see every hand-over between the run and the GUI thread.
// Use std::lock_guard<StateLock> for scoped locking. Not recursive.
class StateLock {
 public:
  void lock() { mutex_.lock(); }
  void unlock() { mutex_.unlock(); }
  // Waits at most timeoutMs milliseconds (0: does not wait).
  bool tryLock(int timeoutMs = 0) {
    if (timeoutMs <= 0) return mutex_.try_lock();
    return mutex_.try_lock_for(std::chrono::milliseconds(timeoutMs));
  }

 private:
  std::timed_mutex mutex_;
};
