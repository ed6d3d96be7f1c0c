#pragma once

// Which filter smooths the curvature data, and how the automatic choice is
// made. No Qt: the engine, the loading and the batch tool all carry it.

// Exact: every vertex gathers every vertex of its connected neighbourhood
// within three sigma (cost per vertex grows with the square of the mesh's
// density). Fast: the vertices are first gathered into clusters of cells a
// fraction of sigma wide, and every vertex gathers the clusters of its
// neighbourhood instead (cost per vertex bounded whatever the density).
// Auto: exact while the exact filter's expected neighbourhood is small,
// fast beyond (kFastSmoothingNeighbours).
enum class SmoothingMethod { Auto, Exact, Fast };

// Expected neighbourhood size (vertices within three sigma, estimated from
// the mean vertex density) above which Auto picks the fast filter.
//
// NOTE: at the start width 0.01 the bundled models expect at most about 730
// neighbours (the aeroplane 63; most under 100), so Auto keeps the exact
// filter's results for them bit for bit. The fast filter visits a bounded
// number of clusters per vertex (cells of a quarter width: about 450), and
// measured faster than the exact one from about 350 expected neighbours on
// (the aeroplane 66 subdivided once); below 1000 the exact filter is kept
// anyway, since there it costs at most a few seconds.
constexpr double kFastSmoothingNeighbours = 1000.0;

// Width of the fast filter's cluster cells, as a fraction of sigma. A
// quarter keeps a whole run's planes on real scans of 300k to 500k faces as
// close to the exact filter's as rounding alone does (half a width moved
// more than a third of them by a bin or more), at about twice half a width's
// smoothing time.
constexpr float kSmoothingCellFraction = 0.25f;

// "auto", "exact", "fast".
const char* smoothing_method_name(SmoothingMethod method);
// Reads one of those names (exact match); false for anything else, leaving
// `method` unchanged.
bool smoothing_method_from_name(const char* name, SmoothingMethod& method);
