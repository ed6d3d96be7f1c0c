#include "engine/voting_reference.h"

#include "engine/sorvex.h"

namespace voting {

void castVotesPlain(BinSpace& bins, const VoteJob& job) {
  PreparedVote v;
  if (!prepareVote(job, v)) return;
  for (int i = 0; i < BinSpace::kCountTheta; i += BinSpace::kStride) {
    for (int j = 0; j < BinSpace::kCountPhi; j += BinSpace::kStride) {
      for (int k = 0; k < BinSpace::kCountD; k += BinSpace::kStride) {
        const Bin& bin = bins.latticeBin(i, j, k);
        const Column col = columnTerms(v, bin.normal);
        float delta;
        if (cellDistance(v, col, bin.normal, bin.d, delta)) bins.addVote(i, j, k, v.f, v.t, voteWeight(v, delta));
      }
    }
  }
}

void populateBinsPlain(Sorvex& engine) {
  engine.bins.clearBins();
  const QVector<VoteJob> jobs = voteJobsForFeatures(engine);
  for (const VoteJob& job : jobs) castVotesPlain(engine.bins, job);
}

}  // namespace voting
