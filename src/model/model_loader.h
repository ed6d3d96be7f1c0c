#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <thread>

#include "model/loaded_model.h"

class Sorvex;

// Loads a model without blocking the thread it lives on (the GUI thread):
// buildModel runs on a worker with progress and cancellation, then the
// engine's installModel puts the result in place in one short step back on
// this object's thread. The previous model stays whole and usable until
// then. One load at a time; a load is refused while the engine's run is
// active (and the window refuses a run while a load is active).
class ModelLoader : public QObject {
  Q_OBJECT

 public:
  explicit ModelLoader(Sorvex* engine, QObject* parent = nullptr);
  ~ModelLoader() override;

  // Starts loading; false (nothing started) while a load or a run is active.
  // An empty segmentation path means the model's own "_0.seg" file.
  bool start(const QString& path, const QString& label, const QString& segmentationPath, bool loadHumanCuts);
  // Asks the active load to stop; it ends with finished(false, true).
  void cancel();
  bool isActive() const { return active_; }
  // Why the last load failed, in a few words (empty after a load that
  // succeeded, was cancelled, or failed without a known reason).
  QString failure() const { return failure_; }

 signals:
  // Thousandths of the build and the stage's name (queued from the worker).
  void progress(int thousandths, const QString& stage);
  // The load has ended: installed (`loaded`), failed, or cancelled.
  void finished(bool loaded, bool cancelled);

 private:
  void built(bool ok);

  Sorvex* engine_;
  bool active_ = false;
  QString label_;
  QString failure_;
  bool loadHumanCuts_ = false;
  std::shared_ptr<LoadControl> control_;
  std::shared_ptr<LoadedModel> model_;
  std::thread worker_;
};
