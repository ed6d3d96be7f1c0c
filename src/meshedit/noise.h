#pragma once

class RenderMesh;

// Standard deviation of the noise added to every coordinate, model units.
constexpr float kNoiseSigma = 0.001f;

// Approximately normal sample: the sum s of twenty uniform values on [0, 1]
// from the toolkit's generator (qrand, divided by its largest value RAND_MAX)
// gives mean + sigma * sqrt(0.6) * (s - 10). The result always lies within
// mean +- sigma * 7.745967. The generator is not seeded here; qsrand fixes
// the sequence (per thread).
float gaussianSample(float mean, float sigma);

// Adds independent samples of gaussianSample(0, kNoiseSigma) to x, then y,
// then z of every vertex in index order, then rebuilds the derived data with
// normals as after loading (updateDerivedData, flipFaceNormals). Faces are
// not touched; the change accumulates over calls.
void noisifyMesh(RenderMesh& mesh);
