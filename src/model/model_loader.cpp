#include "model/model_loader.h"

#include <QDebug>
#include <QFile>
#include <QMetaObject>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "engine/sorvex.h"

namespace {
// Scheduling niceness of the building threads (the GUI thread has 0).
constexpr int kBuildNice = 5;
}  // namespace

ModelLoader::ModelLoader(Sorvex* engine, QObject* parent) : QObject(parent), engine_(engine) {}

ModelLoader::~ModelLoader() {
  if (control_) control_->cancel = true;
  if (worker_.joinable()) worker_.join();
}

bool ModelLoader::start(const QString& path, const QString& label, const QString& segmentationPath,
                        bool loadHumanCuts) {
  if (active_ || !engine_) return false;
  if (engine_->isRunning()) {
    qDebug("Cannot load %s while the plane-selection run is in progress", path.toLocal8Bit().constData());
    return false;
  }
  if (worker_.joinable()) worker_.join();  // the previous build has already handed over
  active_ = true;
  label_ = label;
  loadHumanCuts_ = loadHumanCuts;
  control_ = std::make_shared<LoadControl>();
  control_->autoSegmentation = engine_->autoSegmentation;
  control_->autoSymmetry = engine_->autoSymmetry;
  control_->smoothing = engine_->smoothingMethod;
  model_ = std::make_shared<LoadedModel>();
  // The worker posts to this object only; the destructor stops and joins it
  // first, and posted calls die with the object.
  control_->progress = [this](int thousandths, const char* stage) {
    const QString text = QString::fromLatin1(stage);
    QMetaObject::invokeMethod(
        this, [this, thousandths, text] { emit progress(thousandths, text); }, Qt::QueuedConnection);
  };
  const QByteArray path8 = QFile::encodeName(path);
  const QByteArray seg8 = QFile::encodeName(segmentationPath);
  const float smooth = engine_->curvatureSmooth;
  // The participants' cuts are read, cut and voted beside the build too; the
  // install then only publishes them.
  std::shared_ptr<humancuts::HumanCutSettings> cutSettings;
  if (loadHumanCuts) cutSettings = std::make_shared<humancuts::HumanCutSettings>(humanCutSettingsOf(*engine_));
  std::shared_ptr<LoadControl> control = control_;
  std::shared_ptr<LoadedModel> model = model_;
  worker_ = std::thread([this, control, model, path8, seg8, smooth, cutSettings] {
    // Below the GUI thread: on a busy machine the window keeps its turn.
    // Threads the build starts (the smoothing's) inherit this.
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), kBuildNice);
    bool ok =
        buildModel(path8.constData(), seg8.isEmpty() ? nullptr : seg8.constData(), smooth, *model, control.get());
    if (ok && cutSettings && !control->cancel.load()) {
      if (control->progress) control->progress(1000, "Reading participants' cuts");
      gatherHumanCuts(*model, *cutSettings);
    }
    QMetaObject::invokeMethod(
        this, [this, ok] { built(ok); }, Qt::QueuedConnection);
  });
  return true;
}

void ModelLoader::cancel() {
  if (active_ && control_) control_->cancel = true;
}

void ModelLoader::built(bool ok) {
  if (worker_.joinable()) worker_.join();
  const bool wasCancelled = control_ && control_->cancel.load();
  bool loaded = false;
  if (ok && !wasCancelled) loaded = engine_->installModel(*model_, label_, loadHumanCuts_);
  failure_ = loaded || wasCancelled || !control_ ? QString() : control_->failure;
  control_.reset();
  // The previous model (or the unused new one) is released on a worker:
  // freeing a large mesh and the votes takes longer than a frame.
  std::shared_ptr<LoadedModel> spent = std::move(model_);
  worker_ = std::thread([spent = std::move(spent)]() mutable { spent.reset(); });
  active_ = false;
  emit finished(loaded, wasCancelled);
}
