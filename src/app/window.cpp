#include "app/window.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/glwidget.h"
#include "view/side_glwidget.h"

Window::Window() : QWidget(nullptr) {
  mainView_ = new GLWidget(nullptr);
  mainView_->setMouseTracking(true);
  sideView_ = new SideGLWidget(mainView_->engine());
  sideView_->setMouseTracking(true);
  mainView_->setSideView(sideView_);
  sideView_->setMainView(mainView_);

  auto* mainLayout = new QHBoxLayout;
  auto* viewLayout = new QVBoxLayout;
  viewLayout->addWidget(mainView_);
  auto* viewHolder = new QWidget(nullptr);
  viewHolder->setLayout(viewLayout);
  mainLayout->addWidget(viewHolder);
  mainLayout->addWidget(mainView_->buildControlPanel());
  setLayout(mainLayout);
  setWindowTitle(tr("Korvane"));
}
