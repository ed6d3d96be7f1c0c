#include "sections/isolated_worker.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Reads exactly `size` bytes. With a deadline (timeoutMs >= 0) it gives up
// when the time is over.
bool receiveAll(int fd, void* data, size_t size, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  char* c = static_cast<char*>(data);
  while (size > 0) {
    if (timeoutMs >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      pollfd pfd{fd, POLLIN, 0};
      const int r = poll(&pfd, 1, int(left));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
    }
    const ssize_t got = recv(fd, c, size, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    c += got;
    size -= size_t(got);
  }
  return true;
}

bool sendMessage(int fd, const std::string& message) {
  const uint64_t size = message.size();
  return writeFully(fd, &size, sizeof size, true) && writeFully(fd, message.data(), message.size(), true);
}

bool receiveMessage(int fd, std::string& message, int timeoutMs) {
  uint64_t size = 0;
  if (!receiveAll(fd, &size, sizeof size, timeoutMs)) return false;
  if (size > (uint64_t(1) << 34)) return false;  // no answer is that large
  message.resize(size_t(size));
  return receiveAll(fd, message.data(), message.size(), timeoutMs);
}

void exitChildAtOnce() { _exit(3); }

}  // namespace

bool writeFully(int fd, const void* data, size_t size, bool socket) {
  const char* c = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t w = socket ? send(fd, c, size, MSG_NOSIGNAL) : write(fd, c, size);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    c += w;
    size -= size_t(w);
  }
  return true;
}

void limitAddressSpaceGrowth(size_t extra) {
  if (extra == 0) return;
  unsigned long pages = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
    std::fclose(f);
  }
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages == 0 || pageSize <= 0) return;
  rlimit limit;
  limit.rlim_cur = limit.rlim_max = rlim_t(pages) * rlim_t(pageSize) + rlim_t(extra);
  setrlimit(RLIMIT_AS, &limit);
}

IsolatedWorker::~IsolatedWorker() { stop(); }

bool IsolatedWorker::start() {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
  std::fflush(nullptr);  // nothing buffered may be written twice
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) {
    close(fds[0]);
    // Runs first should the handler call exit(): skip the parent's exit
    // handlers and static destructors.
    std::atexit(exitChildAtOnce);
    limitAddressSpaceGrowth(memoryLimit_);
    std::string request;
    while (receiveMessage(fds[1], request, -1)) {
      if (!sendMessage(fds[1], handler_(request))) break;
    }
    _exit(0);
  }
  close(fds[1]);
  pid_ = pid;
  socket_ = fds[0];
  return true;
}

void IsolatedWorker::stop() {
  if (socket_ >= 0) close(socket_);
  socket_ = -1;
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
}

bool IsolatedWorker::call(const std::string& request, std::string& answer, int timeoutMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (pid_ <= 0 && !start()) return false;
  if (sendMessage(socket_, request) && receiveMessage(socket_, answer, timeoutMs)) return true;
  stop();  // died or hangs: the next call starts afresh
  return false;
}
