#include "model/limited_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "sections/isolated_worker.h"

using Clock = std::chrono::steady_clock;

pid_t startLimitedChild(size_t memoryBytes, const std::function<void(int)>& body, int& readFd) {
  readFd = -1;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  std::fflush(nullptr);  // nothing buffered may be written twice
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    const int e = errno;
    close(fds[0]);
    close(fds[1]);
    errno = e;
    return -1;
  }
  if (pid == 0) {
    const int fd = fds[1];
    close(fds[0]);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(4);
    // A fault ends the child by its signal, whatever handlers the program
    // (or a checker linked into it) installed.
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(s, SIG_DFL);
    // Only the answer's pipe stays open: the parent's windows, sockets and
    // other children's pipes are none of the child's business.
    if (fd > 3) close_range(3, unsigned(fd - 1), 0);
    close_range(unsigned(fd + 1), ~0u, 0);
    limitAddressSpaceGrowth(memoryBytes);
    body(fd);
    _exit(6);
  }
  close(fds[1]);
  readFd = fds[0];
  return pid;
}

LimitedChild::LimitedChild(pid_t pid, int readFd, int timeMs, const std::atomic<bool>* cancel)
    : pid_(pid), fd_(readFd), cancel_(cancel), deadline_(Clock::now() + std::chrono::milliseconds(std::max(0, timeMs))) {}

LimitedChild::~LimitedChild() {
  if (fd_ >= 0) close(fd_);
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    reap(true);
  }
}

bool LimitedChild::receive(void* data, size_t size) {
  char* c = static_cast<char*>(data);
  while (size > 0) {
    if (cancel_ && cancel_->load()) {
      end = ChildEnd::Cancelled;
      return false;
    }
    if (Clock::now() >= deadline_) {
      end = ChildEnd::TimedOut;
      return false;
    }
    pollfd pfd{fd_, POLLIN, 0};
    const int r = poll(&pfd, 1, 50);
    if (r < 0 && errno != EINTR) return ended();
    // Nothing to read: a child that has ended will send nothing more (its
    // pipe may stay open in another process that forked meanwhile).
    if (r <= 0 && !reap(false)) continue;
    const ssize_t got = read(fd_, c, size);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) return ended();
    c += got;
    size -= size_t(got);
  }
  return true;
}

void LimitedChild::finish() {
  while (pid_ > 0 && !reap(false) && Clock::now() < deadline_) usleep(2000);
}

// The child ended, or closed its pipe, before its answer was complete.
bool LimitedChild::ended() {
  if (pid_ > 0 && !reap(false)) {
    // Closed its pipe but still runs: give it a moment to end.
    const Clock::time_point until = std::min(deadline_, Clock::now() + std::chrono::seconds(2));
    while (!reap(false) && Clock::now() < until) usleep(2000);
  }
  end = ChildEnd::Crashed;
  signal = exited_ && WIFSIGNALED(exitStatus_) ? WTERMSIG(exitStatus_) : 0;
  return false;
}

// True once the child has been waited for.
bool LimitedChild::reap(bool block) {
  if (exited_ || pid_ <= 0) return true;
  int s = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &s, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == pid_ || r < 0) {
    exited_ = true;
    exitStatus_ = r == pid_ ? s : 0;
    pid_ = -1;
  }
  return exited_;
}
