#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>

// Work that a library may crash, hang or exhaust memory on, done in a forked
// child process that sends its answer through a pipe: the child's set-up,
// and the parent's side of the wait with a deadline and a cancel flag.

// How a wait for the child's answer ended.
enum class ChildEnd {
  Answered,   // every byte asked for came
  Cancelled,  // the cancel flag was set
  TimedOut,   // the deadline passed
  Crashed,    // the child ended (or closed its pipe) first; `signal` may say how
};

// Forks a child that runs `body(answerFd)` and then ends with _exit (body
// should end the process itself; returning ends it with status 6). The child
// first: dies when the forking thread ends (and never outlives a killed
// parent), lets faults end it by their signal whatever handlers the program
// installed, keeps no descriptor but its pipe's end, and may grow its
// address space by `memoryBytes` at most. Returns the child's pid and the
// read end of its pipe in `readFd`, or -1 with `errno` set.
pid_t startLimitedChild(size_t memoryBytes, const std::function<void(int answerFd)>& body, int& readFd);

// The parent's side: reads the child's answer within `timeMs`, polling the
// cancel flag every 50 ms; on destruction closes the pipe, kills the child
// and waits for it.
class LimitedChild {
 public:
  LimitedChild(pid_t pid, int readFd, int timeMs, const std::atomic<bool>* cancel);
  ~LimitedChild();
  LimitedChild(const LimitedChild&) = delete;
  LimitedChild& operator=(const LimitedChild&) = delete;

  // Reads exactly `size` bytes; false when the wait ended otherwise (see
  // `end` and `signal`).
  bool receive(void* data, size_t size);
  // After the whole answer: waits (within the deadline) for the child to leave.
  void finish();

  ChildEnd end = ChildEnd::Answered;
  int signal = 0;  // the signal that ended a crashed child, 0 when none did

 private:
  bool ended();
  bool reap(bool block);

  pid_t pid_;
  int fd_;
  const std::atomic<bool>* cancel_;
  std::chrono::steady_clock::time_point deadline_;
  bool exited_ = false;
  int exitStatus_ = 0;
};
