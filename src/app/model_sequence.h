#pragma once

#include <QList>
#include <QString>

// The nineteen bundled study models, in their fixed order. Paths are relative
// to the working directory.
struct SequenceModel {
  const char* path;
  const char* label;
};
constexpr int kSequenceModelCount = 19;
extern const SequenceModel kSequenceModels[kSequenceModelCount];

// Appends the bundled models to `paths` and `labels` in the order a session
// walks through them. With `shuffle` and a seed other than 0, the platform
// generator is seeded (srand) with `seed` and each next model is the
// rand() % remaining-th of those left; otherwise (and so for seed 0, which
// the generator would treat as seed 1) the table order is kept.
void buildModelSequence(int seed, bool shuffle, QList<QString>& paths, QList<QString>& labels);
