#pragma once

#include "engine/vec3.h"

class Sorvex;

// The similarity transform that centres a model and scales it into a ball:
// x' = scale * x + offset.
struct ModelNormalisation {
  Vec3 centre;             // centre of the bounding box before
  float radiusBefore = 0;  // farthest vertex from that centre, before
  float scale = 1;
  Vec3 offset;  // -scale * centre
};

// Radius the batch tool normalises models into.
constexpr float kNormalisedRadius = 0.9f;

// Moves the bounding box centre of the engine's loaded model to the origin
// and scales it so that its farthest vertex lies at `radius`: the render
// mesh (derived data rebuilt as after loading), the curvature mesh (rebuilt
// from it), the symmetry planes and axes. Call right after loading, before
// anything is computed. False, nothing changed, for a model without extent.
bool normaliseModel(Sorvex& engine, float radius, ModelNormalisation& result);
