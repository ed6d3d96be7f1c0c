#include "app/main_menu.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include "app/glwidget.h"
#include "app/recent_files.h"
#include "app/window.h"

MainMenu::MainMenu(Window* window) : QObject(window), window_(window), recent_(new RecentFiles) {
  GLWidget* view = window->mainView();
  menuBar_ = new QMenuBar(window);
  menuBar_->setObjectName(QStringLiteral("mainMenuBar"));
  chooseSaveFile = [](QWidget* parent, const QString& caption, const QString& suggested) {
    return QFileDialog::getSaveFileName(parent, caption, suggested, tr("PNG Images (*.png)"));
  };

  // ---- File ----
  QMenu* file = menuBar_->addMenu(tr("&File"));
  file->setObjectName(QStringLiteral("fileMenu"));
  QAction* load = file->addAction(tr("&Load..."), view, &GLWidget::LoadInputMesh);
  load->setObjectName(QStringLiteral("loadAction"));
  load->setShortcut(QKeySequence::Open);
  load->setStatusTip(tr("Load an OFF, OBJ or other model file (also: drop a file onto the window)"));
  recentMenu_ = file->addMenu(tr("Recent &Files"));
  recentMenu_->setObjectName(QStringLiteral("recentMenu"));
  recentMenu_->setToolTipsVisible(true);
  QMenu* exportMenu = file->addMenu(tr("&Export"));
  exportMenu->setObjectName(QStringLiteral("exportMenu"));
  struct ExportEntry {
    const char* name;
    QString text;
    QString tip;
    void (GLWidget::*slot)();
  };
  const ExportEntry exports[] = {
      {"exportObjAction", tr("&OBJ Files"), tr("The planes, their slabs and the model as OBJ files"),
       &GLWidget::ExportOBJ},
      {"exportContoursAction", tr("&Contours"), tr("The planes' contours as a .contour file"),
       &GLWidget::ExportContours},
      {"exportSvgAction", tr("&SVG Drawing"), tr("The planes' sections as an SVG drawing"), &GLWidget::ExportSVG},
      {"exportMatrixAction", tr("&Matrix A and C"), tr("The feature matrix file AandC.m"), &GLWidget::ComputeMatrixA},
      {"exportSegmentationAction", tr("Se&gmentation"), tr("The model's segmentation as a _0.seg file"),
       &GLWidget::SaveSegmentation},
      {"exportSymmetryAction", tr("S&ymmetry"), tr("The model's symmetry as a .sym file"), &GLWidget::SaveSymmetry},
  };
  for (const ExportEntry& entry : exports) {
    QAction* action = exportMenu->addAction(entry.text, view, entry.slot);
    action->setObjectName(QLatin1String(entry.name));
    action->setStatusTip(entry.tip);
  }
  QAction* shot = file->addAction(tr("Save &Screenshot as PNG..."), this, [this, view] {
    if (!chooseSaveFile) return;
    const QString suggested = QFileInfo(view->modelPathEdit->text()).completeBaseName();
    QString path =
        chooseSaveFile(window_, tr("Save Screenshot"),
                       (suggested.isEmpty() ? QStringLiteral("korvane") : suggested) + QStringLiteral(".png"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".png");
    saveScreenshot(path);
  });
  shot->setObjectName(QStringLiteral("screenshotAction"));
  shot->setStatusTip(tr("Save the 3-D view as it is now as a PNG image"));
  file->addSeparator();
  QAction* quit = file->addAction(tr("&Quit"), window, &QWidget::close);
  quit->setObjectName(QStringLiteral("quitAction"));
  quit->setShortcut(QKeySequence::Quit);
  quit->setStatusTip(tr("Close the window"));

  // ---- Edit ----
  QMenu* edit = menuBar_->addMenu(tr("&Edit"));
  edit->setObjectName(QStringLiteral("editMenu"));
  edit->addAction(view->undoAction());
  edit->addAction(view->redoAction());

  // ---- View ----
  QMenu* viewMenu = menuBar_->addMenu(tr("&View"));
  viewMenu->setObjectName(QStringLiteral("viewMenu"));
  addViewAction(viewMenu, tr("&Fit Model"), QStringLiteral("F"), tr("Frame the whole model from the current direction"),
                [view] { view->fitView(); })
      ->setObjectName(QStringLiteral("fitAction"));
  addViewAction(viewMenu, tr("&Reset View"), QStringLiteral("Home"), tr("Back to the opening view of the model"),
                [view] { view->resetView(); })
      ->setObjectName(QStringLiteral("resetViewAction"));
  viewMenu->addSeparator();
  addViewAction(viewMenu, tr("F&ront"), QStringLiteral("1"), tr("Look along -Z (Ctrl+1: from the back)"), [view] {
    view->presetView(GLWidget::ViewPreset::Front);
  })->setObjectName(QStringLiteral("frontViewAction"));
  addViewAction(viewMenu, tr("R&ight"), QStringLiteral("3"), tr("Look along -X (Ctrl+3: from the left)"), [view] {
    view->presetView(GLWidget::ViewPreset::Right);
  })->setObjectName(QStringLiteral("rightViewAction"));
  addViewAction(viewMenu, tr("&Top"), QStringLiteral("7"), tr("Look down along -Y (Ctrl+7: from below)"), [view] {
    view->presetView(GLWidget::ViewPreset::Top);
  })->setObjectName(QStringLiteral("topViewAction"));
  viewMenu->addSeparator();
  addDrawToggle(viewMenu, view->vertCheck, tr("Show the model's vertices"));
  addDrawToggle(viewMenu, view->edgeCheck, tr("Show the model's edges"));
  addDrawToggle(viewMenu, view->triCheck, tr("Show the model's surface"));
  addDrawToggle(viewMenu, view->drawMeshFeaturesCheck, tr("Show the features the run votes with"));
  addDrawToggle(viewMenu, view->drawOutputCheck, tr("Show the planes' slabs"));
  addDrawToggle(viewMenu, view->outputColouredCheck, tr("Colour the slabs by plane"));
  addDrawToggle(viewMenu, view->drawBinSpaceCheck, tr("Show the bin space in a window of its own"));

  // ---- Help ----
  QMenu* help = menuBar_->addMenu(tr("&Help"));
  help->setObjectName(QStringLiteral("helpMenu"));
  // F1 itself is the window's shortcut; the menu only names it.
  QAction* sheet = help->addAction(tr("&Mouse and Keys") + QStringLiteral("\tF1"), window, &Window::showShortcutSheet);
  sheet->setObjectName(QStringLiteral("shortcutsAction"));
  sheet->setStatusTip(tr("Every mouse and key action of the view"));
  QAction* about = help->addAction(tr("&About Korvane"), this, [view] {
    if (view->showMessage)
      view->showMessage(view, tr("Korvane (research build)\n\nAbstracts a triangle mesh by a few planar sections: "
                                 "place cut planes by hand or let the binning run choose them, then export the "
                                 "planes and their slabs."));
  });
  about->setObjectName(QStringLiteral("aboutAction"));
  about->setStatusTip(tr("What this program is"));

  for (QMenu* menu : menuBar_->findChildren<QMenu*>()) menu->setToolTipsVisible(true);

  // A model loaded through "Load...", a recent entry or a drop joins the list.
  view->modelLoaded = [this](const QString& path) {
    recent_->add(QFileInfo(path).absoluteFilePath());
    rebuildRecentMenu();
  };
  const QStringList dropped = recent_->dropMissing();
  if (!dropped.isEmpty())
    view->showActionStatus(tr("%n recent file(s) no longer exist and left the list", "", dropped.size()));
  rebuildRecentMenu();
}

MainMenu::~MainMenu() = default;

QAction* MainMenu::addViewAction(QMenu* menu, const QString& text, const QString& key, const QString& tip,
                                 const std::function<void()>& act) {
  // The key is shown, not bound: the view handles it while it has the focus.
  QAction* action = menu->addAction(text + QLatin1Char('\t') + key, this, act);
  action->setStatusTip(tip);
  action->setToolTip(tip + tr(" (%1 in the view)").arg(key));
  return action;
}

void MainMenu::addDrawToggle(QMenu* menu, QCheckBox* box, const QString& tip) {
  if (!box) return;
  QAction* action = menu->addAction(box->text());
  action->setObjectName(box->text().remove(QLatin1Char('&')).remove(QLatin1Char(' ')) + QStringLiteral("Toggle"));
  action->setCheckable(true);
  action->setChecked(box->isChecked());
  action->setStatusTip(tip);
  action->setToolTip(tip);
  // A click, so that whatever the box is wired to (clicked or toggled) runs.
  connect(action, &QAction::toggled, box, [box](bool on) {
    if (box->isChecked() != on) box->click();
  });
  connect(box, &QCheckBox::toggled, action, &QAction::setChecked);
}

void MainMenu::rebuildRecentMenu() {
  recentMenu_->clear();
  const QStringList& paths = recent_->paths();
  for (int i = 0; i < paths.size(); ++i) {
    const QString path = paths[i];
    QAction* action = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()), this,
                                             [this, path] { openRecent(path); });
    action->setToolTip(path);
    action->setStatusTip(path);
  }
  if (paths.isEmpty()) recentMenu_->addAction(tr("(none yet)"))->setEnabled(false);
  recentMenu_->addSeparator();
  QAction* clear = recentMenu_->addAction(tr("&Clear List"), this, [this] {
    recent_->clear();
    scheduleRecentMenu();
  });
  clear->setObjectName(QStringLiteral("clearRecentAction"));
  clear->setEnabled(!paths.isEmpty());
}

void MainMenu::scheduleRecentMenu() {
  // NOTE: the entry being triggered is one of the actions a rebuild deletes.
  QTimer::singleShot(0, this, &MainMenu::rebuildRecentMenu);
}

void MainMenu::openRecent(const QString& path) {
  GLWidget* view = window_->mainView();
  if (!QFileInfo(path).isFile()) {
    recent_->dropMissing();
    scheduleRecentMenu();
    if (view->showMessage)
      view->showMessage(view, tr("%1 no longer exists; it has been removed from the recent files.").arg(path));
    return;
  }
  view->loadModelFile(path);
}

bool MainMenu::saveScreenshot(const QString& path) {
  GLWidget* view = window_->mainView();
  const QImage image = view->grabFrameBuffer();
  if (image.isNull() || !image.save(path, "PNG")) {
    if (view->showMessage) view->showMessage(view, tr("Unable to save the screenshot to %1.").arg(path));
    return false;
  }
  view->showActionStatus(tr("Screenshot saved to %1").arg(QDir::toNativeSeparators(path)));
  return true;
}
