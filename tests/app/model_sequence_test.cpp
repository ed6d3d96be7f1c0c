#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "app/model_sequence.h"
#include "app/panel_fixture.h"
#include "app/study_mode.h"
#include "engine/sorvex.h"
#include "export/plane_journal.h"
#include "model/render_mesh.h"
#include "support/test_support.h"

using paneltest::press;

namespace {

const char* const kLabels[kSequenceModelCount] = {
    "Human",   "Cup 1", "Cup 2",   "Cup 3",   "Cup 4",   "Cup 5",   "Plane 1", "Plane 2", "Plane 3", "Plane 4",
    "Plane 5", "Chair", "Table 1", "Table 2", "Table 3", "Table 4", "Table 5", "Bearing", "Donkey"};
const char* const kFiles[kSequenceModelCount] = {"2",  "21",  "22",  "24",  "25",  "30",  "62",  "63",  "64", "65",
                                                 "66", "105", "141", "142", "143", "144", "145", "342", "385"};

// The order a session must follow: each next model is the
// rand() % remaining-th of those left, after srand(seed).
std::vector<int> referenceOrder(int seed) {
  std::vector<int> left;
  for (int i = 0; i < kSequenceModelCount; ++i) left.push_back(i);
  std::vector<int> order;
  std::srand(unsigned(seed));
  while (!left.empty()) {
    const int k = std::rand() % int(left.size());
    order.push_back(left[size_t(k)]);
    left.erase(left.begin() + k);
  }
  return order;
}

// The unit cube scaled by `s`: bounding radius s * sqrt(3) / 2.
std::string scaledCubeOff(float s) {
  std::ostringstream out;
  out << "OFF\n8 12 0\n";
  for (int v = 0; v < 8; ++v)
    out << s * float(v & 1) << ' ' << s * float((v >> 1) & 1) << ' ' << s * float(v >> 2) << '\n';
  out << "3 0 2 1\n3 1 2 3\n3 4 5 6\n3 5 7 6\n3 0 1 4\n3 1 5 4\n3 2 6 3\n3 3 6 7\n3 0 4 2\n3 2 4 6\n3 1 3 5\n3 3 7 5\n";
  return out.str();
}

// Runs the window in a scratch working directory whose ../objs holds the
// nineteen models, model i being the cube scaled by i + 1.
class ModelSequence : public paneltest::WindowFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root.isValid());
    QDir dir(root.path());
    ASSERT_TRUE(dir.mkpath("objs") && dir.mkpath("work"));
    for (int i = 0; i < kSequenceModelCount; ++i)
      ASSERT_TRUE(
          testsupport::writeTextFile(dir.filePath(QString("objs/%1.off").arg(kFiles[i])), scaledCubeOff(float(i + 1))));
    previousDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.filePath("work")));
    paneltest::WindowFixture::SetUp();
  }
  void TearDown() override {
    paneltest::WindowFixture::TearDown();
    QDir::setCurrent(previousDir);
  }

  // Presses "Load From Sequence" and returns the table index of the model it
  // loaded: from the label shown, or, if the load failed, from the path the
  // message names. -1 if neither says.
  int pressAndIdentify() {
    const int before = messages.size();
    const QString shownBefore = view->modelPathEdit->text();
    press(view->loadFromSequenceButton);
    // The scaled cubes reach outside the unit ball: the research configuration
    // says so once, which is no failure of the load.
    for (int k = messages.size() - 1; k >= before; --k)
      if (messages[k].startsWith("The model reaches outside the unit ball")) messages.removeAt(k);
    if (messages.size() > before) {
      // A model that failed to load does not take over the name.
      EXPECT_EQ(view->modelPathEdit->text(), shownBefore);
      for (int i = 0; i < kSequenceModelCount; ++i)
        if (messages.last() == QString("Unable to load input ../objs/%1.off.").arg(kFiles[i])) return i;
      return -1;
    }
    for (int i = 0; i < kSequenceModelCount; ++i)
      if (view->modelPathEdit->text() == kLabels[i]) {
        // The mesh on screen is that model.
        const float radius = view->engine()->renderMesh->radius();
        EXPECT_NEAR(radius, float(i + 1) * std::sqrt(3.0f) / 2.0f, 1e-4f) << kLabels[i];
        EXPECT_EQ(view->engine()->modelPathString(), QString("../objs/%1.off").arg(kFiles[i]));
        return i;
      }
    return -1;
  }

  QTemporaryDir root;
  QString previousDir;
};

}  // namespace

TEST(ModelSequenceOrder, TableOrderAndSeededShuffle) {
  QList<QString> paths, labels;
  buildModelSequence(5, false, paths, labels);
  ASSERT_EQ(paths.size(), kSequenceModelCount);
  for (int i = 0; i < kSequenceModelCount; ++i) {
    EXPECT_EQ(paths[i], QString("../objs/%1.off").arg(kFiles[i]));
    EXPECT_EQ(labels[i], kLabels[i]);
  }

  for (int seed : {1, 7, 19}) {
    QList<QString> p, l;
    buildModelSequence(seed, true, p, l);
    const std::vector<int> expected = referenceOrder(seed);
    ASSERT_EQ(p.size(), kSequenceModelCount);
    for (int i = 0; i < kSequenceModelCount; ++i) {
      EXPECT_EQ(l[i], kLabels[expected[size_t(i)]]) << "seed " << seed << " position " << i;
      EXPECT_EQ(p[i], QString("../objs/%1.off").arg(kFiles[expected[size_t(i)]]));
    }
  }

  // Seed 0, where the field starts, has an order of its own: the table order,
  // not the order of seed 1 (which the platform generator gives for 0).
  QList<QString> zeroPaths, zeroLabels, onePaths, oneLabels;
  buildModelSequence(0, true, zeroPaths, zeroLabels);
  buildModelSequence(1, true, onePaths, oneLabels);
  ASSERT_EQ(zeroPaths.size(), kSequenceModelCount);
  for (int i = 0; i < kSequenceModelCount; ++i) EXPECT_EQ(zeroLabels[i], kLabels[i]);
  EXPECT_NE(zeroLabels, oneLabels);
}

TEST_F(ModelSequence, NineteenPressesVisitEveryModelThenTheStudyEnds) {
  if (studyMode) view->seedSpin->setValue(7);
  EXPECT_EQ(view->sequenceProgressLabel->text(), studyMode ? "Not started" : "");
  std::vector<int> seen;
  for (int k = 1; k <= kSequenceModelCount; ++k) {
    seen.push_back(pressAndIdentify());
    // The position shows under the view; an aeroplane is called one.
    EXPECT_EQ(view->sequenceProgressLabel->text(), QString("Model %1 of 19").arg(k));
    const QString status = view->statusBar->currentMessage();
    EXPECT_TRUE(status.startsWith(QString("Model %1 of 19: ").arg(k))) << status.toStdString();
    if (view->modelPathEdit->text().startsWith("Plane ")) {
      EXPECT_TRUE(status.contains("aeroplane"));
    }
  }
  std::vector<int> expected;
  if (studyMode) {
    expected = referenceOrder(7);
  } else {
    for (int i = 0; i < kSequenceModelCount; ++i) expected.push_back(i);
  }
  EXPECT_EQ(seen, expected);
  // Each load starts with an empty plane list.
  EXPECT_EQ(view->planeList->count(), 0);

  if (!studyMode) {
    // The research tool starts the sequence again.
    EXPECT_EQ(pressAndIdentify(), seen[0]);
    EXPECT_EQ(view->sequenceProgressLabel->text(), "Model 1 of 19");
    return;
  }
  // The study ends after the nineteenth model: no model comes again.
  const QString last = view->modelPathEdit->text();
  messages.clear();
  press(view->loadFromSequenceButton);
  ASSERT_EQ(messages.size(), 1) << messages.join("; ").toStdString();
  EXPECT_TRUE(messages[0].startsWith("Study complete")) << messages[0].toStdString();
  EXPECT_EQ(view->sequenceProgressLabel->text(), "Study complete");
  EXPECT_TRUE(view->statusBar->currentMessage().startsWith("Study complete"));
  EXPECT_FALSE(view->loadFromSequenceButton->isEnabled());
  EXPECT_EQ(view->modelPathEdit->text(), last);
  const QString pathBefore = view->engine()->modelPathString();
  press(view->loadFromSequenceButton);
  EXPECT_EQ(messages.size(), 1);
  EXPECT_EQ(view->engine()->modelPathString(), pathBefore);
  EXPECT_EQ(view->modelPathEdit->text(), last);
}

TEST_F(ModelSequence, SeedLocksOnceTheSequenceStarts) {
  if (!studyMode) GTEST_SKIP() << "the research window has no seed field";
  const auto typeSeed = [this](const char* digits) {
    QTest::keyClick(view->seedSpin, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(view->seedSpin, digits);
    QTest::keyClick(view->seedSpin, Qt::Key_Return);
  };
  typeSeed("3");
  ASSERT_EQ(view->seedSpin->value(), 3);
  EXPECT_TRUE(view->seedSpin->isEnabled());
  const std::vector<int> order = referenceOrder(3);
  EXPECT_EQ(pressAndIdentify(), order[0]);

  // The order is fixed now: the field says so and takes no other seed.
  EXPECT_FALSE(view->seedSpin->isEnabled());
  EXPECT_TRUE(view->seedSpin->toolTip().contains("Seed 3")) << view->seedSpin->toolTip().toStdString();
  EXPECT_TRUE(view->statusBar->currentMessage().contains("Seed 3"));
  typeSeed("5");
  EXPECT_EQ(view->seedSpin->value(), 3);
  EXPECT_EQ(pressAndIdentify(), order[1]);
  EXPECT_EQ(view->seedSpin->value(), 3);
}

TEST_F(ModelSequence, LeavingAModelWithUnexportedPlanesAsksFirst) {
  // Seed 0 keeps the table order in both configurations.
  view->exportFolderEdit->setText("participant");
  const QDir out(QDir(root.path()).filePath("participant"));
  {
    // Nothing on the model yet: nothing to ask.
    paneltest::BoxAnswer noBox("Stay on This Model");
    EXPECT_EQ(pressAndIdentify(), 0);
    EXPECT_TRUE(noBox.text().isEmpty());
  }
  press(view->addNewButton);
  ASSERT_EQ(view->engine()->planes.size(), 1);
  {
    // Staying keeps the model and its plane.
    paneltest::BoxAnswer stay("Stay on This Model");
    press(view->loadFromSequenceButton);
    ASSERT_TRUE(stay.clicked());
    EXPECT_TRUE(stay.text().contains("1 plane")) << stay.text().toStdString();
    EXPECT_TRUE(stay.text().contains("Human")) << stay.text().toStdString();
    EXPECT_EQ(view->modelPathEdit->text(), "Human");
    EXPECT_EQ(view->engine()->planes.size(), 1);
  }
  {
    // Going on without exporting loses the plane and writes nothing.
    paneltest::BoxAnswer leave("Go On Without Exporting");
    EXPECT_EQ(pressAndIdentify(), 1);
    EXPECT_TRUE(leave.clicked());
    EXPECT_TRUE(view->engine()->planes.isEmpty());
    EXPECT_FALSE(out.exists());
  }
  press(view->addNewButton);
  messages.clear();
  press(view->exportObjButton);
  ASSERT_EQ(messages.size(), 1);
  ASSERT_TRUE(messages[0].endsWith(" successful.")) << messages[0].toStdString();
  messages.clear();
  {
    // Exported planes go without a question ...
    paneltest::BoxAnswer noBox("Stay on This Model");
    EXPECT_EQ(pressAndIdentify(), 2);
    EXPECT_TRUE(noBox.text().isEmpty());
  }
  press(view->addNewButton);
  {
    // ... and "Export, Then Go On" exports the model's planes, then loads.
    paneltest::BoxAnswer exportFirst("Export, Then Go On");
    press(view->loadFromSequenceButton);
    EXPECT_TRUE(exportFirst.clicked());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].endsWith(" successful.")) << messages[0].toStdString();
    EXPECT_TRUE(out.exists("Cup 2.obj"));
    EXPECT_EQ(view->modelPathEdit->text(), "Cup 3");
    EXPECT_TRUE(view->engine()->planes.isEmpty());
  }
}

TEST_F(ModelSequence, ExportBeforeAnyModelWritesNothing) {
  const QStringList before = QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
  press(view->exportObjButton);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith("Nothing to export yet")) << messages[0].toStdString();
  EXPECT_EQ(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
  EXPECT_TRUE(QDir(root.path()).entryList({"*.obj"}, QDir::Files).isEmpty());

  // Once a model is loaded the same press exports it.
  messages.clear();
  EXPECT_EQ(pressAndIdentify(), 0);
  press(view->exportObjButton);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].endsWith(" successful.")) << messages[0].toStdString();
  EXPECT_TRUE(QDir(root.path()).exists("yournamehere/Human.obj"));
}

TEST_F(ModelSequence, SameSeedSameOrderAcrossSessions) {
  auto firstFive = [this](int seed) {
    view->sequencePaths.clear();
    view->sequenceLabels.clear();
    view->sequenceIndex = 0;
    view->seedSpin->setValue(seed);
    std::vector<int> order;
    for (int i = 0; i < 5; ++i) order.push_back(pressAndIdentify());
    return order;
  };
  const std::vector<int> a = firstFive(11);
  const std::vector<int> b = firstFive(2);
  const std::vector<int> c = firstFive(11);
  EXPECT_EQ(a, c);
  if (studyMode) {
    EXPECT_NE(a, b);
    // The seed field only offers 0 to 19.
    view->seedSpin->setValue(25);
    EXPECT_EQ(view->seedSpin->value(), 19);
  } else {
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, std::vector<int>({0, 1, 2, 3, 4}));
  }
}

// Going back brings a visited model back with the planes it had when it was
// left, and going forward again returns to the later ones with theirs; the
// order, the seed, the labels and the exported files stay the sequence's,
// the leave question comes in both directions, and the journal names the
// model on screen and its place.
TEST_F(ModelSequence, PreviousModelComesBackWithItsPlanes) {
  if (studyMode) view->seedSpin->setValue(7);
  std::vector<int> order;
  if (studyMode) {
    order = referenceOrder(7);
  } else {
    for (int i = 0; i < kSequenceModelCount; ++i) order.push_back(i);
  }
  const auto label = [&order](int k) { return QString(kLabels[order[size_t(k)]]); };
  const auto planeDs = [this] {
    std::vector<float> ds;
    for (const SectionPlane& p : view->engine()->planes) ds.push_back(p.d);
    return ds;
  };
  view->exportFolderEdit->setText("participant");
  const QDir out(QDir(root.path()).filePath("participant"));
  QPushButton* back = view->previousModelButton;
  ASSERT_TRUE(back->isVisible());
  EXPECT_FALSE(back->isEnabled());

  // First model: one plane, set across X, left without exporting.
  EXPECT_EQ(pressAndIdentify(), order[0]);
  EXPECT_FALSE(back->isEnabled());  // nothing before the first model
  press(view->addNewButton);
  QTest::keyClick(view, Qt::Key_X);
  const std::vector<float> firstDs = planeDs();
  ASSERT_EQ(firstDs.size(), 1u);
  {
    paneltest::BoxAnswer leave("Go On Without Exporting");
    EXPECT_EQ(pressAndIdentify(), order[1]);
    EXPECT_TRUE(leave.clicked());
  }
  // Second model: two planes, exported.
  press(view->addNewButton);
  press(view->addNewButton);
  const std::vector<float> secondDs = planeDs();
  press(view->exportObjButton);
  ASSERT_TRUE(out.exists(label(1) + ".obj"));
  const QList<QString> paths = view->sequencePaths, labels = view->sequenceLabels;

  // Back: exported planes are left without a question; the first model comes
  // back with its plane, still unexported.
  {
    paneltest::BoxAnswer noBox("Stay on This Model");
    press(back);
    EXPECT_TRUE(noBox.text().isEmpty()) << noBox.text().toStdString();
  }
  EXPECT_EQ(view->modelPathEdit->text(), label(0));
  EXPECT_EQ(view->engine()->modelPathString(), QString("../objs/%1.off").arg(kFiles[order[0]]));
  EXPECT_EQ(view->sequenceProgressLabel->text(), "Model 1 of 19");
  EXPECT_EQ(planeDs(), firstDs);
  EXPECT_EQ(view->planeList->count(), 1);
  EXPECT_TRUE(view->hasUnexportedPlanes());
  EXPECT_FALSE(back->isEnabled());
  EXPECT_EQ(view->sequencePaths, paths);
  EXPECT_EQ(view->sequenceLabels, labels);
  if (studyMode) {
    EXPECT_EQ(view->seedSpin->value(), 7);
  }

  // Forward: the question comes; staying keeps the model, going on returns to
  // the second model with its exported planes.
  {
    paneltest::BoxAnswer stay("Stay on This Model");
    press(view->loadFromSequenceButton);
    EXPECT_TRUE(stay.clicked());
    EXPECT_EQ(view->modelPathEdit->text(), label(0));
  }
  {
    paneltest::BoxAnswer leave("Go On Without Exporting");
    EXPECT_EQ(pressAndIdentify(), order[1]);
    EXPECT_TRUE(leave.clicked());
  }
  EXPECT_EQ(view->sequenceProgressLabel->text(), "Model 2 of 19");
  EXPECT_EQ(planeDs(), secondDs);
  EXPECT_FALSE(view->hasUnexportedPlanes());

  // One plane erased: PgUp in the view asks before it goes back too.
  view->planeList->setCurrentRow(0);
  press(view->eraseCurrentButton);
  const std::vector<float> erasedDs = planeDs();
  ASSERT_EQ(erasedDs.size(), 1u);
  {
    paneltest::BoxAnswer stay("Stay on This Model");
    QTest::keyClick(view, Qt::Key_PageUp);
    paneltest::waitForLoads();
    EXPECT_TRUE(stay.clicked());
    EXPECT_EQ(view->modelPathEdit->text(), label(1));
  }
  {
    paneltest::BoxAnswer leave("Go On Without Exporting");
    QTest::keyClick(view, Qt::Key_PageUp);
    paneltest::waitForLoads();
    EXPECT_TRUE(leave.clicked());
  }
  EXPECT_EQ(view->modelPathEdit->text(), label(0));
  EXPECT_EQ(planeDs(), firstDs);
  {
    paneltest::BoxAnswer leave("Go On Without Exporting");
    EXPECT_EQ(pressAndIdentify(), order[1]);
  }
  EXPECT_EQ(planeDs(), erasedDs);
  // Past the models visited so far the sequence goes on as before.
  {
    paneltest::BoxAnswer leave("Go On Without Exporting");
    EXPECT_EQ(pressAndIdentify(), order[2]);
  }
  EXPECT_EQ(view->sequenceProgressLabel->text(), "Model 3 of 19");
  EXPECT_TRUE(view->engine()->planes.isEmpty());
  EXPECT_TRUE(back->isEnabled());
  // The only files are the second model's export, under its label.
  EXPECT_EQ(out.entryList(QDir::Files, QDir::Name),
            QStringList({label(1) + ".obj", label(1) + "_inputmesh.obj", label(1) + "_slab.obj"}));

  // Back to the second model: its journal names it and its place, and a
  // restore after an abnormal end puts it back there.
  press(back);
  ASSERT_EQ(planeDs(), erasedDs);
  PlaneJournalRecord record;
  const PlaneJournal* journal = paneltest::readKeptJournal(view, record);
  ASSERT_NE(journal, nullptr);
  EXPECT_EQ(record.label, label(1));
  EXPECT_EQ(record.sequenceIndex, 2);
  EXPECT_EQ(record.seed, studyMode ? 7 : 0);
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  ASSERT_TRUE(
      QFile::rename(journal->path(),
                    QFileInfo(journal->path()).absoluteDir().filePath(QStringLiteral("planes-%1.journal").arg(pid))));
  view->askQuestion = [](QWidget*, const QString&) { return true; };
  ASSERT_TRUE(view->offerPlaneRestore());
  paneltest::waitForLoads();
  EXPECT_EQ(view->modelPathEdit->text(), label(1));
  EXPECT_EQ(view->sequenceProgressLabel->text(), "Model 2 of 19");
  EXPECT_EQ(planeDs(), erasedDs);
  EXPECT_TRUE(back->isEnabled());
  {
    paneltest::BoxAnswer leave("Go On Without Exporting");
    EXPECT_EQ(pressAndIdentify(), order[2]);
    EXPECT_TRUE(leave.clicked());
  }
}
