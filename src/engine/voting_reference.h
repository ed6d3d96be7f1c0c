#pragma once

#include "engine/voting.h"

class Sorvex;

// The vote kernels written out plainly: every lattice bin, in scan order,
// one thread, one addVote per bin within reach. Slow (810,000 bins per
// feature); kept as the yardstick the fast kernels are checked and timed
// against.
namespace voting {

void castVotesPlain(BinSpace& bins, const VoteJob& job);

// populateBins done with the plain kernels (no progress, no log).
void populateBinsPlain(Sorvex& engine);

}  // namespace voting
