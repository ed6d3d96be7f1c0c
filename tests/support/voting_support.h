#pragma once

class Sorvex;

namespace testsupport {

// One engine shared by the voting tests (each engine holds an 800k-bin
// space), reset for the next test: no features, pieces or support planes,
// every type enabled with weight 1 and radius 0.1, empty bins.
Sorvex& votingEngine();

}  // namespace testsupport
