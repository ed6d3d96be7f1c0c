#pragma once

// Tallies of the user-cut analysis (Sorvex::analyzeUserCuts).
struct UserCutCounts {
  int runCuts = 0;        // cuts examined by this run
  int runUncovered = 0;   // of those, cuts in a bin without votes
  int cutsSeen = 0;       // every cut examined since the program started
  int cutsUncovered = 0;  // of those, the uncovered ones
};

// Feature name the uncovered-cut line shows when no bin holds a vote.
constexpr const char* kNoVotedBinName = "(no voted bin)";
