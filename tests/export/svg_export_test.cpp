// The slab outlines as a person sees them: the SVG rendered by headless
// Chromium, each slab's filled pixels against its computed area.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonValue>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>

#include "engine/sorvex.h"
#include "export/svg_export.h"
#include "model/render_mesh.h"
#include "support/bundled_models_support.h"
#include "support/debug_capture.h"
#include "support/test_support.h"

namespace {

// Test-side page: the SVG, drawn once per slab with every other slab, the
// labels and the outlines removed, onto a canvas at a known scale; the sum of
// the alpha channel is the slab's filled area. It also lists each group's
// label and box as laid out in the page.
const char* kMeasurePage = R"(<html><body><pre id="out">pending</pre><div id="host"></div>
<script>
var text = %1;
var out = [];
var host = document.getElementById('host');
host.innerHTML = text.substring(text.indexOf('<svg'));
var shown = host.querySelector('svg');
var groups = shown.querySelectorAll('g.slab');
for (var k = 0; k < groups.length; ++k) {
  var b = groups[k].getBBox();
  out.push('box ' + groups[k].id + ' ' + b.x + ' ' + b.y + ' ' + (b.x + b.width) + ' ' + (b.y + b.height) + ' ' +
           groups[k].querySelector('text').textContent);
}
var vb = shown.getAttribute('viewBox').split(' ').map(Number);
var scale = 2400 / Math.max(vb[2], vb[3]);  // pixels per model unit
var W = Math.ceil(vb[2] * scale), H = Math.ceil(vb[3] * scale);
var canvas = document.createElement('canvas');
canvas.width = W; canvas.height = H;
var ctx = canvas.getContext('2d');
function measure(i) {
  if (i == groups.length) { document.getElementById('out').textContent = out.join('\n'); return; }
  var doc = new DOMParser().parseFromString(text, 'image/svg+xml');
  var all = doc.querySelectorAll('g.slab');
  for (var k = 0; k < all.length; ++k) if (k != i) all[k].remove();
  doc.querySelectorAll('text').forEach(function (t) { t.remove(); });
  doc.querySelectorAll('path').forEach(function (p) { p.setAttribute('stroke', 'none'); });
  doc.documentElement.setAttribute('width', W);
  doc.documentElement.setAttribute('height', H);
  var img = new Image();
  img.onload = function () {
    ctx.clearRect(0, 0, W, H);
    ctx.drawImage(img, 0, 0, W, H);
    var data = ctx.getImageData(0, 0, W, H).data, sum = 0;
    for (var p = 3; p < data.length; p += 4) sum += data[p];
    out.push('area ' + groups[i].id + ' ' + (sum / 255 / (scale * scale)));
    measure(i + 1);
  };
  img.onerror = function () { out.push('error loading slab ' + i); measure(i + 1); };
  img.src = 'data:image/svg+xml;base64,' + btoa(new XMLSerializer().serializeToString(doc));
}
measure(0);
</script></body></html>
)";

QString runChromium(const QString& exe, const QString& profile, const QString& page) {
  QProcess p;
  p.start(exe, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                QStringLiteral("--no-first-run"), QStringLiteral("--disable-background-networking"),
                QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
                QStringLiteral("--user-data-dir=") + profile, QStringLiteral("--virtual-time-budget=20000"),
                QStringLiteral("--dump-dom"), QStringLiteral("file://") + page});
  if (!p.waitForStarted(10000) || !p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished(5000);
    return QString();
  }
  return QString::fromUtf8(p.readAllStandardOutput());
}

SectionPlane planeThrough(const Vec3& normal, const Vec3& point) {
  SectionPlane plane;
  plane.normal = normal.normalized();
  plane.d = plane.normal.dot(point);
  normalizePlane(plane);
  return plane;
}

}  // namespace

TEST(SvgExport, EachSlabRendersWithItsComputedAreaLabelledAndApart) {
  const QString exe = QStandardPaths::findExecutable(QStringLiteral("chromium"));
  if (exe.isEmpty()) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh --test installs it)";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  testsupport::DebugCapture quiet;

  // Sections of a cup: rings with a hole across the wall, a U along the axis,
  // and tilted cuts whose plane axes are not model axes. The heights keep
  // clear of the handle's joints, where the handle's contour overlaps the
  // wall's: the computed area counts such an overlap twice, the even-odd
  // fill not at all.
  Sorvex engine(nullptr);
  const QByteArray path = QFile::encodeName(testsupport::bundledModelPath({"21", "Cup 1"}));
  ASSERT_TRUE(engine.loadModel(path.constData(), path.constData(), nullptr, false));
  const Vec3 lo = engine.renderMesh->bboxMin(), hi = engine.renderMesh->bboxMax(), c = engine.renderMesh->centre();
  const Vec3 normals[] = {Vec3(0, 1, 0), Vec3(0, 1, 0), Vec3(1, 0, 0), Vec3(1, 0.4f, 0.2f), Vec3(0.1f, 1, 0.3f)};
  const float heights[] = {0.15f, 0.7f, 0.5f, 0.5f, 0.6f};
  int holes = 0;
  for (int i = 0; i < 5; ++i) {
    SectionPlane plane = planeThrough(normals[i], Vec3(c.x, lo.y + heights[i] * (hi.y - lo.y), c.z));
    engine.updateSection(plane);
    for (const SectionContour& contour : plane.contours) holes += contour.isClosed && contour.isHole;
    engine.addPlane(plane);
  }
  ASSERT_GT(holes, 0);
  const QString svg = dir.filePath(QStringLiteral("slabs.svg"));
  ASSERT_TRUE(writeSlabsSvg(engine.planes, svg));

  QFile file(svg);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  EXPECT_TRUE(text.contains(QLatin1String("fill-rule=\"evenodd\"")));
  const QString page = dir.filePath(QStringLiteral("measure.html"));
  const QByteArray literal = QJsonDocument::fromVariant(QVariantList{text}).toJson(QJsonDocument::Compact);
  ASSERT_TRUE(testsupport::writeTextFile(
      page,
      QString::fromLatin1(kMeasurePage).arg(QString::fromUtf8(literal.mid(1, literal.size() - 2))).toStdString()));
  const QString dom = runChromium(exe, dir.filePath(QStringLiteral("profile")), page);
  const int start = dom.indexOf(QStringLiteral("<pre id=\"out\">"));
  ASSERT_GE(start, 0) << dom.toStdString();
  const int from = start + int(qstrlen("<pre id=\"out\">"));
  const QStringList lines = dom.mid(from, dom.indexOf(QStringLiteral("</pre>"), from) - from).split(QLatin1Char('\n'));

  struct Box {
    double x0, y0, x1, y1;
  };
  QVector<Box> boxes;
  int measured = 0;
  for (const QString& line : lines) {
    const QStringList f = line.split(QLatin1Char(' '));
    if (f.value(0) == QLatin1String("box")) {
      ASSERT_GE(f.size(), 7) << line.toStdString();
      const int p = boxes.size();
      EXPECT_EQ(f[1], QStringLiteral("plane%1").arg(p));
      EXPECT_EQ(f.mid(6).join(QLatin1Char(' ')),
                QStringLiteral("Plane%1 (Area: %2)").arg(p).arg(double(engine.planes[p].area), 0, 'g', 6));
      boxes.append({f[2].toDouble(), f[3].toDouble(), f[4].toDouble(), f[5].toDouble()});
    } else if (f.value(0) == QLatin1String("area")) {
      const int p = f.value(1).mid(5).toInt();
      ASSERT_TRUE(p >= 0 && p < engine.planes.size()) << line.toStdString();
      const double expected = engine.planes[p].area;
      ASSERT_GT(expected, 0.0);
      EXPECT_NEAR(f.value(2).toDouble(), expected, 0.02 * expected) << "plane " << p;
      ++measured;
    } else {
      ADD_FAILURE() << "unexpected line: " << line.toStdString();
    }
  }
  EXPECT_EQ(measured, engine.planes.size());
  ASSERT_EQ(boxes.size(), engine.planes.size());
  for (int a = 0; a < boxes.size(); ++a)
    for (int b = a + 1; b < boxes.size(); ++b)
      EXPECT_TRUE(boxes[a].x1 <= boxes[b].x0 || boxes[b].x1 <= boxes[a].x0 || boxes[a].y1 <= boxes[b].y0 ||
                  boxes[b].y1 <= boxes[a].y0)
          << "slabs " << a << " and " << b << " overlap";
  QFile::remove(testsupport::outputDir() + QStringLiteral("/slabs.svg"));
  QFile::copy(svg, testsupport::outputDir() + QStringLiteral("/slabs.svg"));
}
