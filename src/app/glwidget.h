#pragma once

#include <QColor>
#include <QGLWidget>
#include <QList>
#include <QString>
#include <functional>
#include <map>
#include <memory>

#include "view/camera.h"
#include "view/draw_options.h"
#include "view/picking.h"

class QProgressBar;
class QPushButton;
class QCheckBox;
class QLabel;
class QDoubleSpinBox;
class QSpinBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QWheelEvent;
class QStatusBar;
class QAction;
class UndoHistory;
struct EditState;
class ModelLoader;
class PlaneJournal;
class QTimer;
class SideGLWidget;
class Sorvex;

// The main 3-D view. It creates the engine and the control widgets; the
// slots read the widgets, call the engine and refresh the views.
class GLWidget : public QGLWidget {
  Q_OBJECT

 public:
  explicit GLWidget(QWidget* parent = nullptr);
  ~GLWidget() override;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  Sorvex* engine() const { return engine_; }
  void setSideView(SideGLWidget* side) { sideView_ = side; }
  SideGLWidget* sideView() const { return sideView_; }
  Camera& camera() { return camera_; }

  // Frames the current model: eye on the (1, 1, 1) diagonal at twice the
  // bounding radius from the centre.
  void initView();

  // Builds and returns the control panel (configures the control widgets).
  QWidget* buildControlPanel();

  // What picking needs of this view: its engine, camera, drawing options and viewport.
  PickContext pickContext();
  int viewportWidth() const { return viewportWidth_; }
  int viewportHeight() const { return viewportHeight_; }

  // Writes the ten start weights into the feature weight spin boxes.
  void resetFeatureWeights();

  // The user-facing side effects of the actions, replaceable so that tests
  // can drive them without a blocking dialog. chooseModelFile returns an
  // empty string when the user cancels; showMessage shows a modal message.
  std::function<QString(QWidget* parent, const QString& caption, const QString& dir, const QString& filter)>
      chooseModelFile;
  std::function<void(QWidget* parent, const QString& text)> showMessage;
  // Asks a yes/no question; true for yes.
  std::function<bool(QWidget* parent, const QString& text)> askQuestion;

  // After an abnormal end of an earlier window, offers to restore the
  // planes its journal kept (model and planes; in the study also the
  // sequence position). Returns true when a restore was started.
  bool offerPlaneRestore();
  // The journal of this window's planes (export/plane_journal.h); null when
  // its folder cannot be used.
  const PlaneJournal* planeJournal() const { return journal_.get(); }
  // Writes the journal now if the planes changed since it was last written
  // (a timer does this four times a second).
  void keepJournal();

  // ---- navigation (glwidget_navigation.cpp) ----
  // F: frames the model from the current direction. Home: the opening view
  // (initView). Presets look at the model from +Z (front), +X (right) or +Y
  // (top), or from the opposite side when `opposite` is set.
  enum class ViewPreset { Front, Right, Top };
  void fitView();
  void resetView();
  void presetView(ViewPreset preset, bool opposite = false);

  // ---- undo and redo of plane and mesh edits ----
  // Ctrl+Z and Ctrl+Shift+Z; the window adds both actions so that they work
  // wherever the focus is (a text field keeps its own undo). A drag is one
  // step; loading a model clears the history.
  QAction* undoAction() const { return undoAction_; }
  QAction* redoAction() const { return redoAction_; }
  const UndoHistory& undoHistory() const { return *history_; }
  bool undoEdit();
  bool redoEdit();

  // Loads `path` as "Load..." does once a file is chosen: the same checks,
  // messages and clean-up. Returns false when no load was started (a run or
  // another load is active).
  bool loadModelFile(const QString& path);
  // Called with the path after every model loaded through loadModelFile.
  std::function<void(const QString& path)> modelLoaded;
  // A short message in the status line for an action; the guidance line
  // comes back a few seconds later.
  void showActionStatus(const QString& text);

 public slots:
  void ExportOBJ();
  void ExportContours();
  void ExportSVG();
  void LoadInputMesh();
  void LoadInputMeshFromSequence();
  // Back to the model before the one on screen in the sequence, with the
  // planes it had when it was left (PgUp in the view does the same).
  void LoadPreviousModelFromSequence();
  void AddNewPlane();
  void SetPlaneManipulation_Default();
  void SetPlaneManipulation_ThreeBall();
  void SelectPlane();
  void EraseCurrentPlane();
  void ClearAllPlanes();
  void UpdatePlaneList();
  void SetUseSegmentations();
  void SetHermiteInterp();
  void SetHermiteTanFactor();
  void SetAlgoFeatureParameters();
  void DoBinningAlgorithm();
  void ToggleUseHumanPlaneCuts();
  void ToggleDrawBinSpace();
  void ComputeMatrixA();
  void DoAnalysisOnUserData();
  void MeshDecimate();
  void MeshNoisify();
  void CutsSegmentify();
  void SetAutoCompanions();
  void SaveSegmentation();
  void SaveSymmetry();
  void UpdateUI();
  // Connected to the engine thread's finished(): parameter changes made
  // during the run reach the engine once the thread has really ended.
  void ApplyPendingParameters();

 signals:
  // A long action that blocks the window starts (true, what it does) or
  // ends (false); meanwhile the cursor waits and the progress bar is busy.
  void busyChanged(bool busy, const QString& what);

 public:
  // True while a model load started from the panel is building or installing.
  bool loadActive() const;
  // Plane-list refreshes so far (hover moves make one per frame at most,
  // however many arrive).
  int planeListRefreshCount() const { return planeListRefreshes_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;

 public:
  // ---- view state ----
  DrawOptions drawOptions;
  QColor backgroundColour;
  int lastMouseX = 0;
  int lastMouseY = 0;

  // ---- model sequence ----
  int sequenceIndex = 0;
  QList<QString> sequencePaths;
  QList<QString> sequenceLabels;
  QList<QString> sequenceSegmentationPaths;

  // ---- help and progress under the view (placed by the window) ----
  // One line of guidance on the left, the sequence position ("Model k of
  // 19", then "Study complete") as a permanent label on the right.
  QStatusBar* statusBar = nullptr;
  QLabel* sequenceProgressLabel = nullptr;
  // True once the study build has gone past the last model of the sequence.
  bool studyComplete() const { return studyComplete_; }
  // Planes that changed since the last successful export of them ("Export
  // OBJ File"; in the research window also the contour and SVG exports) or
  // since the model was loaded: no file holds them as they are.
  bool hasUnexportedPlanes() const;
  // Before the window closes with unexported planes: asks whether to export
  // them first, close without them or cancel. True when it may close.
  bool confirmClosing();

  // ---- control widgets created by the constructor ----
  QProgressBar* progressBar = nullptr;
  QPushButton* meshDecimateButton = nullptr;
  QPushButton* meshNoisifyButton = nullptr;
  QPushButton* cutsSegmentifyButton = nullptr;
  // Research only: companion data computed where a model has no file.
  QCheckBox* autoSegmentationCheck = nullptr;
  QCheckBox* autoSymmetryCheck = nullptr;
  QPushButton* saveSegmentationButton = nullptr;
  QPushButton* saveSymmetryButton = nullptr;
  // The loaded model's warnings and a run that accepted no plane.
  QLabel* modelWarningsLabel = nullptr;
  QCheckBox* coverAllSegmentsCheck = nullptr;
  QCheckBox* featureCheck[10] = {};
  QDoubleSpinBox* featureWeightSpin[10] = {};
  QDoubleSpinBox* featureRadiusSpin[10] = {};

  // ---- control panel widgets, configured by buildControlPanel ----
  // First column.
  QSpinBox* seedSpin = nullptr;
  QLineEdit* modelPathEdit = nullptr;
  QPushButton* loadFromSequenceButton = nullptr;
  QPushButton* previousModelButton = nullptr;
  QPushButton* loadButton = nullptr;
  QCheckBox* vertCheck = nullptr;
  QCheckBox* edgeCheck = nullptr;
  QCheckBox* triCheck = nullptr;
  QPushButton* addNewButton = nullptr;
  QListWidget* planeList = nullptr;
  QRadioButton* defaultManipulationRadio = nullptr;
  QRadioButton* threeBallManipulationRadio = nullptr;
  QPushButton* eraseCurrentButton = nullptr;
  QLineEdit* exportFolderEdit = nullptr;
  QPushButton* exportObjButton = nullptr;
  QPushButton* exportContoursButton = nullptr;
  QPushButton* exportMatrixButton = nullptr;
  QPushButton* exportSvgButton = nullptr;
  QPushButton* clearAllButton = nullptr;
  // Second column.
  QPushButton* binningButton = nullptr;
  QDoubleSpinBox* binSelectThresholdSpin = nullptr;
  QSpinBox* planeCountSpin = nullptr;  // "Planes": 0 for the threshold rule
  QDoubleSpinBox* curvatureThresholdSpin = nullptr;
  QDoubleSpinBox* curvatureSmoothSpin = nullptr;
  QComboBox* smoothingCombo = nullptr;  // "Smoothing": Auto, Exact, Fast (SmoothingMethod order)
  QCheckBox* drawMeshFeaturesCheck = nullptr;
  QCheckBox* drawOutputCheck = nullptr;
  QCheckBox* outputTriangulateCheck = nullptr;
  QCheckBox* outputColouredCheck = nullptr;
  QCheckBox* humanCutsCheck = nullptr;
  QCheckBox* useSegmentationCheck = nullptr;
  QCheckBox* hermiteInterpCheck = nullptr;
  QDoubleSpinBox* hermiteTanFactorSpin = nullptr;
  QCheckBox* drawBinSpaceCheck = nullptr;
  QCheckBox* annotateModeCheck = nullptr;
  // Research "Run" group: clear the plane list when a run starts (off: the
  // run adds its planes after the earlier ones).
  QCheckBox* clearPlanesOnRunCheck = nullptr;

 protected:
  // True while the engine's plane-selection run is active. Actions that
  // change the model or the plane list are refused meanwhile.
  virtual bool selectionRunActive() const;

 private:
  // Creates the control widgets, unconfigured (constructor step).
  void createControlWidgets();
  // Tooltips and the first status line (study_help.cpp).
  void applyHelpTexts();
  void applyResearchHelpTexts();
  // Before a model with unexported planes is left: asks whether to export
  // them first, leave them or stay. True when the caller may go on (after an
  // export that succeeded, if that was chosen).
  bool confirmLeavingModel();
  // The question of confirmLeavingModel, for leaving the model (false) or
  // closing the window (true).
  bool confirmUnexportedPlanes(bool closing);
  // Loads the model at `position` of the sequence with `button` as its
  // cancel button; a model visited before comes back with its planes.
  void loadSequenceModel(int position, QPushButton* button);
  // The model at `position` gets the planes it had when it was left back
  // (after its load); nothing happens for a model not visited before.
  void restoreKeptPlanes(int position);
  // The sequence position of the model on screen; -1 when it did not come
  // from the sequence (or the study is complete).
  int sequenceShown_ = -1;
  // The planes each visited sequence model had when it was left, by
  // position, for the session; whether they were exported as they stand.
  struct KeptPlanes;
  std::map<int, std::shared_ptr<const KeptPlanes>> keptPlanes_;
  std::shared_ptr<const KeptPlanes> keepPlanesOnScreen() const;
  // Taken when a load starts: the planes of the model it replaces.
  std::shared_ptr<const KeptPlanes> leaving_;
  int leavingPosition_ = -1;
  // The seed field after the order is fixed: disabled, and saying why.
  void lockSeed();
  // The sequence position and the guidance for the model just loaded.
  void showSequenceStatus();
  // The press after the last model of the study: no more models.
  void finishStudy();
  // Refuses an export when no model is loaded; returns true then.
  bool refuseExportWithoutModel();
  bool studyComplete_ = false;
  size_t exportedState_ = 0;  // journalFingerprint() at the last export of the planes

  // The busy sign for the length of a scope (see busyChanged).
  class BusyScope {
   public:
    BusyScope(GLWidget* view, const QString& what);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    GLWidget* view_;
    int minimum_ = 0, maximum_ = 0;  // the bar's range before
  };
  // Vertices that some face uses, and faces, of the render mesh.
  struct MeshCounts {
    int usedVertices = 0;
    int faces = 0;
  };
  MeshCounts meshCounts() const;

  // Tells the user that a run is in progress when one is; returns true then.
  bool refuseDuringRun();
  // Pushes the section options (segmentation, Hermite) into the engine and
  // recomputes every section.
  void applySectionOptions();
  // Pushes the algorithm parameters of the feature grid and the three
  // thresholds into the engine.
  void applyAlgoParameters();
  // Logs the unit-ball warning for a model that reaches outside it; the
  // research configuration also shows it in a message box, once per session.
  void warnIfOutsideUnitBall();
  // "Unable to load input <path>." and, on the next line, why.
  QString loadFailureMessage(const QString& path) const;
  bool unitBallBoxShown_ = false;
  // Shows the model's warnings under the run's controls (research).
  void showModelWarnings();
  // Writes the loaded model's "<model><suffix>" into the export folder with
  // `write` and says how it went.
  void saveCompanion(const QString& suffix, bool loaded, const std::function<bool(const QString&, QString*)>& write);
  // Repaints the main view, and the side view when asked.
  void redraw(bool withSideView = false);
  // Starts loading a model on the loader; `done` runs on this thread when
  // the load has ended (installed, failed or cancelled). Returns false when
  // nothing was started.
  bool startModelLoad(const QString& path, const QString& label, const QString& segmentationPath, QPushButton* button,
                      std::function<void(bool loaded, bool cancelled)> done);
  // The progress bar back to its idle look after a load.
  void resetProgress();
  // A refresh of the plane list and a repaint at the next frame; requests
  // until then merge into that one (hover moves arrive faster than frames).
  void scheduleFrameRefresh();
  // Gives this view the keyboard focus unless a text field holds it.
  void giveKeyboardToView();
  // Selects the plane list row of the engine's current plane (no row when
  // there is none) without acting on the selection.
  void showCurrentPlaneInList();

  // The plane whose last stroke the running annotation drag extends; -1 none.
  int openStrokePlane_ = -1;

  // ---- undo (glwidget_navigation.cpp) ----
  // Stores the state from before an edit that is about to happen.
  void recordEdit(const QString& label, bool withMesh = false);
  // A drag or stroke: the state at the press, stored at the release when
  // the planes changed.
  void beginEditStep(const QString& label);
  void finishEditStep();
  // Undo (false) or redo (true) one step; says so in the status line.
  bool stepHistory(bool forward);
  // The panel and views after the engine's state was swapped by undo/redo.
  void showRestoredState(bool meshChanged);
  void updateUndoActions();
  std::unique_ptr<UndoHistory> history_;
  std::unique_ptr<EditState> openStep_;
  QAction* undoAction_ = nullptr;
  QAction* redoAction_ = nullptr;
  // X, Y or Z pressed on this view without a modifier: its release aligns.
  int alignKey_ = 0;
  // A hover awaits the next frame to set the cursor over the glyph.
  bool hoverPending_ = false;
  void updateHoverCursor();
  QString guidance_;  // the status line an action message returns to
  QTimer* statusRestore_ = nullptr;

  // Changes the user made while a run was active; applied when it ends.
  bool pendingAlgoParameters_ = false;
  bool pendingSectionOptions_ = false;
  // Planes in the list when the last run started and kept by it.
  int runPlanesBefore_ = 0;

  // The journal: cleared after an export or a deliberate load and on a
  // normal close; `journalState_` fingerprints what it holds.
  void startJournal();
  void clearJournal();
  size_t journalFingerprint() const;
  std::unique_ptr<PlaneJournal> journal_;
  QTimer* journalTimer_ = nullptr;
  size_t journalState_ = 0;
  QString loadedSegmentation_;  // the segmentation file of the loaded model

  QWidget* controlHolder_ = nullptr;  // hidden owner of the controls no panel shows
  ModelLoader* loader_ = nullptr;
  bool loaderWired_ = false;                 // the loader's signals are connected
  QPushButton* loadCancelButton_ = nullptr;  // the load button while it cancels
  QString loadButtonText_;
  std::function<void(bool, bool)> loadDone_;
  QTimer* frameRefresh_ = nullptr;
  int planeListRefreshes_ = 0;
  bool autoSelectPending_ = false;  // a hover in "Annotate Mode" awaits the next frame

  Camera camera_;
  Sorvex* engine_ = nullptr;
  SideGLWidget* sideView_ = nullptr;
  int viewportWidth_ = 0;
  int viewportHeight_ = 0;
};
