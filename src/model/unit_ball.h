#pragma once

#include <QString>

class RenderMesh;

// The bin space, the vote radii, the curvature threshold and the smoothing
// width all assume a model inside the unit ball around the origin. These
// tell when a loaded model is not.

// Largest distance of a vertex from the origin (0 without vertices).
float farthestVertexDistance(const RenderMesh& mesh);

// The warning for a model whose farthest vertex (farthestVertexDistance) lies
// outside the unit ball, or an empty string when it stays inside.
QString unitBallWarning(float farthest);
