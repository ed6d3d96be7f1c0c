#pragma once

// Helpers shared by the exact and the clustered curvature smoothing.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "trimesh/curvature.h"
#include "trimesh/trimesh.h"

namespace smoothing_util {

inline double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The weighted mean (sums over their total weight `sum`) a smoothing stores
// for a vertex; without any weight (zero areas all round), or with a mean
// that is not finite, the vertex keeps its own tensor.
inline void store_mean(double sum, double su, double suv, double sv, float own_u, float own_uv, float own_v, float& ku,
                       float& kuv, float& kv) {
  if (sum > 0.0 && std::isfinite(su / sum) && std::isfinite(suv / sum) && std::isfinite(sv / sum)) {
    ku = static_cast<float>(su / sum);
    kuv = static_cast<float>(suv / sum);
    kv = static_cast<float>(sv / sum);
  } else {
    ku = own_u;
    kuv = own_uv;
    kv = own_v;
  }
}

inline TriMesh::CurvDeriv mean_or_own(double sum, const double acc[4], const TriMesh::CurvDeriv& own) {
  bool ok = sum > 0.0;
  TriMesh::CurvDeriv r;
  for (int k = 0; k < 4 && ok; k++) {
    r[k] = static_cast<float>(acc[k] / sum);
    ok = std::isfinite(r[k]);
  }
  return ok ? r : own;
}

// Threads to use for n vertices: `requested`, or one per core when 0, and
// no more than one per 256 vertices.
inline int thread_count(int requested, int n) {
  int t = requested > 0 ? requested : int(std::thread::hardware_concurrency());
  if (t < 1) t = 1;
  return std::max(1, std::min(t, n / 256 + 1));
}

// Checks that everything the smoothing reads has one entry per vertex.
inline bool ready(const TriMesh& m) {
  const size_t nv = m.vertices.size();
  return nv > 0 && m.normals.size() == nv && m.point_areas.size() == nv && m.principal_curv1.size() == nv &&
         m.principal_curv2.size() == nv && m.principal_dir1.size() == nv && m.principal_dir2.size() == nv &&
         m.vertex_neighbors.size() == nv;
}

// The end of a curvature smoothing pass: unless it was cancelled, the
// smoothed tensors (ku, kuv, kv per vertex, in each vertex's own frame)
// become the mesh's principal curvatures and directions.
inline void finish_curvature_smoothing(TriMesh& m, bool done, const std::vector<float>& ku,
                                       const std::vector<float>& kuv, const std::vector<float>& kv,
                                       std::chrono::steady_clock::time_point t0) {
  if (!done) {
    print_message("cancelled.\n");
    return;
  }
  for (size_t i = 0; i < m.vertices.size(); i++) {
    principal_from_tensor(m.principal_dir1[i], m.principal_dir2[i], ku[i], kuv[i], kv[i], m.normals[i],
                          m.principal_dir1[i], m.principal_dir2[i], m.principal_curv1[i], m.principal_curv2[i]);
  }
  print_message("Done.  Filtering took %f sec.\n", seconds_since(t0));
}

// Calls filter(walker, i) for every vertex i < nv, in blocks of 512 handed
// out to `threads` threads; each thread has its own walker from make_walker().
// `cancel`, when given, is polled between blocks. Returns false when cancelled
// (some vertices are then left out).
template <typename MakeWalker, typename Filter>
bool for_each_vertex_block(int nv, int threads, const std::atomic<bool>* cancel, MakeWalker make_walker,
                           Filter filter) {
  constexpr int kBlock = 512;
  std::atomic<int> next{0};
  std::atomic<bool> stopped{false};
  auto work = [&] {
    auto walker = make_walker();
    for (;;) {
      if (cancel && cancel->load(std::memory_order_relaxed)) {
        stopped = true;
        return;
      }
      const int begin = next.fetch_add(kBlock);
      if (begin >= nv) return;
      const int end = std::min(nv, begin + kBlock);
      for (int i = begin; i < end; ++i) filter(walker, i);
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
  return !stopped;
}

}  // namespace smoothing_util
