#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <thread>

#include <sys/wait.h>

#include "model/assimp_reader.h"
#include "model/foreign_read.h"
#include "support/foreign_files.h"
#include "support/test_support.h"

namespace {

// True when this process has no child left to wait for.
bool noChildLeft() {
  errno = 0;
  return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD;
}

}  // namespace

// Every way a foreign file can end its reader: the mesh comes back as the
// library reads it in this process; a crash, a hang, an allocation beyond
// the budget and a cancel each end the child with their own reason, and no
// child is left behind.
TEST(ForeignRead, EndsInTheChildWithAReasonForEveryOutcome) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const auto write = [&](const char* name, const std::string& text) {
    return testsupport::writeFileIn(dir, QLatin1String(name), text);
  };
  QVector<Vec3> v, inProcess;
  RenderFaces f, inProcessFaces;
  QString error;

  const QString ply = write("quad.ply",
                            "ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\nproperty float y\n"
                            "property float z\nelement face 2\nproperty list uchar int vertex_indices\nend_header\n"
                            "0 0 0\n1 0 0\n1 1 0\n0 1 0\n2 0.5 0.25\n4 0 1 2 3\n3 1 4 2\n");
  ASSERT_EQ(readForeignMesh(ply, v, f, error), ForeignReadStatus::Read) << error.toStdString();
  ASSERT_TRUE(readAssimpMesh(ply, inProcess, inProcessFaces, error));
  EXPECT_EQ(v, inProcess);
  EXPECT_EQ(f, inProcessFaces);

  // The reader's own refusal comes back as it is.
  const QString points = write("points.ply",
                               "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                               "property float z\nend_header\n0 0 0\n");
  QString own;
  readAssimpMesh(points, inProcess, inProcessFaces, own);
  EXPECT_EQ(readForeignMesh(points, v, f, error), ForeignReadStatus::Refused);
  EXPECT_EQ(error, own);
  EXPECT_TRUE(v.isEmpty() && f.isEmpty());

  // The library recurses once per node: a chain of 100,000 overflows its stack.
  EXPECT_EQ(readForeignMesh(write("deep.gltf", testsupport::nodeChainGltf(100000, 1)), v, f, error),
            ForeignReadStatus::Crashed);
  EXPECT_EQ(error, QStringLiteral("the reader stopped with signal 11"));

  ForeignReadLimits limits;
  limits.seconds = 1;
  const QString endless = write("endless.ply", testsupport::endlessPlyHeader());
  EXPECT_EQ(readForeignMesh(endless, v, f, error, limits), ForeignReadStatus::TimedOut);
  EXPECT_EQ(error, QStringLiteral("no answer after 1 s"));

  // 2^24 instances of the graph the library copies: past a 64 MB budget.
  // (The address sanitizer ends a process on a failed allocation in its own
  // way, reporting first; there this case says nothing about the program.)
  limits.seconds = 60;
  limits.memoryBytes = 64ll << 20;
  if (!testsupport::kAddressSanitizer) {
    EXPECT_EQ(readForeignMesh(write("doubling.gltf", testsupport::nodeChainGltf(24, 2)), v, f, error, limits),
              ForeignReadStatus::OverBudget);
    EXPECT_EQ(error, QStringLiteral("the file needs more than 0.0625 GB"));
    EXPECT_TRUE(v.isEmpty() && f.isEmpty());
  }

  // A cancel from another thread ends a read that would never end.
  std::atomic<bool> cancel{false};
  limits = ForeignReadLimits();
  limits.cancel = &cancel;
  std::thread canceller([&cancel] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel = true;
  });
  EXPECT_EQ(readForeignMesh(endless, v, f, error, limits), ForeignReadStatus::Cancelled);
  canceller.join();

  EXPECT_EQ(readForeignMesh(dir.filePath("missing.ply"), v, f, error), ForeignReadStatus::Refused);
  EXPECT_EQ(error, QStringLiteral("no such file"));
  EXPECT_TRUE(noChildLeft());
}
