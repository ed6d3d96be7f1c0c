#include "trimesh/regular_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trimesh_util {

std::FILE* open_regular_file(const char* path, const char* mode, const char** reason) {
  const char* ignored = nullptr;
  if (!reason) reason = &ignored;
  if (!path || !*path) {
    *reason = "no file name";
    return nullptr;
  }
  // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; the type is
  // then taken from the open descriptor itself, so the file checked is the
  // file read.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *reason = "not a regular file";
    ::close(fd);
    return nullptr;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* f = ::fdopen(fd, mode && *mode ? mode : "r");
  if (!f) {
    *reason = std::strerror(errno);
    ::close(fd);
  }
  return f;
}

}  // namespace trimesh_util
