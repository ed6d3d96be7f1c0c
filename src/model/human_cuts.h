#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "engine/vec3.h"
#include "sections/section_plane.h"

// The study participants' cut files and the constants of the consensus search.
namespace humancuts {

// Participants per model; user k (1 .. kUserCount) has one cut file per model.
constexpr int kUserCount = 12;
// Vote radius of one cut in the bin space.
constexpr float kVoteRadius = 0.08f;
// A bin whose total reaches this becomes a consensus plane. Each cut adds at
// most 1 to a bin, so it takes at least three cuts.
constexpr float kConsensusTotal = 2.75f;
// A cut at least this far (radians plus offset) from every consensus plane is
// unique.
constexpr float kUniqueDistance = 0.1f;
// Fields of a cut line: tag, normal (3), point (3), unused, r1 (3), r2 (3).
constexpr int kCutFieldCount = 14;

// Cut file of user k (1-based) for the model at `modelPath`:
// "../../userstudy/user" + k + the model's file name with its leading "/" +
// ".obj", relative to the working directory. A path without "/" is taken as
// a bare file name.
QString cutFilePath(const QString& modelPath, int user);

// Reads one cut line (fields separated by single spaces, empty fields kept;
// a trailing line break is ignored) into the head of `cut`: unit normal,
// point, r1, r2 and d = point . normal. The normal is scaled to unit length
// (the plane stays the same). Returns false, with the reason, for fewer than
// kCutFieldCount fields, a number that does not parse or is not finite, or a
// zero normal; `cut` is then unchanged.
bool parseCutLine(const QByteArray& line, HumanCut& cut, QString* reason = nullptr);

// Reads the cut file at `path` into the heads of `cuts` (geometry only, no
// section): line 1 carries the cut count K in field 1, line 2 is not used,
// the next K lines are cuts (parseCutLine). Lines keep at most 499
// characters; the rest of a longer line is skipped with a debug line, as are
// cut lines that do not parse. Returns false when the file cannot be opened
// or is not a regular file.
bool readCutFile(const char* path, QList<HumanCut>& cuts);

// Count in the study tables of a user without a cut file for the model.
constexpr int kMissingUserCount = -1;

// Distance of the planes (u, s) and (v, t), unit normals: the smaller of
// angle(u, v) + |s - t| and angle(-u, v) + |s + t|, angles in radians.
float planeDistanceRadians(const Vec3& u, float s, const Vec3& v, float t);

// A model's two rows of the study tables: cuts kept and unique cuts per user
// (kMissingUserCount for a user without a file).
struct HumanCutRows {
  QList<int> cutCounts;
  QList<int> uniqueCounts;
};

// The engine's settings that shape the participants' sections, votes and
// colours, read where the engine lives for a gathering elsewhere.
struct HumanCutSettings {
  bool useSegmentation = false;
  bool hermiteInterp = true;
  float hermiteTanFactor = 1.0f;
  bool plainVoting = false;
  QList<Vec3> palette;
};

// The participants' cuts of one model, gathered away from the engine (see
// gatherHumanCuts) for Sorvex::installModel to publish.
struct GatheredHumanCuts {
  bool gathered = false;
  QList<QList<HumanCut>> cuts;      // per file read
  QList<Vec3> colours;              // per file read
  QList<SectionPlane> consensus;    // the consensus planes, in order found
  QList<CutPlane> unique;           // cuts no consensus plane explains
  QList<Vec3> palette;              // the palette, as the colours left it
  HumanCutRows rows;
};

}  // namespace humancuts

class Sorvex;
struct LoadedModel;

// The settings of `engine` for gatherHumanCuts (on the engine's thread).
humancuts::HumanCutSettings humanCutSettingsOf(const Sorvex& engine);

// Reads, cuts and votes the participants' cuts of a built model on the
// calling thread, as Sorvex::readHumanCuts would once the model is
// installed: a private engine holds the model's meshes and segmentation and
// votes into model.emptyBins (which keeps the votes). The result goes to
// model.humanCuts.
void gatherHumanCuts(LoadedModel& model, const humancuts::HumanCutSettings& settings);
