// What the main view draws, read back pixel by pixel.
#include <QDir>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/study_mode.h"
#include "engine/palette.h"
#include "support/test_support.h"
#include "view/render_fixture.h"
#include "view/scene_renderer.h"

using namespace viewtest;

namespace {

// Collects the debug messages written while it lives.
class MessageCapture {
 public:
  MessageCapture() {
    messages().clear();
    previous_ = qInstallMessageHandler(&MessageCapture::handler);
  }
  ~MessageCapture() { qInstallMessageHandler(previous_); }
  int count(const QString& text) const { return messages().count(text); }

 private:
  static QStringList& messages() {
    static QStringList list;
    return list;
  }
  static void handler(QtMsgType, const QMessageLogContext&, const QString& msg) { messages().append(msg); }
  QtMessageHandler previous_ = nullptr;
};

// The glyph plane used below: facing +z through (0, 1, 0), the default
// model centre; with no mesh loaded the glyph scale R is 1.
SectionPlane glyphPlane() { return makePlane(Vec3(0, 1, 0), Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0)); }

}  // namespace

TEST_F(RenderTest, GlyphShowsItsPickingColoursWhereItIsDrawn) {
  engine->planes.append(glyphPlane());
  engine->currentPlane = 0;
  look(Vec3(0, 1, 2.5f), Vec3(0, 1, 0));
  const QImage img = frame();

  // Edges parallel to r1 (top) are 254 grey, edges parallel to r2 253 grey.
  EXPECT_TRUE(hasColour(img, at(Vec3(0.5f, 2, 0)), 254, 254, 254));
  EXPECT_TRUE(hasColour(img, at(Vec3(-0.5f, 2, 0)), 254, 254, 254));
  EXPECT_TRUE(hasColour(img, at(Vec3(1, 1.5f, 0)), 253, 253, 253));
  EXPECT_TRUE(hasColour(img, at(Vec3(-1, 1.5f, 0)), 253, 253, 253));
  // Axis lines: r1 red, r2 green, from the plane's point.
  EXPECT_TRUE(hasColour(img, at(Vec3(0.4f, 1, 0)), 255, 0, 0));
  EXPECT_TRUE(hasColour(img, at(Vec3(0, 1.4f, 0)), 0, 255, 0));
  // Beyond the axis ends there is nothing.
  EXPECT_TRUE(hasColour(img, at(Vec3(0, 0.6f, 0)), 255, 255, 255));

  // The edge has a black border on both sides and white beyond it.
  const QPointF top = at(Vec3(0.5f, 2, 0));
  bool blackAbove = false, blackBelow = false;
  for (int off = 2; off <= 5; ++off) {
    blackAbove = blackAbove || isBlack(rgbAt(img, int(top.x()), int(top.y()) - off));
    blackBelow = blackBelow || isBlack(rgbAt(img, int(top.x()), int(top.y()) + off));
  }
  EXPECT_TRUE(blackAbove);
  EXPECT_TRUE(blackBelow);
  EXPECT_TRUE(isWhite(rgbAt(img, int(top.x()), int(top.y()) - 8)));
  EXPECT_TRUE(isWhite(rgbAt(img, int(top.x()), int(top.y()) + 8)));

  // No handle balls outside the 3-Ball modes: the handle at the middle of
  // the r1 axis shows the axis colour.
  EXPECT_TRUE(hasColour(img, at(Vec3(0.5f, 1, 0)), 255, 0, 0));
}

TEST_F(RenderTest, ThreeBallModeShowsHandleBallsInTheirColours) {
  engine->planes.append(glyphPlane());
  engine->currentPlane = 0;
  look(Vec3(0, 1, 2.5f), Vec3(0, 1, 0));
  const SectionPlane& p = engine->planes[0];
  const auto ball = [](int k) { return glyphcolour::kHandle[k]; };
  const auto dragged = [](int k, int channel) {
    return int(glyphcolour::draggedChannel(glyphcolour::kHandle[k][channel]));
  };

  engine->pickState[0] = 4;
  QImage img = frame();
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(hasColour(img, at(p.handles[k]), ball(k)[0], ball(k)[1], ball(k)[2])) << k;
  // The edges keep their colours.
  EXPECT_TRUE(hasColour(img, at(Vec3(0.5f, 2, 0)), 254, 254, 254));

  engine->pickState[0] = 6;  // handle 2 being dragged
  img = frame();
  EXPECT_TRUE(hasColour(img, at(p.handles[0]), ball(0)[0], ball(0)[1], ball(0)[2]));
  EXPECT_TRUE(hasColour(img, at(p.handles[1]), dragged(1, 0), dragged(1, 1), dragged(1, 2)));
  EXPECT_TRUE(hasColour(img, at(p.handles[2]), ball(2)[0], ball(2)[1], ball(2)[2]));

  // The glyph belongs to the current plane only.
  engine->currentPlane = Sorvex::kNoPlane;
  img = frame();
  EXPECT_TRUE(hasColour(img, at(p.handles[1]), 255, 255, 255));
  EXPECT_TRUE(hasColour(img, at(Vec3(0.5f, 2, 0)), 255, 255, 255));
}

TEST_F(RenderTest, PaletteColourRepeatsEvery36AndSetsTheGlColour) {
  view->makeCurrent();
  SceneRenderer renderer(engine, view->camera(), view->drawOptions);
  for (unsigned i : {0u, 5u, 17u, 35u}) {
    const Vec3 a = renderer.paletteColour(i);
    float current[4];
    glGetFloatv(GL_CURRENT_COLOR, current);
    EXPECT_NEAR(current[0], a.x, 1e-6);
    EXPECT_NEAR(current[1], a.y, 1e-6);
    EXPECT_NEAR(current[2], a.z, 1e-6);
    EXPECT_EQ(renderer.paletteColour(i + 36), a);
  }
  EXPECT_EQ(engine->palette.size(), 36);

  // Slabs of planes 0, 1 and 36 side by side: 0 and 36 share red, 1 is orange.
  for (int i = 0; i < 37; ++i) {
    SectionPlane p = makePlane(Vec3(0, 1, 0), Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0));
    if (i == 0 || i == 1 || i == 36) {
      const float x0 = i == 0 ? -1.2f : (i == 1 ? -0.3f : 0.6f);
      const Vec3 corners[4] = {{x0, 0.8f, 0}, {x0 + 0.6f, 0.8f, 0}, {x0 + 0.6f, 1.4f, 0}, {x0, 1.4f, 0}};
      const Vec3 normals[4] = {{0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
      addSquareSection(p, corners, normals);
    }
    engine->planes.append(p);
  }
  engine->currentPlane = Sorvex::kNoPlane;
  view->drawOptions.drawTriangles = false;     // study build: slabs shown
  view->drawOptions.outputTriangulate = true;  // research build: slabs shown
  look(Vec3(0, 1, 3), Vec3(0, 1, 0));
  const QImage img = frame();
  // The research slabs are lit from the eye: full colour facing it, a few
  // percent darker off the middle.
  const int tolerance = studyMode ? 1 : 8;
  EXPECT_TRUE(hasColour(img, at(Vec3(-0.9f, 1.1f, 0)), 255, 0, 0, tolerance));
  EXPECT_TRUE(hasColour(img, at(Vec3(0.9f, 1.1f, 0)), 255, 0, 0, tolerance));
  EXPECT_TRUE(hasColour(img, at(Vec3(0.0f, 1.1f, 0)), 255, 128, 0, tolerance));
}

TEST_F(RenderTest, SegmentColouredSurfaceHighlightsTheCurrentPlanesSegment) {
  loadUnitCube();
  engine->faceSegment = {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5};  // the z=1 side is segment 1
  engine->useSegmentation = true;
  // The plane lies behind the eye so that its glyph stays out of the picture.
  SectionPlane plane = makePlane(Vec3(0.5f, 0.5f, 10), Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0));
  plane.segmentIndex = 1;
  engine->planes.append(plane);
  engine->currentPlane = 0;
  look(Vec3(0.5f, 0.5f, 3), Vec3(0.5f, 0.5f, 0.5f));
  const QPointF face = at(Vec3(0.5f, 0.5f, 1));

  QImage img = frame();
  Rgb c = rgbAt(img, int(face.x()), int(face.y()));
  EXPECT_LE(std::abs(c.r - c.g), 2);  // light grey, whatever the lighting
  EXPECT_LE(std::abs(c.g - c.b), 2);
  EXPECT_GT(c.r, 180);

  // Without a current plane the same side takes its segment colour x 0.7:
  // palette entry 1 is orange (1, 0.5, 0), so red > green > blue = 0.
  engine->currentPlane = Sorvex::kNoPlane;
  img = frame();
  c = rgbAt(img, int(face.x()), int(face.y()));
  EXPECT_GT(c.r, c.g + 40);
  EXPECT_GT(c.g, c.b + 40);
  EXPECT_LE(c.b, 5);

  // A current plane of another segment does not highlight this side.
  engine->planes[0].segmentIndex = 3;
  engine->currentPlane = 0;
  img = frame();
  c = rgbAt(img, int(face.x()), int(face.y()));
  EXPECT_GT(c.r, c.g + 40);

  // A segment list shorter than the face list does not break the frame.
  engine->faceSegment = {1};
  img = frame();
  EXPECT_FALSE(img.isNull());
}

TEST_F(RenderTest, PlainSurfaceIsOpaqueLightGreyLitFromTheEye) {
  loadUnitCube();
  look(Vec3(0.5f, 0.5f, 3), Vec3(0.5f, 0.5f, 0.5f));
  const QImage img = frame();
  // Lit per corner by the head light at the eye: 0.2 * 0.8 (scene ambient)
  // + 0.8 * 0.8 (light ambient) + 0.4 * 0.4 * cos (diffuse), where every
  // corner of the z = 1 side sees the eye at cos = 2 / sqrt(4.5) = 0.9428:
  // 0.9509 of full white, 242.5. The research window shades a blue-grey
  // (0.58, 0.64, 0.76) more strongly: (0.2 + 0.35 + 0.75 cos) of it, that is
  // 1.2571 of it.
  const int r = studyMode ? 242 : 186, g = studyMode ? 242 : 205, b = studyMode ? 242 : 244;
  EXPECT_TRUE(hasColour(img, at(Vec3(0.5f, 0.5f, 1)), r, g, b, 1));
  // A light anywhere else would make the side's corners differ.
  EXPECT_TRUE(hasColour(img, at(Vec3(0.1f, 0.1f, 1)), r, g, b, 1));
  EXPECT_TRUE(hasColour(img, at(Vec3(0.9f, 0.9f, 1)), r, g, b, 1));
}

TEST_F(RenderTest, AnnotationsOfAPlaneSeenNearlyEdgeOnAreSkipped) {
  // Normal 10 degrees off the x axis towards the viewer; the stroke runs
  // along r2 (world y) through the plane's point.
  const float a = 10.0f * 3.14159265f / 180.0f;
  SectionPlane plane =
      makePlane(Vec3(0, 1, 0), Vec3(std::cos(a), 0, std::sin(a)), Vec3(-std::sin(a), 0, std::cos(a)), Vec3(0, 1, 0));
  plane.annotations.append(QList<Vec3>{Vec3(0, -0.5f, 0), Vec3(0, 0.5f, 0)});
  engine->planes.append(plane);
  engine->currentPlane = 0;
  view->drawOptions.annotateMode = true;
  auto strokeShown = [&](const QImage& img) {
    return anyNear(img, at(Vec3(0, 1.25f, 0)), 3, [](const Rgb& c) { return isBlack(c); });
  };

  // From straight ahead the plane is 10 degrees from edge-on (< 15).
  look(Vec3(0, 1, 2.5f), Vec3(0, 1, 0));
  EXPECT_FALSE(strokeShown(frame()));

  // Turning the camera 20 degrees about the stroke brings the plane to 30
  // degrees from edge-on: the stroke shows.
  const float t = 20.0f * 3.14159265f / 180.0f;
  look(Vec3(2.5f * std::sin(t), 1, 2.5f * std::cos(t)), Vec3(0, 1, 0));
  EXPECT_TRUE(strokeShown(frame()));

  // Turning the other way makes it edge-on again.
  look(Vec3(-2.5f * std::sin(t), 1, 2.5f * std::cos(t)), Vec3(0, 1, 0));
  EXPECT_FALSE(strokeShown(frame()));

  // Annotate Mode draws the strokes over the plane pass, which stays: the
  // current plane's glyph shows.
  look(Vec3(0, 1, 2.5f), Vec3(0, 1, 0));
  engine->planes[0] = glyphPlane();
  EXPECT_TRUE(hasColour(frame(), at(Vec3(1, 1.5f, 0)), 253, 253, 253));
}

TEST_F(RenderTest, GridLiesAtTheModelsLowestY) {
  loadUnitCube(Vec3(0, -3, 0));             // y from -3 to -2
  view->drawOptions.drawTriangles = false;  // keep the cube out of the way
  look(Vec3(0.5f, 0, 4), Vec3(0.5f, -3, 0));
  const QImage img = frame();
  const float y = -3.0f;
  auto black = [](const Rgb& c) { return isBlack(c); };
  auto grey = [](const Rgb& c) { return same(c, 178, 178, 178, 2); };
  if (studyMode) {
    EXPECT_TRUE(anyNear(img, at(Vec3(0, y, 0.5f)), 1, black));  // the x = 0 line
    EXPECT_TRUE(anyNear(img, at(Vec3(0.5f, y, 0)), 1, black));  // the z = 0 line
    EXPECT_TRUE(anyNear(img, at(Vec3(1, y, 0.5f)), 1, grey));   // x = 1
    EXPECT_TRUE(anyNear(img, at(Vec3(-2, y, 1.5f)), 1, grey));  // x = -2
    EXPECT_TRUE(anyNear(img, at(Vec3(0.5f, y, 2)), 1, grey));   // z = 2
    EXPECT_FALSE(anyNear(img, at(Vec3(0.5f, y, 0.5f)), 2, [](const Rgb& c) { return !isWhite(c); }));
  } else {
    // The research build draws no grid.
    EXPECT_FALSE(anyNear(img, at(Vec3(0, y, 0.5f)), 1, black));
    EXPECT_FALSE(anyNear(img, at(Vec3(1, y, 0.5f)), 1, grey));
  }
  // Nothing at y = 0, where a grid ignoring the model would lie.
  EXPECT_FALSE(anyNear(img, at(Vec3(0.5f, 0, -0.5f)), 2, black));
}

namespace {

// Plane z = 0.5 across the unit cube with its square contour (normals
// outward) and slab.
SectionPlane cubeSectionZ() {
  SectionPlane p = makePlane(Vec3(0.5f, 0.5f, 0.5f), Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0));
  const Vec3 corners[4] = {{0, 0, 0.5f}, {1, 0, 0.5f}, {1, 1, 0.5f}, {0, 1, 0.5f}};
  const Vec3 normals[4] = {{0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
  addSquareSection(p, corners, normals);
  return p;
}

// Plane x = 0.5 across the unit cube.
SectionPlane cubeSectionX() {
  SectionPlane p = makePlane(Vec3(0.5f, 0.5f, 0.5f), Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1));
  const Vec3 corners[4] = {{0.5f, 0, 0}, {0.5f, 1, 0}, {0.5f, 1, 1}, {0.5f, 0, 1}};
  const Vec3 normals[4] = {{0, 0, -1}, {0, 1, 0}, {0, 0, 1}, {0, -1, 0}};
  addSquareSection(p, corners, normals);
  return p;
}

}  // namespace

TEST_F(RenderTest, PlanePassFollowsTheCheckBoxes) {
  loadUnitCube();
  engine->planes.append(cubeSectionZ());
  engine->currentPlane = Sorvex::kNoPlane;
  look(Vec3(2.2f, 2.6f, 1.9f), Vec3(0.5f, 0.5f, 0.5f));
  const QPointF contour = at(Vec3(1.0025f, 0.5f, 0.5f));  // middle of the x = 1 side
  const QPointF slab = at(Vec3(0.45f, 0.45f, 0.5f));

  // "Tri" on: coloured contours over the surface, in both builds.
  QImage img = frame();
  EXPECT_TRUE(hasColour(img, contour, 255, 0, 0));

  // "Tri" off.
  view->drawOptions.drawTriangles = false;
  img = frame();
  if (studyMode) {
    EXPECT_TRUE(hasColour(img, slab, 255, 0, 0));   // slab in the plane's colour
    EXPECT_TRUE(hasColour(img, contour, 0, 0, 0));  // black contour
  } else {
    EXPECT_TRUE(hasColour(img, slab, 255, 255, 255));  // "Output Triangulate" is off
    EXPECT_TRUE(hasColour(img, contour, 255, 0, 0));   // "Output Coloured" is on
  }

  // The research build's own check boxes; the study build ignores them.
  view->drawOptions.outputTriangulate = true;
  view->drawOptions.outputColoured = false;
  img = frame();
  // The research slab is lit from the eye (cos 0.451 here): 0.2 + 0.3 +
  // 0.5 * 0.451 of red.
  if (studyMode)
    EXPECT_TRUE(hasColour(img, slab, 255, 0, 0));
  else
    EXPECT_TRUE(hasColour(img, slab, 185, 0, 0, 3));
  EXPECT_TRUE(hasColour(img, contour, 0, 0, 0));

  view->drawOptions.drawOutput = false;
  img = frame();
  if (studyMode) {
    EXPECT_TRUE(hasColour(img, slab, 255, 0, 0));
  } else {
    EXPECT_TRUE(hasColour(img, slab, 255, 255, 255));
    EXPECT_TRUE(hasColour(img, contour, 255, 255, 255));
  }
}

TEST_F(RenderTest, OpenContourIsDrawnAsAStripAndAClosedOneAsALoop) {
  // Three sides of a rectangle: (-1, .5) -> (1, .5) -> (1, 1.5) -> (-1, 1.5).
  SectionPlane p = makePlane(Vec3(0, 1, 0), Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0));
  const Vec3 pts[4] = {{-1, 0.5f, 0}, {1, 0.5f, 0}, {1, 1.5f, 0}, {-1, 1.5f, 0}};
  SectionContour c;
  for (int k = 0; k < 3; ++k) {
    SectionSegment s;
    s.start = pts[k];
    s.end = pts[k + 1];
    c.segments.append(s);
  }
  p.contours.append(c);
  engine->planes.append(p);
  engine->currentPlane = Sorvex::kNoPlane;
  look(Vec3(0, 1, 3), Vec3(0, 1, 0));
  auto red = [](const Rgb& px) { return same(px, 255, 0, 0); };

  // The lines run through the segment starts: bottom and right side.
  QImage img = frame();
  EXPECT_TRUE(anyNear(img, at(Vec3(0, 0.5f, 0)), 1, red));
  EXPECT_TRUE(anyNear(img, at(Vec3(1, 1.0f, 0)), 1, red));
  EXPECT_FALSE(anyNear(img, at(Vec3(0, 1.0f, 0)), 3, red));  // no closing line
  EXPECT_FALSE(anyNear(img, at(Vec3(0, 1.5f, 0)), 3, red));
  EXPECT_TRUE(anyNear(img, at(pts[3]), 1, red));  // last end as a dot

  // Closed: the loop joins the last start (1, 1.5) back to (-1, 0.5).
  engine->planes[0].contours[0].isClosed = true;
  img = frame();
  EXPECT_TRUE(anyNear(img, at(Vec3(0, 1.0f, 0)), 1, red));
  EXPECT_FALSE(anyNear(img, at(Vec3(0, 1.5f, 0)), 3, red));
}

TEST_F(RenderTest, FeaturesAreDrawnByKindWhenEnabled) {
  // With no mesh loaded R = 1: the feature square spans +-1 around its point.
  engine->globalXYZPlanes.append(makePlane(Vec3(0, 1, 0), Vec3(0, 0, 1), Vec3(1, 0, 0), Vec3(0, 1, 0)));
  Axis axis;
  axis.point = Vec3(0, 1.3f, 0);
  axis.direction = Vec3(1, 0, 0);
  axis.halfLength = 0.5f;
  engine->symmetryAxes.append(axis);
  // Support planes (kinds 8 and 9) are never drawn.
  engine->perpendicularSupportPlanes.append(
      makePlane(Vec3(0, 1, 0), Vec3(0, 0, 1), Vec3(0.5f, 0, 0), Vec3(0, 0.5f, 0)));
  engine->symmetricSupportPlanes.append(engine->perpendicularSupportPlanes[0]);
  // A ridge polyline across the upper half (clear of the ground grid).
  SectionSegment r;
  r.start = Vec3(-0.6f, 1.7f, 0);
  r.end = Vec3(0.6f, 1.7f, 0);
  engine->ridgePieces.append(QList<SectionSegment>{r});
  view->drawOptions.drawMeshFeatures = true;
  look(Vec3(0, 1, 2.5f), Vec3(0, 1, 0));

  QImage img = frame();
  // A feature plane is a small light square: +-R/4 about its point, halfway
  // from its grey 0.5 to white; nothing where the old +-R frame was.
  EXPECT_TRUE(hasColour(img, at(Vec3(0.25f, 1.1f, 0)), 191, 191, 191, 1));  // plane edge
  EXPECT_TRUE(hasColour(img, at(Vec3(0.5f, 2, 0)), 255, 255, 255));
  EXPECT_TRUE(hasColour(img, at(Vec3(0.25f, 1.3f, 0)), 77, 77, 77, 1));    // symmetry axis, grey 0.3
  EXPECT_TRUE(hasColour(img, at(Vec3(0.2f, 1.5f, 0)), 255, 255, 255));     // support plane edge: nothing
  EXPECT_TRUE(hasColour(img, at(Vec3(0.3f, 1.7f, 0)), 128, 128, 128, 1));  // ridge piece

  engine->featureEnabled[FeatureGlobalXYZ] = false;
  engine->featureEnabled[FeatureSymmetryAxes] = false;
  engine->featureEnabled[FeatureRidges] = false;
  img = frame();
  EXPECT_TRUE(hasColour(img, at(Vec3(0.25f, 1.1f, 0)), 255, 255, 255));
  EXPECT_TRUE(hasColour(img, at(Vec3(0.25f, 1.3f, 0)), 255, 255, 255));
  EXPECT_TRUE(hasColour(img, at(Vec3(0.3f, 1.7f, 0)), 255, 255, 255));

  // "Draw Mesh Features" off hides everything.
  engine->featureEnabled[FeatureGlobalXYZ] = true;
  view->drawOptions.drawMeshFeatures = false;
  EXPECT_TRUE(hasColour(frame(), at(Vec3(0.25f, 1.1f, 0)), 255, 255, 255));
}

TEST_F(RenderTest, FramesReportPendingGlErrorsOnce) {
  loadUnitCube();
  engine->planes.append(cubeSectionZ());
  engine->planes.append(cubeSectionX());
  engine->planes[1].annotations.append(QList<Vec3>{Vec3(0, 0, 0), Vec3(0.2f, 0.3f, 0)});
  engine->currentPlane = 1;
  engine->pickState[0] = 5;
  engine->faceSegment = QVector<int>(12, 2);
  engine->useSegmentation = true;
  engine->globalXYZPlanes.append(engine->planes[0].head());
  DrawOptions& o = view->drawOptions;
  o.drawVertices = o.drawEdges = o.drawMeshFeatures = o.drawHumanCuts = true;
  look(Vec3(2, 2, 2), Vec3(0.5f, 0.5f, 0.5f));

  MessageCapture capture;
  frame();
  o.annotateMode = true;
  frame();
  o.drawTriangles = false;
  o.annotateMode = false;
  frame();
  EXPECT_EQ(capture.count("GLproblem\n"), 0);

  // An error left pending by anyone is reported at the end of the frame,
  // and only by that frame.
  view->makeCurrent();
  glEnable(GLenum(0x7fff));
  frame();
  EXPECT_EQ(capture.count("GLproblem\n"), 1);
  frame();
  EXPECT_EQ(capture.count("GLproblem\n"), 1);
}

TEST_F(RenderTest, EmptyAndPointSizedModelsDrawWithoutFaults) {
  engine->planes.append(glyphPlane());
  engine->currentPlane = 0;
  engine->pickState[0] = 4;
  engine->globalXYZPlanes.append(glyphPlane().head());
  DrawOptions& o = view->drawOptions;
  o.drawVertices = o.drawEdges = o.drawMeshFeatures = true;
  look(Vec3(0, 1, 2.5f), Vec3(0, 1, 0));
  MessageCapture capture;

  // A mesh made of one point: radius 0, so the glyph collapses to its point.
  engine->renderMesh->setGeometry({Vec3(0, 1, 0)}, {});
  ASSERT_EQ(engine->renderMesh->radius(), 0.0f);
  QImage img = frame();
  EXPECT_TRUE(hasColour(img, at(Vec3(0.5f, 2, 0)), 255, 255, 255));

  // Annotation view with the eye on the plane's point and a zero normal.
  engine->planes[0].annotations.append(QList<Vec3>{Vec3(0, 0, 0), Vec3(0.5f, 0, 0)});
  engine->planes.append(makePlane(Vec3(0, 1, 2.5f), Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)));
  engine->planes[1].annotations = engine->planes[0].annotations;
  o.annotateMode = true;
  img = frame();
  EXPECT_EQ(capture.count("GLproblem\n"), 0);
  EXPECT_FALSE(img.isNull());
}

TEST_F(RenderTest, DrawingWaitsWhileTheStateIsBeingChanged) {
  std::atomic<bool> locked{false};
  std::chrono::steady_clock::time_point released;
  std::thread writer([&]() {
    std::lock_guard<StateLock> lock(engine->stateMutex);
    locked = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    engine->planes.append(glyphPlane());
    engine->currentPlane = 0;
    released = std::chrono::steady_clock::now();
  });
  while (!locked) std::this_thread::yield();
  look(Vec3(0, 1, 2.5f), Vec3(0, 1, 0));
  const QImage img = frame();
  const auto painted = std::chrono::steady_clock::now();
  writer.join();
  EXPECT_GE(painted, released);
  // The frame saw the plane the writer added while it held the lock.
  EXPECT_TRUE(hasColour(img, at(Vec3(0.5f, 2, 0)), 254, 254, 254));
}

TEST_F(RenderTest, ScreenshotOfACubeWithTwoPlanes) {
  loadUnitCube();
  engine->planes.append(cubeSectionZ());
  engine->planes.append(cubeSectionX());
  engine->currentPlane = 1;
  view->initView();
  view->camera().setAspect(double(view->width()) / view->height());
  const QString dir = testsupport::outputDir();
  QDir().mkpath(dir);
  const QString suffix = studyMode ? "study" : "research";

  QImage img = frame();
  // The two contours show in palette colours 0 (red) and 1 (orange).
  EXPECT_TRUE(anyNear(img, at(Vec3(1.0025f, 0.5f, 0.5f)), 1, [](const Rgb& c) { return same(c, 255, 0, 0); }));
  EXPECT_TRUE(anyNear(img, at(Vec3(0.5f, 0.5f, 1.0025f)), 1, [](const Rgb& c) { return same(c, 255, 128, 0, 1); }));
  EXPECT_TRUE(img.save(dir + "/cube_two_planes_" + suffix + ".png"));

  view->drawOptions.drawTriangles = false;
  view->drawOptions.outputTriangulate = true;
  view->drawOptions.outputColoured = false;
  img = frame();
  EXPECT_TRUE(img.save(dir + "/cube_two_planes_slabs_" + suffix + ".png"));
}

TEST_F(RenderTest, FrameLeavesTheDocumentedGlState) {
  loadUnitCube();
  engine->planes.append(cubeSectionZ());
  engine->currentPlane = 0;
  engine->pickState[0] = 4;
  view->drawOptions.drawMeshFeatures = true;
  engine->globalXYZPlanes.append(engine->planes[0].head());
  frame();
  view->makeCurrent();
  // Set up once by initializeGL and kept.
  EXPECT_TRUE(glIsEnabled(GL_NORMALIZE));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  GLint shade = 0, cullMode = 0;
  glGetIntegerv(GL_SHADE_MODEL, &shade);
  glGetIntegerv(GL_CULL_FACE_MODE, &cullMode);
  EXPECT_EQ(shade, GL_SMOOTH);
  EXPECT_EQ(cullMode, GL_BACK);
  // The plane pass switches culling off for good; features switch lighting
  // off; widths and sizes are back to 1; blending is off.
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_LINE_STIPPLE));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
  GLfloat width = 0, size = 0;
  glGetFloatv(GL_LINE_WIDTH, &width);
  glGetFloatv(GL_POINT_SIZE, &size);
  EXPECT_EQ(width, 1.0f);
  EXPECT_EQ(size, 1.0f);
  // Both matrices are back to identity, the model-view one current.
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  GLdouble m[16], p[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, m);
  glGetDoublev(GL_PROJECTION_MATRIX, p);
  for (int k = 0; k < 16; ++k) {
    EXPECT_EQ(m[k], (k % 5 == 0) ? 1.0 : 0.0);
    EXPECT_EQ(p[k], (k % 5 == 0) ? 1.0 : 0.0);
  }
  GLint depth = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
  EXPECT_EQ(depth, 1);  // every push was popped
}

TEST_F(RenderTest, ResearchSurfaceStandsOutSlabsShowThroughItAndContoursHaveADarkBorder) {
  if (studyMode) GTEST_SKIP() << "the research window's drawing";
  loadUnitCube();
  engine->planes.append(cubeSectionZ());
  engine->currentPlane = Sorvex::kNoPlane;
  look(Vec3(2.2f, 2.6f, 1.9f), Vec3(0.5f, 0.5f, 0.5f));
  const QPointF slab = at(Vec3(0.45f, 0.45f, 0.5f));
  const QPointF face = at(Vec3(0.5f, 0.9f, 1.0f));  // the z = 1 side, above the slab's rim
  const QPointF contour = at(Vec3(1.0025f, 0.5f, 0.5f));

  // The surface is far from the white background and not grey.
  QImage img = frame();
  const Rgb surface = rgbAt(img, int(face.x()), int(face.y()));
  EXPECT_LT(surface.r, 215);
  EXPECT_GT(surface.b - surface.r, 20);

  // A coloured contour has a dark border on either side of its colour.
  EXPECT_TRUE(hasColour(img, contour, 255, 0, 0));
  EXPECT_TRUE(anyNear(img, contour, 4, [](const Rgb& c) { return c.r < 60 && c.g < 60 && c.b < 60; }));
  // Cut into many short segments, as real sections are, the contour keeps
  // its colour all along the side running away from the eye: no segment's
  // border covers its neighbour's colour.
  {
    SectionContour fine;
    fine.isClosed = true;
    const SectionContour& square = engine->planes[0].contours[0];
    for (const SectionSegment& side : square.segments)
      for (int k = 0; k < 50; ++k) {
        SectionSegment piece = side;
        piece.start = side.start + (side.end - side.start) * (k / 50.0f);
        piece.end = side.start + (side.end - side.start) * ((k + 1) / 50.0f);
        fine.segments.append(piece);
      }
    engine->planes[0].contours = {fine};
    const QImage fineImg = frame();
    int red = 0, samples = 0;
    for (float y = 0.1f; y <= 0.9f; y += 0.02f, ++samples) {
      const QPointF p = at(Vec3(1.0025f, y, 0.5f));
      red += hasColour(fineImg, p, 255, 0, 0) ? 1 : 0;
    }
    EXPECT_GE(red, samples * 9 / 10) << red << " of " << samples;
    engine->planes[0] = cubeSectionZ();
  }

  // "Output Triangulate" with "Tri" on: the slab shows through the surface,
  // lit (not flat red) and reddish.
  view->drawOptions.outputTriangulate = true;
  img = frame();
  const Rgb through = rgbAt(img, int(slab.x()), int(slab.y()));
  EXPECT_GT(through.r, through.g + 40);
  EXPECT_GT(through.r, through.b + 20);
  // Without the slab the same pixel is the plain surface.
  view->drawOptions.outputTriangulate = false;
  const Rgb plain = rgbAt(frame(), int(slab.x()), int(slab.y()));
  EXPECT_LT(plain.r, plain.b);
  const QString dir = testsupport::outputDir();
  view->drawOptions.outputTriangulate = true;
  EXPECT_TRUE(frame().save(dir + "/research_cube_slab_through_surface.png"));
}
