// The message boxes of the export buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>

#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "support/export_support.h"
#include "view/export_actions.h"

using namespace exportsupport;

namespace {

// Text of the next modal message box, which it then closes.
class BoxReader {
 public:
  BoxReader() {
    QTimer::singleShot(0, [this] { poll(); });
  }
  QString text;

 private:
  void poll() {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      text = box->text();
      box->accept();
      return;
    }
    QTimer::singleShot(10, [this] { poll(); });
  }
};

}  // namespace

TEST(ExportActions, ObjExportBoxNamesEveryFailedFile) {
  ScopedWorkDir work;
  ASSERT_TRUE(work.ok());
  Sorvex engine(nullptr);
  engine.planes << planeWithTriangles(0.5f, 1);
  ASSERT_TRUE(QDir().mkpath(work.parent() + QStringLiteral("/ann/m.off_inputmesh.obj")));

  BoxReader reader;
  runExportObj(nullptr, &engine, QStringLiteral("../objs/m.off"), QStringLiteral("ann"));
  EXPECT_EQ(reader.text, QStringLiteral("Exporting ../ann/m.off.obj successful.\n"
                                        "Exporting ../ann/m.off_inputmesh.obj failed."));
  EXPECT_TRUE(QFile::exists(work.parent() + QStringLiteral("/ann/m.off_slab.obj")));
}

TEST(ExportActions, ContourAndMatrixBoxes) {
  ScopedWorkDir work;
  ASSERT_TRUE(work.ok());
  Sorvex engine(nullptr);
  {
    BoxReader reader;
    runExportContours(nullptr, &engine, QStringLiteral("../objs/m.off"), QStringLiteral("ann"));
    EXPECT_EQ(reader.text, QStringLiteral("Exporting ../ann/m.off.contour successful."));
  }
  // A folder named like the matrix file makes it unwritable: the failure is
  // shown; success is silent.
  ASSERT_TRUE(QDir().mkpath(QStringLiteral("AandC.m")));
  for (int t = 0; t < kFeatureTypeCount; ++t) engine.featureEnabled[t] = false;
  {
    BoxReader reader;
    runComputeMatrixA(nullptr, &engine);
    EXPECT_EQ(reader.text, QStringLiteral("Exporting AandC.m failed."));
  }
}
