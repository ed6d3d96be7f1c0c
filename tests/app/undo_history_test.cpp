// The undo history behind Ctrl+Z: mesh edits come back exactly, the history
// keeps a bounded number of steps, and a new model starts a new one. (The
// keys themselves and plane drags: panel_interaction_test.)
#include <QAction>
#include <QTemporaryDir>

#include "app/panel_fixture.h"
#include "app/undo_history.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "support/test_support.h"

using paneltest::press;

namespace {

class UndoSteps : public paneltest::WindowFixture {
 protected:
  void SetUp() override {
    paneltest::WindowFixture::SetUp();
    ASSERT_TRUE(dir.isValid());
    cube = testsupport::writeFileIn(dir, QStringLiteral("cube.off"), testsupport::unitCubeOff());
    view->loadModelFile(cube);
    paneltest::waitForLoads();
    ASSERT_EQ(view->engine()->renderMesh->faces().size(), 12);
  }
  void undo() { view->undoAction()->trigger(); }
  void redo() { view->redoAction()->trigger(); }

  QTemporaryDir dir;
  QString cube;
};

TEST_F(UndoSteps, MeshEditsUndoExactlyTheHistoryIsBoundedAndANewModelClearsIt) {
  Sorvex* engine = view->engine();
  press(view->addNewButton);
  const QVector<Vec3> vertices = engine->renderMesh->vertices();
  const float area = engine->planes[0].area;
  const auto curvatureMesh = engine->triMesh;

  // Noise moves every vertex; undo puts each back bit for bit, with the
  // section that was cut from them; redo brings the noisy ones again.
  press(view->meshNoisifyButton);
  const QVector<Vec3> noisy = engine->renderMesh->vertices();
  ASSERT_NE(noisy, vertices);
  undo();
  EXPECT_EQ(engine->renderMesh->vertices(), vertices);
  EXPECT_EQ(engine->planes[0].area, area);
  EXPECT_EQ(engine->triMesh, curvatureMesh);
  redo();
  EXPECT_EQ(engine->renderMesh->vertices(), noisy);
  undo();

  // Past the limit the oldest steps fall off: 60 additions keep 50 steps.
  const int limit = view->undoHistory().limit();
  EXPECT_EQ(limit, 50);
  for (int i = 0; i < limit + 10; ++i) press(view->addNewButton);
  EXPECT_EQ(view->undoHistory().undoCount(), limit);
  for (int i = 0; i < limit + 10; ++i) undo();
  EXPECT_EQ(engine->planes.size(), 11);  // 1 + 60 - 50

  // Loading a model clears both stacks.
  redo();
  ASSERT_TRUE(view->undoHistory().canUndo() && view->undoHistory().canRedo());
  view->loadModelFile(cube);
  paneltest::waitForLoads();
  EXPECT_FALSE(view->undoHistory().canUndo());
  EXPECT_FALSE(view->undoHistory().canRedo());
  EXPECT_TRUE(engine->planes.isEmpty());
}

}  // namespace
