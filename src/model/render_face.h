#pragma once

#include <QTypeInfo>
#include <QVector>

// One triangle of the render mesh: three vertex indices, held inline (a list
// of faces is one flat array, with no allocation per face).
struct RenderFace {
  int v[3] = {0, 0, 0};

  RenderFace() = default;
  RenderFace(int a, int b, int c) : v{a, b, c} {}

  int& operator[](int i) { return v[i]; }
  int operator[](int i) const { return v[i]; }
  static constexpr int size() { return 3; }
  const int* constData() const { return v; }
  int* begin() { return v; }
  int* end() { return v + 3; }
  const int* begin() const { return v; }
  const int* end() const { return v + 3; }
  bool operator==(const RenderFace& o) const { return v[0] == o.v[0] && v[1] == o.v[1] && v[2] == o.v[2]; }
  bool operator!=(const RenderFace& o) const { return !(*this == o); }
};
static_assert(sizeof(RenderFace) == 3 * sizeof(int), "a face list is a flat array of indices");
Q_DECLARE_TYPEINFO(RenderFace, Q_PRIMITIVE_TYPE);

using RenderFaces = QVector<RenderFace>;
