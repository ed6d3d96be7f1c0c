// A wheel turn over a value field the user has not clicked into scrolls the
// research panel instead of changing the value.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

#include "app/panel_fixture.h"
#include "app/study_mode.h"

namespace {

// Turns the wheel one notch towards the user over the middle of `w`, as the
// window system delivers it (a spontaneous event): the application passes an
// ignored turn on to the parents, which it does not for events the program
// makes itself.
void turnWheelDown(QWidget* w) {
  const QPointF at(w->width() / 2.0, w->height() / 2.0);
  QWheelEvent wheel(at, w->mapToGlobal(at.toPoint()), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QSpontaneKeyEvent::setSpontaneous(&wheel);
  // Straight to the application: sending would clear the spontaneous mark.
  QApplication::instance()->notify(w, &wheel);
}

using ResearchPanelWheel = paneltest::WindowFixture;

}  // namespace

TEST_F(ResearchPanelWheel, WheelOverAnUnclickedFieldScrollsThePanelAndKeepsTheValue) {
  if (studyMode) GTEST_SKIP() << "the study panel does not scroll";
  window->resize(1366, 768 - 60);
  QTRY_COMPARE(window->size(), QSize(1366, 768 - 60));
  QScrollArea* scroll = window->panelScroll();
  ASSERT_NE(scroll, nullptr);
  QScrollBar* bar = scroll->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);

  QDoubleSpinBox* smooth = view->curvatureSmoothSpin;
  QComboBox* smoothing = view->smoothingCombo;
  const double smoothBefore = smooth->value();
  const int comboBefore = smoothing->currentIndex();
  for (QWidget* field : {static_cast<QWidget*>(smooth), static_cast<QWidget*>(smoothing),
                         static_cast<QWidget*>(view->featureWeightSpin[2])}) {
    ASSERT_FALSE(field->hasFocus());
    EXPECT_EQ(field->focusPolicy(), Qt::StrongFocus);
    bar->setValue(0);
    const double weightBefore = view->featureWeightSpin[2]->value();
    turnWheelDown(field);
    EXPECT_GT(bar->value(), 0) << field->metaObject()->className();
    EXPECT_DOUBLE_EQ(view->featureWeightSpin[2]->value(), weightBefore);
  }
  EXPECT_DOUBLE_EQ(smooth->value(), smoothBefore);
  EXPECT_EQ(smoothing->currentIndex(), comboBefore);
}
