// The render mesh's OFF reader. It reads what the mesh library's OFF reader
// reads (the same header forms, counts, polygons and index base), so that the
// two meshes built from one file agree, and it parses numbers in the "C"
// locale whatever locale the program runs in.

#include <QDebug>
#include <QList>
#include <climits>

#include "model/render_mesh.h"
#include "model/text_input.h"

namespace {

// Longest header or count line looked at; the rest of a longer one is skipped.
constexpr int kHeaderLineLength = 1024;

// The first two integers of a count line such as "8 12 0"; false when it does
// not start with two.
bool parseCounts(const QByteArray& text, int& nv, int& nf) {
  const QList<QByteArray> tokens = text.simplified().split(' ');
  return tokens.size() >= 2 && parseIntC(tokens[0], nv) && parseIntC(tokens[1], nf);
}

// A face as read: its first three corners, and the smallest and largest of
// all its corners (for the range check after the index base is known).
struct ReadFace {
  int a, b, c;
  int lowest, highest;
};

}  // namespace

bool readOff(const char* path, QVector<Vec3>& vertices, RenderFaces& faces) {
  TextInput in(path, "model file");
  if (!in.isOpen()) return false;

  // The header is the first line that starts with "O".
  int ch;
  while ((ch = in.get()) >= 0 && ch != 'O') {
    if (ch != '\n') in.skipLine();
  }
  if (ch < 0) return !in.failed();  // no header: no geometry
  qDebug("OFF FILE DETECTED");

  // The counts follow the keyword on its own line ("OFF 8 12 0") or come on
  // the next line that is not blank or a comment.
  QByteArray line;
  bool truncated = false;
  in.readLine(line, kHeaderLineLength, truncated);
  int nv = 0, nf = 0;
  int keywordEnd = 0;
  while (keywordEnd < line.size() && line[keywordEnd] != ' ' && line[keywordEnd] != '\t') ++keywordEnd;
  if (!parseCounts(line.mid(keywordEnd), nv, nf)) {
    in.skipSpaceAndComments();
    in.readLine(line, kHeaderLineLength, truncated);
    if (!parseCounts(line, nv, nf)) nv = nf = 0;
  }
  qDebug("Mesh has %i verts, %i faces", nv, nf);
  if (nv < 0 || nf < 0) {
    qDebug("Negative counts in %s; not read", path);
    return false;
  }

  // Vertices: three coordinates each; anything after them on the line (such
  // as a colour) is skipped.
  QVector<Vec3> newVertices;
  in.skipSpaceAndComments();
  for (int i = 0; i < nv; ++i) {
    Vec3 p;
    if (!in.readFloat(p.x) || !in.readFloat(p.y) || !in.readFloat(p.z)) {
      qDebug("OFF vertex %i of %s is not three numbers; not read", i, path);
      return false;
    }
    in.skipLine();
    newVertices.append(p);
  }
  qDebug("Finished reading verts");

  // Faces: a corner count, the corners, then anything (such as a colour) up
  // to the end of the line. Every face becomes the triangle of its first
  // three corners; a face with fewer corners gives none.
  QVector<ReadFace> read;
  long long lowest = LLONG_MAX, highest = LLONG_MIN;
  in.skipSpaceAndComments();
  for (int i = 0; i < nf; ++i) {
    int count = 0;
    if (!in.readInt(count)) {
      qDebug("OFF face %i of %s has no corner count; not read", i, path);
      return false;
    }
    ReadFace face{0, 0, 0, INT_MAX, INT_MIN};
    for (int k = 0; k < count; ++k) {
      int index = 0;
      if (!in.readInt(index)) {
        qDebug("OFF face %i of %s: corner %i is not a vertex index; not read", i, path, k);
        return false;
      }
      if (k == 0) face.a = index;
      if (k == 1) face.b = index;
      if (k == 2) face.c = index;
      face.lowest = qMin(face.lowest, index);
      face.highest = qMax(face.highest, index);
    }
    in.skipLine();
    if (count < 3) continue;
    lowest = qMin<long long>(lowest, face.lowest);
    highest = qMax<long long>(highest, face.highest);
    read.append(face);
  }

  // Indices that cover exactly the vertex count but start elsewhere
  // (typically at 1) are shifted to start at 0.
  long long shift = 0;
  if (!read.isEmpty() && lowest != 0 && lowest == highest - nv + 1) {
    shift = lowest;
    qDebug("OFF indices of %s run from %lld to %lld; shifted to start at 0", path, lowest, highest);
  }
  const long long vertexCount = vertices.size() + newVertices.size();
  RenderFaces newFaces;
  newFaces.reserve(read.size());
  for (int i = 0; i < read.size(); ++i) {
    const ReadFace& f = read[i];
    if (f.lowest - shift < 0 || f.highest - shift >= vertexCount) {
      qDebug("OFF face %i refers to a vertex outside the file; rejecting %s", i, path);
      return false;
    }
    newFaces.append(RenderFace{int(f.a - shift), int(f.b - shift), int(f.c - shift)});
  }
  qDebug("Finished reading faces");
  if (in.failed()) {
    qDebug("Error reading %s", path);
    return false;
  }
  vertices += newVertices;
  faces += newFaces;
  return true;
}
