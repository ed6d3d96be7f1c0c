#pragma once

// A real main window for the panel tests, with the user-facing dialogs
// replaced so that nothing blocks.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <memory>

#include "app/glwidget.h"
#include "app/window.h"
#include "export/plane_journal.h"
#include "view/side_glwidget.h"

namespace paneltest {

// Lets every main view's model load end (loads run on a worker and report
// back through the event loop).
inline void waitForLoads(int timeoutMs = 120000) {
  QElapsedTimer clock;
  clock.start();
  for (QWidget* w : QApplication::allWidgets())
    if (auto* view = qobject_cast<GLWidget*>(w))
      while (view->loadActive() && clock.elapsed() < timeoutMs) QTest::qWait(2);
}

// Presses a button the way a user would: a real mouse click on its visible
// face, or, for controls the configuration does not place in the window, the
// programmatic click a hidden button still answers to. A load the press
// starts is waited for.
inline void press(QAbstractButton* button) {
  if (!button->isVisible()) {
    button->click();
    waitForLoads();
    return;
  }
  QPoint at = button->rect().center();
  if (auto* box = qobject_cast<QCheckBox*>(button)) {
    QStyleOptionButton option;
    option.initFrom(box);
    at = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).center();
  } else if (auto* radio = qobject_cast<QRadioButton*>(button)) {
    QStyleOptionButton option;
    option.initFrom(radio);
    at = radio->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &option, radio).center();
  }
  QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, at);
  waitForLoads();
}

// Answers the next modal message box the way a user would: a real click on
// its button labelled `buttonText` (mnemonic marks aside). Returns a watcher to call after the
// action that shows the box: it stops waiting and tells what the box said
// (empty when no box came up).
class BoxAnswer {
 public:
  explicit BoxAnswer(const QString& buttonText) : buttonText_(buttonText) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      timer_.stop();
      text_ = box->text();
      for (QAbstractButton* button : box->buttons())
        if (button->text().remove(QLatin1Char('&')) == buttonText_) {
          clicked_ = true;
          QTest::mouseClick(button, Qt::LeftButton);
          return;
        }
      box->reject();  // no such button: leave the box, the test fails on clicked()
    });
    timer_.start();
  }
  ~BoxAnswer() { timer_.stop(); }
  QString text() const { return text_; }
  bool clicked() const { return clicked_; }

 private:
  QString buttonText_;
  QTimer timer_;
  QString text_;
  bool clicked_ = false;
};

class WindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<Window>();
    view = window->mainView();
    view->showMessage = [this](QWidget*, const QString& text) { messages << text; };
    view->chooseModelFile = [this](QWidget*, const QString& caption, const QString& dir, const QString& filter) {
      dialogCalls << (caption + "|" + dir + "|" + filter);
      return nextFile;
    };
    window->resize(1300, 900);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  void TearDown() override { window.reset(); }

  std::unique_ptr<Window> window;
  GLWidget* view = nullptr;
  QStringList messages;
  QStringList dialogCalls;
  QString nextFile;  // what the file dialog "returns"; empty = cancel
};

// Keeps the view's journal on disk past the window and reads its record as
// it stands; the journal, or null (with a failure) when it cannot be read.
inline const PlaneJournal* readKeptJournal(GLWidget* view, PlaneJournalRecord& record) {
  const PlaneJournal* journal = view->planeJournal();
  if (!journal) {
    ADD_FAILURE() << "the view keeps no journal";
    return nullptr;
  }
  view->keepJournal();
  QString error;
  if (!PlaneJournal::read(journal->path(), record, error)) {
    ADD_FAILURE() << error.toStdString();
    return nullptr;
  }
  return journal;
}

}  // namespace paneltest
