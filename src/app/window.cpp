#include "app/window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QMenuBar>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusTipEvent>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/glwidget.h"
#include "app/main_menu.h"
#include "app/study_help.h"
#include "app/study_mode.h"
#include "model/assimp_reader.h"
#include "view/side_glwidget.h"

Window::Window() : QWidget(nullptr) {
  mainView_ = new GLWidget(nullptr);
  mainView_->setMouseTracking(true);
  sideView_ = new SideGLWidget(mainView_->engine());
  sideView_->setMouseTracking(true);
  mainView_->setSideView(sideView_);
  sideView_->setMainView(mainView_);
  sideView_->setAnchorWindow(this);
  // Closing the bin-space window is the same as unticking "Draw Bin Space".
  connect(sideView_, &SideGLWidget::closed, mainView_, [this] {
    if (mainView_->drawBinSpaceCheck) mainView_->drawBinSpaceCheck->setChecked(false);
  });

  auto* mainLayout = new QHBoxLayout;
  auto* viewLayout = new QVBoxLayout;
  viewLayout->addWidget(mainView_);
  auto* viewHolder = new QWidget(nullptr);
  viewHolder->setLayout(viewLayout);
  // The view takes whatever width the panel does not need.
  mainLayout->addWidget(viewHolder, 1);
  panel_ = mainView_->buildControlPanel();
  // The status line sits under the view, out of the panel's way.
  viewLayout->addWidget(mainView_->statusBar);
  // The panel scrolls when the screen is lower than it: every control stays
  // within reach on a small laptop screen.
  panelScroll_ = new QScrollArea;
  panelScroll_->setObjectName(QStringLiteral("panelScroll"));
  panelScroll_->setFrameShape(QFrame::NoFrame);
  // A click on a control that takes no focus leaves the focus where it was,
  // not on the scroll area.
  panelScroll_->setFocusPolicy(Qt::NoFocus);
  panelScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  panelScroll_->setWidgetResizable(true);
  panelScroll_->setWidget(panel_);
  panelScroll_->setFixedWidth(panel_->sizeHint().width() + panelScroll_->verticalScrollBar()->sizeHint().width());
  mainLayout->addWidget(panelScroll_, 0);
  setLayout(mainLayout);
  setWindowTitle(tr("Korvane"));
  // F1 anywhere in the window opens the sheet of mouse and key actions.
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, &Window::showShortcutSheet);
  // Ctrl+Z and Ctrl+Shift+Z anywhere in the window (a text field with the
  // focus keeps them for its own text).
  addAction(mainView_->undoAction());
  addAction(mainView_->redoAction());
  if (!studyMode) {
    menu_ = new MainMenu(this);
    mainLayout->setMenuBar(menu_->menuBar());
    setAcceptDrops(true);
  }
  resize(openingSize());
}

Window::~Window() {
  // The side view is a window of its own, drawn from the main view's engine:
  // it goes first.
  delete sideView_;
  sideView_ = nullptr;
}

void Window::showShortcutSheet() {
  if (!shortcutSheet_) shortcutSheet_ = createShortcutSheet(this);
  shortcutSheet_->show();
  shortcutSheet_->raise();
  shortcutSheet_->activateWindow();
}

bool Window::isModelFilePath(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  return suffix == QLatin1String("off") || suffix == QLatin1String("obj") || isAssimpModelPath(path);
}

namespace {

// The first local file among the dragged URLs; empty when there is none.
QString droppedFile(const QMimeData* data) {
  if (!data || !data->hasUrls()) return QString();
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) return url.toLocalFile();
  return QString();
}

}  // namespace

void Window::dragEnterEvent(QDragEnterEvent* event) {
  // Any local file is taken, so that a wrong one gets a message on the drop.
  if (menu_ && !droppedFile(event->mimeData()).isEmpty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void Window::dropEvent(QDropEvent* event) {
  const QString path = droppedFile(event->mimeData());
  if (!menu_ || path.isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  if (!isModelFilePath(path) || !QFileInfo(path).isFile()) {
    if (mainView_->showMessage)
      mainView_->showMessage(mainView_,
                             tr("%1 is not a model file Korvane can load (OFF, OBJ, %2); the model on screen "
                                "stays.")
                                 .arg(QFileInfo(path).fileName(), assimpModelPatterns()));
    return;
  }
  mainView_->loadModelFile(path);
}

bool Window::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
    if (!tip.isEmpty()) mainView_->showActionStatus(tip);
    return true;
  }
  return QWidget::event(event);
}

void Window::closeEvent(QCloseEvent* event) {
  if (!mainView_->confirmClosing()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

QSize Window::openingSize() const {
  // The view at least as wide as the panel (and never below its minimum);
  // at least the two thirds of the screen a window gets by default; at most
  // the screen.
  const QMargins outer = layout()->contentsMargins();
  const QMargins inner = mainView_->parentWidget()->layout()->contentsMargins();
  const QSize panel(panelScroll_->width(), panel_->sizeHint().height());
  const QSize viewMinimum = mainView_->minimumSizeHint();
  const int viewWidth = qMax(panel.width(), viewMinimum.width());
  int width =
      outer.left() + inner.left() + viewWidth + inner.right() + layout()->spacing() + panel.width() + outer.right();
  int height = outer.top() + qMax(panel.height(), inner.top() + viewMinimum.height() + inner.bottom()) + outer.bottom();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect available = screen->availableGeometry();
    width = qMin(qMax(width, available.width() * 2 / 3), available.width());
    height = qMin(qMax(height, available.height() * 2 / 3), available.height());
  }
  return QSize(width, height).expandedTo(minimumSizeHint());
}
