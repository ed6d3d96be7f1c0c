// Exact smallest enclosing sphere by the randomised move-to-front recursion
// on support points, with pivoting. Expected linear time.

#include <cmath>
#include <vector>

#include "trimesh/mesh_util.h"
#include "trimesh/trimesh.h"

namespace {

// Ball through a support set of up to four points, built incrementally
// (Gaertner's basis update); all arithmetic in double precision.
class SupportBall {
 public:
  void reset() {
    m_ = 0;
    center_[0] = center_[1] = center_[2] = 0.0;
    sqr_r_ = -1.0;
  }
  int size() const { return m_; }
  const double* center() const { return center_; }
  double squared_radius() const { return sqr_r_; }

  // Squared distance of p from the centre minus the squared radius.
  double excess(const double* p) const {
    double e = -sqr_r_;
    for (int k = 0; k < 3; k++) {
      double d = p[k] - center_[k];
      e += d * d;
    }
    return e;
  }

  // Adds p to the support set; false when p is (numerically) affinely
  // dependent on the current support points.
  bool push(const double* p) {
    if (m_ >= 4) return false;
    if (m_ == 0) {
      for (int k = 0; k < 3; k++) q0_[k] = c_[0][k] = p[k];
      r2_[0] = 0.0;
    } else {
      double* v = v_[m_];
      for (int k = 0; k < 3; k++) v[k] = p[k] - q0_[k];
      for (int i = 1; i < m_; i++) {
        double a = 0.0;
        for (int k = 0; k < 3; k++) a += v_[i][k] * v[k];
        a_[m_][i] = a * 2.0 / z_[i];
      }
      for (int i = 1; i < m_; i++)
        for (int k = 0; k < 3; k++) v[k] -= a_[m_][i] * v_[i][k];
      double z = 0.0;
      for (int k = 0; k < 3; k++) z += v[k] * v[k];
      z *= 2.0;
      z_[m_] = z;
      if (!(z >= kEps * sqr_r_) || z == 0.0) return false;
      double e = -r2_[m_ - 1];
      for (int k = 0; k < 3; k++) {
        double d = p[k] - c_[m_ - 1][k];
        e += d * d;
      }
      f_[m_] = e / z;
      for (int k = 0; k < 3; k++) c_[m_][k] = c_[m_ - 1][k] + f_[m_] * v[k];
      r2_[m_] = r2_[m_ - 1] + e * f_[m_] / 2.0;
    }
    for (int k = 0; k < 3; k++) center_[k] = c_[m_][k];
    sqr_r_ = r2_[m_];
    m_++;
    return true;
  }

  void pop() {
    if (m_ > 0) m_--;
  }

 private:
  static constexpr double kEps = 1e-32;
  int m_ = 0;
  double q0_[3] = {0, 0, 0};
  double z_[4] = {0, 0, 0, 0}, f_[4] = {0, 0, 0, 0};
  double v_[4][3] = {}, a_[4][4] = {}, c_[4][3] = {}, r2_[4] = {};
  double center_[3] = {0, 0, 0};
  double sqr_r_ = -1.0;
};

// Points on a doubly linked list (indices; -1 ends it) so that moving a
// point to the front is O(1).
struct Miniball {
  std::vector<double> pts;  // 3 per point
  std::vector<int> next, prev;
  int head = -1;
  int support_end = -1;  // first point after the support points, -1 = end
  SupportBall ball;

  const double* point(int i) const { return &pts[3 * static_cast<size_t>(i)]; }

  void move_to_front(int i) {
    if (support_end == i) support_end = next[i];
    if (i == head) return;
    int p = prev[i], n = next[i];
    if (p >= 0) next[p] = n;
    if (n >= 0) prev[n] = p;
    prev[i] = -1;
    next[i] = head;
    if (head >= 0) prev[head] = i;
    head = i;
  }

  // Smallest ball with the pushed support points on its boundary enclosing
  // the points before `end`. Recursion depth is at most four.
  void mtf_mb(int end) {
    support_end = head;
    if (ball.size() == 4) return;
    for (int i = head; i != end && i >= 0;) {
      int j = i;
      i = next[i];
      if (ball.excess(point(j)) > 0.0) {
        if (ball.push(point(j))) {
          mtf_mb(j);
          ball.pop();
          move_to_front(j);
        }
      }
    }
  }

  // Point with the greatest excess after `from`, and that excess.
  double max_excess(int from, int& pivot) const {
    double best = 0.0;
    pivot = -1;
    for (int i = from; i >= 0; i = next[i]) {
      double e = ball.excess(point(i));
      if (e > best) {
        best = e;
        pivot = i;
      }
    }
    return best;
  }

  void pivot_mb() {
    ball.reset();
    if (head < 0) return;
    int t = next[head];
    mtf_mb(t);
    double max_e, old_sqr_r = -1.0;
    do {
      int pivot;
      max_e = max_excess(t, pivot);
      if (max_e > 0.0 && pivot >= 0) {
        t = support_end;
        if (t == pivot && t >= 0) t = next[t];
        old_sqr_r = ball.squared_radius();
        if (!ball.push(point(pivot))) break;
        mtf_mb(support_end);
        ball.pop();
        move_to_front(pivot);
      }
    } while (max_e > 0.0 && ball.squared_radius() > old_sqr_r);
  }
};

}  // namespace

// Vertices with a NaN or infinite coordinate are left out.
void TriMesh::compute_bounding_sphere() {
  if (vertices.empty() || bounding_sphere.valid) return;
  print_message("Computing bounding sphere... ");
  Miniball mb;
  mb.pts.reserve(3 * vertices.size());
  for (const Vec3& p : vertices) {
    if (!trimesh_util::finite(p)) continue;
    mb.pts.push_back(p.x);
    mb.pts.push_back(p.y);
    mb.pts.push_back(p.z);
  }
  const int n = static_cast<int>(mb.pts.size() / 3);
  mb.next.resize(n);
  mb.prev.resize(n);
  for (int i = 0; i < n; i++) {
    mb.next[i] = i + 1 < n ? i + 1 : -1;
    mb.prev[i] = i - 1;
  }
  mb.head = n > 0 ? 0 : -1;
  mb.pivot_mb();

  const double* c = mb.ball.center();
  bounding_sphere.center = Vec3(static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2]));
  double r2 = mb.ball.squared_radius();
  bounding_sphere.r = r2 > 0.0 ? static_cast<float>(std::sqrt(r2)) : 0.0f;
  bounding_sphere.valid = true;
  print_message("Done.\n  center = (%g, %g, %g), radius = %g\n", bounding_sphere.center.x, bounding_sphere.center.y,
                bounding_sphere.center.z, bounding_sphere.r);
}
