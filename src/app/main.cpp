#include <QApplication>
#include <QDebug>

#include "app/window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  qDebug("instantiating window");
  Window window;
  window.show();
  return app.exec();
}
