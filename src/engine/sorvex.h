#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QThread>
#include <QVector>
#include <atomic>
#include <memory>

#include "engine/bin_space.h"
#include "engine/cut_plane.h"
#include "engine/state_lock.h"
#include "engine/vec3.h"
#include "model/derived_companions.h"
#include "sections/section_plane.h"
#include "trimesh/smoothing_method.h"

class Camera;
struct LoadedModel;
struct UserCutCounts;
class RenderMesh;
class TriMesh;

namespace humancuts {
struct HumanCutRows;
}  // namespace humancuts

// The engine: owns the loaded model, every feature list, the bin space, the
// section planes and the algorithm parameters. The plane-selection run is the
// body of this thread; it reports only through the two signals.
class Sorvex : public QThread {
  Q_OBJECT

 public:
  static constexpr int kNoPlane = 2147483647;

  explicit Sorvex(Camera* camera);
  ~Sorvex() override;

  // ---- setters driven by the control panel ----
  void setUseSegmentation(bool on) { useSegmentation = on; }
  void setHermiteInterp(bool on) { hermiteInterp = on; }
  void setHermiteTanFactor(float f) { hermiteTanFactor = f; }
  void setFeatureEnabled(const bool enabled[kFeatureTypeCount]);
  void setFeatureWeights(const float weights[kFeatureTypeCount]);
  void setFeatureRadii(const float radii[kFeatureTypeCount]);
  void setCurvatureSmooth(double s) { curvatureSmooth = float(s); }
  void setSmoothingMethod(SmoothingMethod m) { smoothingMethod = m; }
  void setCurvatureThreshold(double t) { curvatureThreshold = float(t); }
  void setBinSelectThreshold(float t) { bins.setBinSelectThreshold(t); }
  void setCoverAllSegments(bool on) { coverAllSegments = on; }
  void setTargetPlaneCount(int n) { targetPlaneCount = n > 0 ? n : 0; }
  void setKeepPlanesOnRun(bool on) { keepPlanesOnRun = on; }

  // ---- plane list ----
  void clearPlanes();
  void addPlane(const SectionPlane& plane);
  void erasePlane(int index);
  void selectPlane(int p);
  bool addNewPlane();
  void alignCurrentPlane(const Vec3& axis);
  bool hasCurrentPlane() const { return currentPlane >= 0 && currentPlane < planes.size(); }

  // ---- model loading (load_model.cpp, model_loader.h) ----
  // Loads a model with its companion files (GUI thread only): builds it with
  // buildModel, then installModel. Returns true when the render mesh was
  // loaded. Refused (false) while a run is active.
  bool loadModel(const char* path, const char* label, const char* segmentationPath, bool loadHumanCuts);
  // Puts a model built by buildModel in place of the current one, in one
  // short step under stateMutex: mesh, curvature mesh, companion data, an
  // empty plane list, empty feature lists, bins and selected bins. The
  // previous model's meshes, segmentation and votes are left in `model` for
  // the caller to release (off the GUI thread, for a large model). Then
  // reads the participants' cuts when asked. Refused (false) while a run is
  // active or when `model` holds no mesh.
  bool installModel(LoadedModel& model, const QString& label, bool loadHumanCuts);
  // Reads the study participants' cuts of the loaded model (end of loadModel):
  // gatherHumanCuts, then recordHumanCutRows.
  void readHumanCuts(const QString& label);
  // The per-model part: reads the files, keeps the cuts with a section,
  // votes them into the bins and finds the consensus planes and the unique
  // cuts (appended to humanCuts, humanCutColours, planes, uniqueHumanCuts).
  void gatherHumanCuts(humancuts::HumanCutRows& rows);
  // The study tables and their report: the model's label and rows appended,
  // the report written.
  void recordHumanCutRows(const QString& label, const humancuts::HumanCutRows& rows);

  // ---- study analysis (src/export/user_cut_analysis.cpp) ----
  // Lets the current features vote and keeps in humanCuts only the cuts whose
  // bin received no vote; each of those adds the plane of the nearest voted
  // bin to `planes`. Refuses (false, nothing changed) while a run is active.
  // `counts`, when given, receives this run's and the process-wide tallies.
  bool analyzeUserCuts(UserCutCounts* counts = nullptr);

  // ---- segment and global feature families ----
  // Rebuilds segmentPlanes and segmentAxes from a PCA of every segment.
  void extractSegmentFeatures();
  // Corner positions of every face of `segment`, in face and corner order.
  QVector<Vec3> segmentVertices(int segment) const;
  // Rebuild globalXYZPlanes / globalPCAPlanes from all render-mesh vertices.
  void extractGlobalXYZ();
  void extractGlobalPCA();

  // ---- sections ----
  void updateSection(SectionPlane& plane);
  void updateAllSections();
  // The steps of updateSection, with the engine's mesh and settings.
  void computeSegments(SectionPlane& plane);
  void chainContours(SectionPlane& plane);
  void triangulateSlab(SectionPlane& plane);
  // Re-triangulates every plane that has contours (planes without keep theirs).
  void triangulateAllSlabs();

  // Coverage report of selected bin k (k indexes selectedBins).
  void printCoverageReport(int k) const;
  // Index into selectedBins of the bin that plane p was accepted from (its
  // geometry is still the one the run accepted), or -1.
  int selectedBinOfPlane(int p) const;

  // ---- ridge and valley families (ridge_features.cpp) ----
  void extractRidges();
  void extractValleys();

  // ---- plane-selection run (build_features.cpp, selection_run.cpp) ----
  // Runs the feature families and assembles `features`; progress 50 .. 250.
  void buildFeatures();
  // The thread body: features, votes, greedy selection with local search.
  // The run works on a private engine holding a copy of the model and the
  // parameters, and publishes into this one under stateMutex in short steps
  // (the cleared lists at the start, the features once built, the plane list
  // after every accepted plane, the bins at the end).
  void runSelection();
  // Starts the run on this thread with the given priority, without any stop
  // request left over from before.
  void startRun(QThread::Priority priority = QThread::InheritPriority);
  // Asks an active run to stop: it ends within about a second, keeping the
  // planes accepted so far, and emits its end signals as usual. Does
  // nothing when no run is active.
  void requestStop();
  // True once a stop was asked for the active run (on a run's private
  // engine: for the run it serves).
  bool stopRequested() const;
  // Hill climbing on the cross-section area over fractional bin coordinates.
  void localSearch(SectionPlane& plane, float step, float minStep);
  // Adds the segment id of every face the plane's segments cut.
  void coveredSegments(const SectionPlane& plane, QSet<int>& segments) const;

  // ---- voting (voting.cpp, support_features.cpp) ----
  // Clears the bins and lets every feature vote; progress 250 .. 750.
  void populateBins();
  // Vote kernels: a plane votes for planes near it, an axis for planes that
  // contain it, a slab for planes parallel to it within its band.
  void votePlane(const Vec3& normal, float d, float radius, int featureIndex, int featureType, float weight);
  void voteAxis(const Vec3& direction, const Vec3& point, float radius, int featureIndex, int featureType,
                float weight);
  void voteSlab(const Vec3& normal, const Vec3& point, float halfWidth, float radius, int featureIndex, int featureType,
                float weight);
  // Support features derived from a selected plane and its winning bin.
  void addPerpendicularSupport(const SectionPlane& selected, const Bin& winning);
  void addSymmetricSupport(const SectionPlane& selected, const Bin& winning);

  // ---- mesh editing (src/meshedit) ----
  // GUI thread only. Each returns false, with a debug line and nothing
  // changed, while the plane-selection run is active.
  // Removes about 40 % of the render mesh's vertices (flattest first), carries
  // the segmentation over, rebuilds the curvature mesh and every section.
  bool decimateMesh();
  // Adds Gaussian noise (sigma 0.001) to every vertex, rebuilds the curvature
  // mesh and every section.
  bool noisifyMesh();
  // Replaces every plane by one plane per mesh segment it cuts with a slab,
  // switches useSegmentation on and leaves no current plane.
  bool segmentCuts();
  // Replaces triMesh by a curvature mesh built from the render mesh, with
  // strips, normals, curvatures and derivatives smoothed by curvatureSmooth.
  bool syncTriMesh();

  // Bounds the views frame: the render mesh's, or radius 1 and the origin
  // when there is none.
  float modelRadius() const;
  Vec3 modelCentre() const;

  // Path of the loaded model (empty before the first load).
  const QString& modelPathString() const { return modelPath; }

 signals:
  void percentComplete(int thousandths);
  void algoFinished();

 public:
  // ---- state, in the order the rest of the system knows it ----
  const char* const* featureTypeNames = kFeatureTypeNames;
  RenderMesh* renderMesh = nullptr;
  Camera* camera = nullptr;
  // Growable: a path of any length is stored whole.
  QString modelPath;
  std::shared_ptr<TriMesh> triMesh;
  QList<SectionPlane> planes;
  SectionPlane editPlane;
  int currentPlane = kNoPlane;
  int pickState[3] = {0, 0, 0};
  struct Viewport {
    int rect[4] = {0, 0, 0, 0};
    double modelView[16] = {};
    double projection[16] = {};
  } viewport;
  int segmentCount = 1;
  QVector<int> faceSegment;
  bool useSegmentation = false;
  bool hermiteInterp = true;
  float hermiteTanFactor = 1.0f;
  float curvatureSmooth = 0.05f;
  // The curvature filter of the next load or mesh edit ("Smoothing"): Auto
  // picks exact or fast by the expected neighbourhood (smoothing_method.h).
  // Read on the GUI thread only; the run does not copy it.
  SmoothingMethod smoothingMethod = SmoothingMethod::Auto;
  QList<Vec3> palette;
  QList<CutPlane> segmentPlanes;
  QList<Axis> segmentAxes;
  float curvatureThreshold = 15.0f;
  SectionPlane ridgeChainer;
  QList<Axis> ridgeAxes;
  QList<QList<SectionSegment>> ridgePieces;
  QList<Vec3> ridgeNormals;
  SectionPlane valleyChainer;
  QList<Axis> valleyAxes;
  QList<QList<SectionSegment>> valleyPieces;
  QList<Vec3> valleyNormals;
  QList<CutPlane> symmetryPlanes;
  QList<Axis> symmetryAxes;
  // Where the model's segmentation and symmetry came from, and the model's
  // warnings (set by installModel).
  CompanionReport companions;
  QList<CutPlane> globalXYZPlanes;
  QList<CutPlane> globalPCAPlanes;
  QList<CutPlane> perpendicularSupportPlanes;
  QList<CutPlane> symmetricSupportPlanes;
  QList<Feature> features;
  BinSpace bins;
  QVector<Bin> selectedBins;
  // The plane each selected bin became, as accepted (same index).
  QVector<CutPlane> selectedPlanes;
  float featureWeight[kFeatureTypeCount] = {};
  float featureRadius[kFeatureTypeCount] = {};
  bool featureEnabled[kFeatureTypeCount] = {};
  QList<QList<HumanCut>> humanCuts;
  QList<Vec3> humanCutColours;
  QList<CutPlane> uniqueHumanCuts;
  QList<QList<int>> humanCutCountTable;
  QList<QList<int>> uniqueCutCountTable;
  QList<QString> modelLabels;
  QList<QString> userNames;
  bool coverAllSegments = false;
  // 0: the run accepts bins while their vote total reaches the threshold.
  // N > 0: it accepts the strongest remaining bins until N planes are
  // accepted or no bin with votes is left.
  int targetPlaneCount = 0;
  // Off: a run starts by clearing the plane list. On: the planes in the list
  // when the run starts stay in front of the ones it accepts, also when it
  // is stopped (the window turns this on unless asked to clear).
  bool keepPlanesOnRun = false;
  // Where a model has no segmentation or symmetry file, loading computes
  // one ("Auto Segmentation", "Auto Symmetry"; the research window turns
  // both on). Off, a model without files is one segment with no symmetry.
  bool autoSegmentation = false;
  bool autoSymmetry = false;
  // What ended the last run (one of the kStop texts of selection_run.cpp),
  // published with its planes; empty before any run.
  QString runStopRule;
  // Cast votes with the plain one-bin-at-a-time kernels instead of the fast
  // ones. Both give the same bins; the plain ones are the yardstick that
  // tests and benchmarks compare whole runs against.
  bool plainVoting = false;
  // Likewise: smooth curvatures on loading with the plain one-thread filter,
  // and cut ridge lines with the plain piece-by-piece splitting.
  bool plainSmoothing = false;
  bool plainSplitting = false;

  // Guards the model, the plane list, the feature lists and the bins against
  // a reader on another thread. A selection run computes on a private copy
  // and holds it only for its short publishing steps; a load holds it only
  // while it installs the built model; drawing holds it while it reads.
  // The main view's paint (SceneRenderer::paintFrame) holds it for the whole
  // frame and reads planes, currentPlane, pickState, faceSegment, palette and
  // the feature lists under it. The mutex is not recursive: never repaint
  // synchronously (updateGL, repaint) while holding it; code that draws a
  // single pass outside the frame (the glyph picking) takes it itself.
  mutable StateLock stateMutex;

 protected:
  void run() override;

 private:
  // Copies the model, the parameters and the inputs of a run from `source`.
  void copyRunInputs(const Sorvex& source);
  // Publishes the run's feature lists, plane list and selected bins into
  // `target` (implicitly shared copies; the caller holds target's lock).
  void publishRunState(Sorvex& target) const;

  std::atomic<bool> stopRequested_{false};
  // A stop ended the last populateBins before every feature had voted.
  bool votingStopped_ = false;
  // Set on a run's private engine: the engine whose run it carries out.
  const Sorvex* runOwner_ = nullptr;
  // The planes kept in front of the active run's own (keepPlanesOnRun).
  QList<SectionPlane> runKeptPlanes_;
};
