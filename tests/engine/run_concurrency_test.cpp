// The selection run against readers on other threads: exports through the
// engine, plane-list reads and the reads a repaint makes, while cover-all
// runs proceed; a stop request; what a load leaves of the previous run.
// Built with -fsanitize=thread this is the stress that must stay clean.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <atomic>
#include <QTemporaryDir>
#include <mutex>

#include "engine/sorvex.h"
#include "export/contour_export.h"
#include "export/obj_export.h"
#include "model/render_mesh.h"
#include "support/debug_capture.h"
#include "support/export_support.h"

namespace {

QByteArray bundled(const char* name) { return QByteArray(KORVANE_SOURCE_DIR "/objs/") + name + ".off"; }

void configure(Sorvex& engine) {
  for (int t = 0; t < kFeatureTypeCount; ++t) {
    engine.featureWeight[t] = float(kStartFeatureWeights[t]);
    engine.featureRadius[t] = 0.1f;
    engine.featureEnabled[t] = true;
  }
  engine.curvatureSmooth = 0.01f;
  engine.bins.setBinSelectThreshold(1.0f);
  engine.setCoverAllSegments(true);
}

// What the main view's paint reads, under the lock as the paint takes it.
double paintReads(Sorvex& engine) {
  std::lock_guard<StateLock> lock(engine.stateMutex);
  double sum = engine.currentPlane == Sorvex::kNoPlane ? 0.0 : 1.0;
  for (const SectionPlane& p : engine.planes) {
    sum += p.area;
    for (const SectionContour& c : p.contours) sum += c.segments.size();
    sum += p.triangles.size();
  }
  for (const Feature& f : engine.features) sum += f.axis.halfLength;
  for (const Axis& a : engine.ridgeAxes) sum += a.halfLength;
  for (const CutPlane& p : engine.perpendicularSupportPlanes) sum += p.d;
  sum += engine.faceSegment.size() + engine.renderMesh->faces().size();
  return sum;
}

}  // namespace

TEST(RunConcurrency, ExportsAndReadsDuringCoverAllRunsSeeConsistentState) {
  testsupport::DebugCapture quiet;
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // The exports land beside a temporary working directory, not in the build tree.
  exportsupport::ScopedWorkDir work;
  ASSERT_TRUE(work.ok());
  Sorvex engine(nullptr);
  configure(engine);
  ASSERT_TRUE(engine.loadModel(bundled("145").constData(), "145", nullptr, false));
  ASSERT_GT(engine.segmentCount, 1);

  int exports = 0, reads = 0;
  for (int run = 0; run < 2; ++run) {
    engine.start();
    while (!engine.isFinished()) {
      // The published state is always whole: every plane has its bin.
      {
        std::lock_guard<StateLock> lock(engine.stateMutex);
        ASSERT_EQ(engine.planes.size(), engine.selectedBins.size());
      }
      if (paintReads(engine) >= 0.0) ++reads;
      const QString model = dir.filePath("m.off");
      if (exportObj(engine, model, QStringLiteral("x%1").arg(exports)).ok) ++exports;
      exportContours(engine, model, QStringLiteral("x%1").arg(exports));
    }
    ASSERT_TRUE(engine.wait(60000));
  }
  EXPECT_GT(reads, 0);
  EXPECT_GT(exports, 0);
  EXPECT_GT(engine.planes.size(), 0);
  EXPECT_EQ(engine.planes.size(), engine.selectedBins.size());
  EXPECT_EQ(engine.currentPlane, Sorvex::kNoPlane);
}

TEST(RunConcurrency, StopEndsTheRunSoonKeepingAcceptedPlanes) {
  testsupport::DebugCapture quiet;
  Sorvex whole(nullptr), stopped(nullptr);
  for (Sorvex* e : {&whole, &stopped}) {
    configure(*e);
    ASSERT_TRUE(e->loadModel(bundled("145").constData(), "145", nullptr, false));
  }
  whole.runSelection();
  ASSERT_GT(whole.planes.size(), 2);

  stopped.start();
  // Wait for the first accepted plane, then stop.
  QElapsedTimer clock;
  clock.start();
  while (stopped.isRunning() && clock.elapsed() < 60000) {
    {
      std::lock_guard<StateLock> lock(stopped.stateMutex);
      if (!stopped.planes.isEmpty()) break;
    }
    QThread::msleep(1);
  }
  ASSERT_TRUE(stopped.isRunning()) << "the run ended before it could be stopped";
  clock.restart();
  stopped.requestStop();
  ASSERT_TRUE(stopped.wait(5000));
  EXPECT_LT(clock.elapsed(), 5000) << "the stop hangs";  // latency: BM_StopLatency
  EXPECT_FALSE(stopped.stopRequested()) << "the next run starts afresh";

  // The planes kept are the first ones of a whole run, each with its bin.
  ASSERT_GE(stopped.planes.size(), 1);
  ASSERT_LT(stopped.planes.size(), whole.planes.size());
  ASSERT_EQ(stopped.selectedBins.size(), stopped.planes.size());
  for (int p = 0; p < stopped.planes.size(); ++p) {
    EXPECT_EQ(stopped.planes[p].normal, whole.planes[p].normal);
    EXPECT_FLOAT_EQ(stopped.planes[p].area, whole.planes[p].area);
    EXPECT_EQ(stopped.selectedBinOfPlane(p), p);
  }
  EXPECT_EQ(stopped.currentPlane, Sorvex::kNoPlane);
  EXPECT_FALSE(stopped.bins.nonEmptyBins().isEmpty());
}

TEST(RunConcurrency, StopDuringVotingEndsTheRunWithoutAHalfCastSpace) {
  testsupport::DebugCapture quiet;
  Sorvex engine(nullptr);
  configure(engine);
  ASSERT_TRUE(engine.loadModel(bundled("105").constData(), "105", nullptr, false));
  // One segment per face: thousands of segment features, seconds of voting.
  engine.segmentCount = engine.renderMesh->faces().size();
  engine.faceSegment.resize(engine.segmentCount);
  for (int f = 0; f < engine.segmentCount; ++f) engine.faceSegment[f] = f;
  std::atomic<int> percent{0};
  QObject::connect(&engine, &Sorvex::percentComplete, [&](int p) { percent = p; });  // on the run's thread
  engine.start();
  QElapsedTimer clock;
  clock.start();
  while (percent < 300 && engine.isRunning() && clock.elapsed() < 60000) QThread::msleep(1);
  ASSERT_TRUE(engine.isRunning()) << "voting ended before it could be stopped";
  ASSERT_LT(percent, 750);
  clock.restart();
  engine.requestStop();
  ASSERT_TRUE(engine.wait(5000));
  EXPECT_LT(clock.elapsed(), 2000) << "the stop waited for the voting";  // latency: BM_StopDuringVoting
  // The run's last report (read here after its thread has ended, which also
  // orders the run's calls of the handler before its deletion).
  EXPECT_EQ(percent.load(), 1000);
  EXPECT_GT(engine.features.size(), engine.segmentCount) << "the features were published";
  EXPECT_TRUE(engine.bins.nonEmptyBins().isEmpty()) << "a half-cast space was published";
  EXPECT_TRUE(engine.planes.isEmpty());
}

TEST(RunConcurrency, LoadClearsTheRunsBinsAndEachPlaneKeepsItsReport) {
  Sorvex engine(nullptr);
  configure(engine);
  engine.setCoverAllSegments(false);
  {
    testsupport::DebugCapture quiet;
    ASSERT_TRUE(engine.loadModel(bundled("145").constData(), "145", nullptr, false));
    engine.runSelection();
  }
  ASSERT_GE(engine.planes.size(), 2);
  // Erasing plane 0 moves plane 1 to row 0: its report is still bin 1's.
  engine.erasePlane(0);
  {
    testsupport::DebugCapture log;
    engine.selectPlane(0);
    EXPECT_EQ(log.matching("Features covered by selected plane 1 ").size(), 1) << log.lines().join("\n").toStdString();
  }
  // A plane added by hand has no report.
  engine.addNewPlane();
  {
    testsupport::DebugCapture log;
    engine.selectPlane(engine.planes.size() - 1);
    EXPECT_TRUE(log.matching("Features covered").isEmpty());
  }

  {
    testsupport::DebugCapture quiet;
    ASSERT_TRUE(engine.loadModel(bundled("63").constData(), "63", nullptr, false));
  }
  EXPECT_TRUE(engine.bins.nonEmptyBins().isEmpty());
  EXPECT_TRUE(engine.selectedBins.isEmpty());
  EXPECT_TRUE(engine.features.isEmpty());
  engine.addNewPlane();
  testsupport::DebugCapture log;
  engine.selectPlane(0);
  EXPECT_TRUE(log.matching("Features covered").isEmpty());
}
