#include "engine/sorvex.h"

// Placeholder until the plane-selection run lands.
void Sorvex::run() {
  emit percentComplete(1000);
  emit algoFinished();
}
