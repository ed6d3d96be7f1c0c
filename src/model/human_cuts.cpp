#include <QDebug>

#include "engine/sorvex.h"

// TODO(human cuts): placeholder until the participants' cut files are read
// here (cut files, consensus planes, study tables and report). loadModel calls
// it as its last step when asked to load human cuts.
void Sorvex::readHumanCuts(const QString& label) {
  qDebug() << "Loading human cuts... (not available yet) for" << label;
}
