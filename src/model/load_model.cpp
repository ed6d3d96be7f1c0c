#include "engine/sorvex.h"

// Placeholder until model loading lands.
bool Sorvex::loadModel(const char*, const char*, const char*, bool) { return false; }
