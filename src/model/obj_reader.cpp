#include "model/obj_reader.h"

#include <QDebug>
#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdio>

#include "model/text_input.h"

namespace {

// Token k of a split line as a float; missing, malformed and non-finite
// values read as 0.
float floatField(const QStringList& tokens, int k, bool& padded) {
  if (k >= tokens.size()) {
    padded = true;
    return 0.0f;
  }
  bool ok = false;
  const float v = tokens[k].trimmed().toFloat(&ok);
  return (ok && std::isfinite(v)) ? v : 0.0f;
}

Vec3 vec3Fields(const QStringList& tokens, bool& padded) {
  return Vec3(floatField(tokens, 1, padded), floatField(tokens, 2, padded), floatField(tokens, 3, padded));
}

int intToken(const QString& token, bool* ok) { return token.trimmed().toInt(ok, 10); }

// Longest line kept; the rest of a longer one is skipped.
constexpr int kObjLineLength = 499;

ObjFace parseFace(const QStringList& tokens) {
  ObjFace face;
  for (int k = 1; k < tokens.size(); ++k) {
    const QString& token = tokens[k];
    if (token.indexOf(QLatin1Char('/')) >= 0) {
      const QStringList parts = token.split(QLatin1Char('/'), Qt::KeepEmptyParts);
      bool ok = false;
      const int a = intToken(parts[0], &ok);
      const int c = parts.size() > 2 ? intToken(parts[2], nullptr) : 0;
      if (ok) face.vertexIndices.append(a);
      if (c != 0) face.normalIndices.append(c);
    } else {
      face.vertexIndices.append(intToken(token, nullptr));  // 0 when it does not convert
    }
  }
  return face;
}

}  // namespace

bool readObj(ObjMesh& mesh, const char* path) {
  TextInput in(path, "model file");
  if (!in.isOpen()) {
    qDebug("Could not open %s!", path ? path : "(null)");
    return false;
  }
  qDebug("Reading...");

  const QString vTag = QStringLiteral("v"), vnTag = QStringLiteral("vn"), fTag = QStringLiteral("f");
  QByteArray line;
  bool truncated = false;
  int shortRecords = 0, longLines = 0;
  while (in.readLine(line, kObjLineLength, truncated)) {
    if (truncated) ++longLines;
    // Fields are separated by runs of blanks and tabs (writers differ: two
    // spaces after the tag, tabs); a carriage return ends the line.
    const QString text = QString::fromLatin1(line).simplified();
    if (text.indexOf(QLatin1Char(' ')) < 0) continue;  // a bare tag, a blank line
    const QStringList tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString& tag = tokens[0];
    bool padded = false;
    if (QString::compare(tag, vTag) == 0) {
      mesh.vertices.append(vec3Fields(tokens, padded));
    } else if (QString::compare(tag, vnTag) == 0) {
      mesh.normals.append(vec3Fields(tokens, padded));
    } else if (QString::compare(tag, fTag) == 0) {
      ObjFace face = parseFace(tokens);
      face.verticesBefore = mesh.vertices.size();
      mesh.faces.append(face);
    }
    if (padded) ++shortRecords;
  }
  if (shortRecords > 0) qDebug("%i vertex or normal lines had fewer than three numbers; padded with 0", shortRecords);
  if (longLines > 0)
    qDebug("%i lines of %s were longer than %i characters; the rest of each was skipped", longLines, path,
           kObjLineLength);
  if (in.failed()) {
    qDebug("Error reading %s", path);
    return false;
  }

  qDebug("File read successful.");
  qDebug() << "Num verts: " << mesh.vertices.size() << " Num faces: " << mesh.faces.size();
  return true;
}

void objRenderGeometry(const ObjMesh& mesh, QVector<Vec3>& vertices, RenderFaces& faces) {
  vertices = mesh.vertices;
  faces.clear();
  faces.reserve(mesh.faces.size());
  const long long count = mesh.vertices.size();
  int dropped = 0;
  for (const ObjFace& f : mesh.faces) {
    RenderFace triangle;
    int corners = 0;
    for (int k = 0; k < 3 && k < f.vertexIndices.size(); ++k) {
      const long long written = f.vertexIndices[k];
      const long long index = written < 0 ? f.verticesBefore + written : written - 1;  // 0-based
      if (written == 0 || index < 0 || index >= count) break;
      triangle[corners++] = int(index);
    }
    if (corners < 3) {
      ++dropped;
      continue;
    }
    faces.append(triangle);
  }
  if (dropped > 0) qDebug("Dropped %i OBJ faces without three corners that name vertices of the file", dropped);
}
