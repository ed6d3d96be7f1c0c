#include <QApplication>
#include <QDebug>

#include "app/glwidget.h"
#include "app/window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  qDebug("instantiating window");
  Window window;
  window.show();
  // Planes of a window that ended abnormally are offered back.
  window.mainView()->offerPlaneRestore();
  return app.exec();
}
