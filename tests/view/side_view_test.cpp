// The bin-space side view, read back pixel by pixel.
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <atomic>
#include <thread>

#include "engine/bin_space.h"
#include "support/test_support.h"
#include "view/bin_space_drawing.h"
#include "view/side_glwidget.h"
#include "view/render_fixture.h"
#include "view/side_glwidget.h"

using namespace viewtest;

namespace {

// The side view with buffer swapping off, so a frame can be read back.
class ReadableSide : public SideGLWidget {
 public:
  explicit ReadableSide(Sorvex* engine) : SideGLWidget(engine) { setAutoBufferSwap(false); }
};

// World position of bin-index point (t, p, k) in the side view.
Vec3 binPoint(float t, float p, float k) {
  return Vec3((t - 180.0f) / 72.0f, (p - 90.0f) / 72.0f, (k - 50.0f) / 72.0f);
}

bool isKindGreen(const Rgb& c) { return c.g > 150 && c.r < 40 && c.b < 40; }
bool isGrey(const Rgb& c) { return c.r > 150 && c.r == c.g && c.g == c.b; }

class SideViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine = std::make_unique<Sorvex>(nullptr);
    side = std::make_unique<ReadableSide>(engine.get());
    side->resize(400, 300);
    side->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(side.get()));
  }
  void TearDown() override {
    side.reset();
    engine.reset();
  }

  QImage frame() {
    side->updateGL();
    return side->grabFrameBuffer();
  }
  QPointF at(const Vec3& p) const { return project(side->camera(), p, side->width(), side->height()); }

  void sendMouse(QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, pos, side->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(side.get(), &e);
  }

  std::unique_ptr<Sorvex> engine;
  std::unique_ptr<ReadableSide> side;
};

}  // namespace

TEST_F(SideViewTest, RemovedVotesShowInTheirKindColourOnceTheDrawingIsToggled) {
  // One bin with a strong "Symmetry Planes" vote (kind 4, green): a cube of
  // edge 10 x stride = 20 bins from (180, 90, 50).
  engine->bins.addVote(180, 90, 50, 0, 4, 10.0f);
  side->invalidateBinDisplayList();           // the first paint built the empty space
  const Vec3 front = binPoint(190, 100, 70);  // centre of its z = 1 face
  side->camera().setFrame(front + Vec3(0, 0, 2.0f), front, Vec3(0, 1, 0));

  const Rgb live = rgbAt(frame(), int(at(front).x()), int(at(front).y()));
  EXPECT_TRUE(isGrey(live)) << live.r << " " << live.g << " " << live.b;  // white, lit
  ASSERT_TRUE(side->binGeometryBuilt());

  // The plane selection covers the feature: its vote moves to removedVotes.
  engine->bins.removeFeatureVotes(engine->bins.binAt(180, 90, 50));
  ASSERT_EQ(engine->bins.binAt(180, 90, 50).removedVotes.size(), 1);
  const Rgb before = rgbAt(frame(), int(at(front).x()), int(at(front).y()));
  EXPECT_TRUE(same(before, live.r, live.g, live.b)) << "the built picture stays until the toggle";

  side->setBinSpaceShown(true);
  EXPECT_FALSE(side->binGeometryBuilt());
  const Rgb after = rgbAt(frame(), int(at(front).x()), int(at(front).y()));
  EXPECT_TRUE(isKindGreen(after)) << after.r << " " << after.g << " " << after.b;
  EXPECT_TRUE(side->isVisible());
  side->setBinSpaceShown(false);
  EXPECT_FALSE(side->isVisible());
}

TEST_F(SideViewTest, StrongestRemovedVoteChoosesTheColourAndSize) {
  // Live vote weight 20 would make a big white cube; the removed votes are
  // 3 (kind 8, blue) and 5 (kind 0, red): the cube is red and 10 bins wide.
  engine->bins.addVote(180, 90, 50, 0, 8, 3.0f);
  engine->bins.addVote(180, 90, 50, 1, 0, 5.0f);
  engine->bins.addVote(180, 90, 50, 2, 2, 20.0f);
  Bin covered;
  covered.votes << Vote{0, 8, 3.0f} << Vote{1, 0, 5.0f};
  engine->bins.removeFeatureVotes(covered);
  side->invalidateBinDisplayList();
  const Vec3 inside = binPoint(185, 95, 60);   // centre of the z = 1 face of a 10-bin cube
  const Vec3 outside = binPoint(195, 95, 60);  // beside it: within a 40-bin cube only
  side->camera().setFrame(inside + Vec3(0, 0, 2.0f), inside, Vec3(0, 1, 0));
  const QImage img = frame();
  const Rgb c = rgbAt(img, int(at(inside).x()), int(at(inside).y()));
  EXPECT_TRUE(c.r > 150 && c.g < 40 && c.b < 40) << c.r << " " << c.g << " " << c.b;
  const Rgb o = rgbAt(img, int(at(outside).x()), int(at(outside).y()));
  EXPECT_FALSE(o.r > 150 && o.g < 40 && o.b < 40) << "the cube is only 10 bins wide";
}

TEST_F(SideViewTest, SmallCubesShowAsPixelsOfTheirColourAndSubPixelOnesAsOftenAsTheyWouldCoverOne) {
  // A removed "Symmetry Planes" vote of weight 0.3: a cube 0.6 bins wide,
  // about a pixel from two units away.
  engine->bins.addVote(180, 90, 50, 0, 4, 0.3f);
  engine->bins.removeFeatureVotes(engine->bins.binAt(180, 90, 50));
  engine->bins.addVote(100, 40, 20, 1, 2, 8.0f);  // a big live cube elsewhere
  side->invalidateBinDisplayList();
  const Vec3 centre = binPoint(180.3f, 90.3f, 50.3f);
  side->camera().setFrame(centre + Vec3(0, 0, 2.0f), centre, Vec3(0, 1, 0));
  const QImage far = frame();
  EXPECT_EQ(side->lastFrameCounts().pointCubes, 1);
  EXPECT_EQ(side->lastFrameCounts().faceCubes, 1);
  EXPECT_TRUE(anyNear(far, at(centre), 1, isKindGreen)) << "the small cube is still seen";

  // From a fiftieth of a unit the cube is many pixels wide: drawn as faces.
  side->camera().setFrame(centre + Vec3(0, 0, 0.02f), centre, Vec3(0, 1, 0));
  const QImage close = frame();
  EXPECT_EQ(side->lastFrameCounts().pointCubes, 0);
  EXPECT_EQ(side->lastFrameCounts().faceCubes, 2);
  EXPECT_TRUE(isKindGreen(rgbAt(close, int(at(centre).x()), int(at(centre).y()))));

  // 400 cubes of half a pixel: about a quarter of them are drawn.
  for (int t = 0; t < 40; ++t)
    for (int p = 0; p < 10; ++p) engine->bins.addVote(200 + 2 * t, 100 + 2 * p, 50, 2, 4, 0.126f);
  side->invalidateBinDisplayList();
  side->camera().setFrame(binPoint(240, 110, 50) + Vec3(0, 0, 2.0f), binPoint(240, 110, 50), Vec3(0, 1, 0));
  frame();
  EXPECT_GT(side->lastFrameCounts().pointCubes, 1 + 400 * 15 / 100);
  EXPECT_LT(side->lastFrameCounts().pointCubes, 1 + 400 * 35 / 100);
}

TEST_F(SideViewTest, HighlightReachesABinOutsideTheBox) {
  // Normal (1, 0, 0), d = 1.5: bin (0, 90, 150), beyond the d range.
  SectionPlane plane;
  plane.normal = Vec3(1, 0, 0);
  plane.d = 1.5f;
  plane.point = Vec3(1.5f, 0, 0);
  side->camera().setFrame(Vec3(0, 2.0f, 6.0f), Vec3(0, 0, 0.5f), Vec3(0, 1, 0));

  const QPointF onBlue = at(binPoint(0, 90, 125));   // the d line, past k = 100
  const QPointF onRed = at(binPoint(180, 90, 150));  // the theta line, all of it at k = 150
  ASSERT_TRUE(side->rect().contains(onBlue.toPoint()));
  ASSERT_TRUE(side->rect().contains(onRed.toPoint()));

  QImage img = frame();  // no current plane: nothing there
  const auto pink = [](const Rgb& c) { return same(c, 255, 153, 153, 3); };
  const auto blue = [](const Rgb& c) { return same(c, 153, 153, 255, 3); };
  EXPECT_FALSE(anyNear(img, onBlue, 1, blue));
  EXPECT_FALSE(anyNear(img, onRed, 1, pink));

  engine->planes << plane;
  engine->currentPlane = 0;
  img = frame();
  EXPECT_TRUE(engine->bins.highlight);
  EXPECT_EQ(engine->bins.highlightIndex[2], 150);
  EXPECT_TRUE(anyNear(img, onBlue, 1, blue));
  EXPECT_TRUE(anyNear(img, onRed, 1, pink));
}

TEST_F(SideViewTest, KeysDoNothingAndTheMouseTurnsAndDollies) {
  engine->bins.addVote(100, 60, 20, 0, 2, 8.0f);
  side->invalidateBinDisplayList();
  frame();  // builds the bins' arrays; later frames draw them
  const QImage first = frame();
  const Vec3 eye = side->camera().eye, up = side->camera().up;
  for (Qt::Key key : {Qt::Key_X, Qt::Key_Y, Qt::Key_Z, Qt::Key_Left, Qt::Key_Space}) QTest::keyClick(side.get(), key);
  EXPECT_EQ(side->camera().eye, eye);
  EXPECT_EQ(side->camera().up, up);
  EXPECT_EQ(frame(), first);

  // Right drag of a tenth of the height: the eye moves 0.1 towards the centre.
  const float distance = (side->camera().eye - side->camera().centre).length();
  sendMouse(QEvent::MouseButtonPress, QPoint(200, 100), Qt::RightButton, Qt::RightButton);
  sendMouse(QEvent::MouseMove, QPoint(200, 130), Qt::NoButton, Qt::RightButton);
  sendMouse(QEvent::MouseButtonRelease, QPoint(200, 130), Qt::RightButton, Qt::NoButton);
  EXPECT_NEAR((side->camera().eye - side->camera().centre).length(), distance - 0.1f, 1e-4f);

  // Left drag sideways turns the eye about the vertical through the centre.
  const Vec3 before = side->camera().eye;
  sendMouse(QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton, Qt::LeftButton);
  sendMouse(QEvent::MouseMove, QPoint(140, 100), Qt::NoButton, Qt::LeftButton);
  const Vec3 after = side->camera().eye;
  EXPECT_NEAR(after.y, before.y, 1e-4f);
  EXPECT_NEAR((after - side->camera().centre).length(), (before - side->camera().centre).length(), 1e-4f);
  EXPECT_GT((after - before).length(), 0.1f);
}

TEST_F(SideViewTest, BusyBinsAreNotBuiltButDrawnOnceFree) {
  engine->bins.addVote(180, 90, 50, 0, 4, 10.0f);
  side->invalidateBinDisplayList();
  std::atomic<bool> locked{false}, release{false};
  std::thread run([&] {
    engine->stateMutex.lock();
    locked = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    engine->stateMutex.unlock();
  });
  while (!locked) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  QElapsedTimer clock;
  clock.start();
  side->updateGL();  // must not wait for the run
  EXPECT_LT(clock.elapsed(), 5000)
      << "the frame waited for the lock";  // waiting would hang: the holder lets go only afterwards
  EXPECT_FALSE(side->binGeometryBuilt());
  release = true;
  run.join();
  // The view tries again by itself.
  EXPECT_TRUE(QTest::qWaitFor([&] { return side->binGeometryBuilt(); }, 3000));
}

TEST_F(SideViewTest, ScreenshotWithVotes) {
  // A spread of bins: live votes (white) and removed votes of several kinds.
  for (int i = 0; i < 12; ++i) {
    const int t = 20 + 28 * i, p = 40 + 8 * (i % 6), k = 10 + 6 * (i % 8);
    engine->bins.addVote(t, p, k, i, i % 10, 2.0f + float(i % 4) * 2.0f);
  }
  Bin covered;
  for (int i = 0; i < 12; i += 2) covered.votes << Vote{i, i % 10, 1.0f};
  engine->bins.removeFeatureVotes(covered);
  side->invalidateBinDisplayList();
  SectionPlane plane;
  plane.normal = Vec3(0.0f, 0.7071068f, 0.7071068f);
  plane.d = 0.3f;
  engine->planes << plane;
  engine->currentPlane = 0;
  side->camera().setFrame(Vec3(2.2f, 2.0f, 3.2f), Vec3(0, 0, 0), Vec3(0, 1, 0));
  const QImage img = frame();
  const QString path = testsupport::outputDir() + QStringLiteral("/side_view.png");
  EXPECT_TRUE(img.save(path));
  // Something besides the white background was drawn.
  int coloured = 0;
  for (int y = 0; y < img.height(); y += 4)
    for (int x = 0; x < img.width(); x += 4) {
      const Rgb c = rgbAt(img, x, y);
      coloured += (c.r != c.g || c.g != c.b) ? 1 : 0;
    }
  EXPECT_GT(coloured, 20);
}
