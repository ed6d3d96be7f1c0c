// The quality object of a model's summary: a sphere cut at its equator,
// whose covered share is the band |z| <= t, t / R of the surface, for the
// run's plane and for every plane through the centre.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QtGlobal>
#include <cmath>

#include "batch/quality_report.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "support/meshedit_support.h"
#include "support/sections_support.h"

namespace {

void quietLog(QtMsgType, const QMessageLogContext&, const QString&) {}

// Sampling error on a share p of 20,000 samples, with room for the facets.
double tolerance(double p) { return 4.5 * std::sqrt(p * (1.0 - p) / 20000.0) + 0.002; }

}  // namespace

TEST(QualityReport, SphereRunAndBaselinesCoverTheirBands) {
  qInstallMessageHandler(quietLog);
  const float R = 0.8f;
  Sorvex engine(nullptr);
  const meshedit::Mesh sphere = meshedit::uvSphere(R, 96, 48);
  *engine.renderMesh = sectionsupport::makeMesh(sphere.vertices, sphere.faces);
  SectionPlane equator = sectionsupport::planeThrough(Vec3(0, 0, 0), Vec3(0, 0, 1));
  engine.updateSection(equator);
  engine.planes.append(equator);

  const QJsonObject q = qualityReport(engine);
  const double radius = engine.renderMesh->radius();
  const double near = 0.03 * radius / R, far = 0.06 * radius / R;  // shares of the bands
  EXPECT_EQ(q["samples"].toInt(), 20000);
  EXPECT_EQ(q["distances"].toArray(), QJsonArray({0.03, 0.06}));
  EXPECT_DOUBLE_EQ(q["radius"].toDouble(), radius);
  EXPECT_NEAR(q["absoluteDistances"].toArray()[1].toDouble(), 0.06 * radius, 1e-9);
  const QJsonArray planes = q["planes"].toArray();
  ASSERT_EQ(planes.size(), 1);
  EXPECT_NEAR(planes[0].toObject()["coverage03"].toDouble(), near, tolerance(near));
  EXPECT_NEAR(planes[0].toObject()["coverage06"].toDouble(), far, tolerance(far));
  const QJsonObject total = q["total"].toObject();
  EXPECT_EQ(total["planeCount"].toInt(), 1);
  EXPECT_NEAR(total["coverage03"].toDouble(), near, tolerance(near));

  // Any plane through the centre covers the same band.
  const QJsonObject principal = q["principalPlanes"].toObject();
  ASSERT_EQ(principal["planeCount"].toInt(), 3);
  for (const QJsonValue& p : principal["planes"].toArray()) {
    EXPECT_NEAR(p.toObject()["coverage03"].toDouble(), near, tolerance(near));
    EXPECT_NEAR(p.toObject()["offset"].toDouble(), 0.0, 0.01);
  }
  const QJsonObject greedy = q["greedyAxisPlanes"].toObject();
  EXPECT_EQ(greedy["requested"].toInt(), 1);
  EXPECT_EQ(greedy["planeCount"].toInt(), 1);
  EXPECT_EQ(greedy["planes"].toArray().size(), 1);

  const QString line = qualityLine(QStringLiteral("sphere%1"), q);
  EXPECT_TRUE(line.startsWith(QStringLiteral("sphere%1: coverage ") +
                              QString::number(total["coverage03"].toDouble(), 'f', 3) + QLatin1Char('/') +
                              QString::number(total["coverage06"].toDouble(), 'f', 3) +
                              QStringLiteral(" with 1 planes; principal ")))
      << line.toStdString();
  EXPECT_TRUE(line.endsWith(QStringLiteral(" with 1"))) << line.toStdString();

  // An engine without a model reports no samples and nothing covered.
  Sorvex empty(nullptr);
  const QJsonObject none = qualityReport(empty);
  EXPECT_EQ(none["samples"].toInt(), 0);
  EXPECT_EQ(none["total"].toObject()["coverage03"].toDouble(), 0.0);
  EXPECT_EQ(none["principalPlanes"].toObject()["planeCount"].toInt(), 0);
  EXPECT_EQ(none["greedyAxisPlanes"].toObject()["planeCount"].toInt(), 0);
  qInstallMessageHandler(nullptr);
}
