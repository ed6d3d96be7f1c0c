#pragma once

// The build-time switch: on for the user-study build (korvane), off for the
// research build (korvane-research).
#ifndef KORVANE_STUDY_MODE
#define KORVANE_STUDY_MODE 1
#endif
constexpr bool studyMode = KORVANE_STUDY_MODE != 0;
