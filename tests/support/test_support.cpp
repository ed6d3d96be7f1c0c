#include <gtest/gtest.h>

#include "support/test_support.h"

#include <QFile>

namespace testsupport {

bool writeTextFile(const QString& path, const std::string& text) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return f.write(text.data(), qint64(text.size())) == qint64(text.size());
}

QString overBudgetReason(const char* gigabytes) {
  return kAddressSanitizer ? QStringLiteral("the reader ended without an answer")
                           : QStringLiteral("the file needs more than %1 GB").arg(QLatin1String(gigabytes));
}

QString writeFileIn(const QTemporaryDir& dir, const QString& name, const std::string& text) {
  const QString path = dir.filePath(name);
  EXPECT_TRUE(writeTextFile(path, text)) << path.toStdString();
  return path;
}

std::string unitCubeOff() {
  return "OFF\n8 12 0\n"
         "0 0 0\n1 0 0\n1 1 0\n0 1 0\n0 0 1\n1 0 1\n1 1 1\n0 1 1\n"
         "3 0 2 1\n3 0 3 2\n"   // z = 0, facing -z
         "3 4 5 6\n3 4 6 7\n"   // z = 1, facing +z
         "3 0 1 5\n3 0 5 4\n"   // y = 0, facing -y
         "3 3 7 6\n3 3 6 2\n"   // y = 1, facing +y
         "3 0 4 7\n3 0 7 3\n"   // x = 0, facing -x
         "3 1 2 6\n3 1 6 5\n";  // x = 1, facing +x
}

}  // namespace testsupport
