#pragma once

#include <QVector>

#include "engine/vec3.h"

class RenderMesh;

// Flatness cost of vertex v of the render mesh: the summed distance of its
// neighbours (v itself excluded) from their least-squares plane, in model
// units. The plane is the principal-axes fit of the neighbours: its normal is
// the unit eigenvector of the smallest eigenvalue, through their centroid.
// Returns the largest float when v has no neighbours, an out-of-range index
// or a non-finite fit.
float vertexCost(const RenderMesh& mesh, int v);

// The same cost for an explicit neighbour list (positions come from `vertices`).
float ringCost(const QVector<Vec3>& vertices, const int* neighbours, int count);

// What a decimation did.
struct DecimationReport {
  int verticesBefore = 0;  // size of the vertex array (it never shrinks)
  int removed = 0;         // vertices taken out of the mesh
  // Vertices left in place because their ring was not a closed, consistent
  // fan, each counted once however often it came up.
  int skipped = 0;
  int facesBefore = 0;
  int facesAfter = 0;
};

// Simplifies the mesh in place by removing about 40 % of its vertices (the
// loop stops once more than 0.4 * vertex count have gone), always the vertex
// with the flattest one-ring (lowest vertexCost; the lower index on ties),
// and closing each hole with a fan of triangles from one ring vertex.
//
// Only vertices with more than two neighbours whose faces form one closed,
// consistently oriented ring are removed; a vertex on an open boundary, at a
// non-manifold spot or on a degenerate face is left in place (counted in
// `skipped`), as is one where every fan would duplicate an existing edge or
// face. The fan keeps the winding of the faces it replaces, and a start vertex
// whose fan does not fold over is preferred. So a closed, consistently
// oriented manifold stays closed and consistently oriented and loses two
// faces per removed vertex.
//
// Removed vertices stay in the vertex array, unreferenced. Faces are the
// surviving faces in their old order followed by the new ones; afterwards the
// derived data is rebuilt with normals as after loading (updateDerivedData,
// then flipFaceNormals).
//
// `faceSegment`, when not empty, gives every new face the id of the original
// face whose centroid is nearest to its centroid (the lower face index on
// ties); a list of the wrong length is first padded with 0 or cut to the face
// count. An empty list stays empty.
//
// Writes "Vertices before decimation: %i" and "Vertices after decimation: %i".
// Returns false, changing nothing, when a face has fewer than three indices or
// refers to a vertex outside the vertex list.
bool decimateMesh(RenderMesh& mesh, QVector<int>& faceSegment, DecimationReport* report = nullptr);
