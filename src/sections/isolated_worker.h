#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <sys/types.h>

// Caps this process's address space at what it has now plus `extra` bytes
// (nothing for 0): beyond it allocations fail. Meant for a freshly forked
// child before it touches untrusted input.
void limitAddressSpaceGrowth(size_t extra);

// Writes all `size` bytes to a pipe or socket, going on after interruptions.
// False when the other end is gone. On a socket a gone reader gives an error,
// not SIGPIPE.
bool writeFully(int fd, const void* data, size_t size, bool socket = false);

// A child process that answers requests with a fixed handler, so that code
// which may end, crash or hang the process on hostile input (a library that
// calls exit()) only takes the child down. The child is forked on the first
// call and reused; when it dies or stops answering, the call fails and the
// next call starts a new one. Calls are serialised.
//
// NOTE: the child is a fork of this process: the handler must only use what
// a freshly forked child may use (no other threads, no GUI).
class IsolatedWorker {
 public:
  // Runs in the child: the answer to one request.
  using Handler = std::string (*)(const std::string& request);

  // memoryLimit: bytes of address space the child may add to what it
  // inherits (0: no limit); beyond it allocations in the child fail.
  explicit IsolatedWorker(Handler handler, size_t memoryLimit = 0) : handler_(handler), memoryLimit_(memoryLimit) {}
  ~IsolatedWorker();
  IsolatedWorker(const IsolatedWorker&) = delete;
  IsolatedWorker& operator=(const IsolatedWorker&) = delete;

  // Sends `request` and waits at most timeoutMs for the answer. False when
  // the child could not be started, died on the request or took too long.
  bool call(const std::string& request, std::string& answer, int timeoutMs);

 private:
  bool start();
  void stop();

  Handler handler_;
  size_t memoryLimit_ = 0;
  std::mutex mutex_;
  pid_t pid_ = -1;
  int socket_ = -1;
};
