#include "trimesh/trimesh.h"

#include <atomic>
#include <cstdarg>

namespace {

std::atomic<int> g_verbose{1};
std::atomic<void (*)(const char*)> g_progress_callback{nullptr};
std::atomic<void (*)(const char*)> g_error_callback{nullptr};

void emit(void (*cb)(const char*), const char* format, va_list ap) {
  char buf[1024];
  std::vsnprintf(buf, sizeof(buf), format, ap);
  if (cb) {
    cb(buf);
  } else {
    std::fputs(buf, stderr);
    std::fflush(stderr);
  }
}

}  // namespace

void print_message(const char* format, ...) {
  if (g_verbose.load() < 1) return;
  va_list ap;
  va_start(ap, format);
  emit(g_progress_callback.load(), format, ap);
  va_end(ap);
}

void print_error(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  emit(g_error_callback.load(), format, ap);
  va_end(ap);
}

void TriMesh::set_verbose(int level) { g_verbose.store(level); }
int TriMesh::verbose() { return g_verbose.load(); }
void TriMesh::set_progress_callback(void (*cb)(const char*)) { g_progress_callback.store(cb); }
void TriMesh::set_error_callback(void (*cb)(const char*)) { g_error_callback.store(cb); }

bool TriMesh::ensure_faces() {
  if (faces.empty()) {
    if (!strips.empty())
      compute_faces_from_strips();
    else if (!grid.empty())
      grid_to_faces();
  }
  return !faces.empty();
}

// Each grid cell whose four corners all have vertices becomes two triangles
// split along the shorter diagonal; a cell with exactly three becomes one.
void TriMesh::grid_to_faces() {
  if (!faces.empty() || grid_width < 2 || grid_height < 2) return;
  const long long cells = static_cast<long long>(grid_width) * grid_height;
  if (cells > static_cast<long long>(grid.size())) return;
  const int nv = static_cast<int>(vertices.size());
  auto at = [&](int x, int y) {
    int i = grid[static_cast<size_t>(y) * grid_width + x];
    return (i >= 0 && i < nv) ? i : -1;
  };
  for (int y = 0; y + 1 < grid_height; y++) {
    for (int x = 0; x + 1 < grid_width; x++) {
      int ll = at(x, y), lr = at(x + 1, y), ul = at(x, y + 1), ur = at(x + 1, y + 1);
      int n = (ll >= 0) + (lr >= 0) + (ul >= 0) + (ur >= 0);
      if (n == 4) {
        float d1 = (vertices[ll] - vertices[ur]).lengthSquared();
        float d2 = (vertices[lr] - vertices[ul]).lengthSquared();
        if (d1 <= d2) {
          faces.emplace_back(ll, lr, ur);
          faces.emplace_back(ll, ur, ul);
        } else {
          faces.emplace_back(ll, lr, ul);
          faces.emplace_back(lr, ur, ul);
        }
      } else if (n == 3) {
        if (ll < 0)
          faces.emplace_back(lr, ur, ul);
        else if (lr < 0)
          faces.emplace_back(ll, ur, ul);
        else if (ul < 0)
          faces.emplace_back(ll, lr, ur);
        else
          faces.emplace_back(ll, lr, ul);
      }
    }
  }
}
