#include <QApplication>
#include <QDebug>

#include "app/glwidget.h"
#include "app/study_mode.h"
#include "app/window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  // Where the research window keeps its recent files.
  QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
  QCoreApplication::setApplicationName(studyMode ? QStringLiteral("korvane") : QStringLiteral("korvane-research"));
  qDebug("instantiating window");
  Window window;
  window.show();
  // Planes of a window that ended abnormally are offered back.
  window.mainView()->offerPlaneRestore();
  return app.exec();
}
