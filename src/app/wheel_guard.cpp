#include "app/wheel_guard.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QWidget>

namespace {

class StrayWheelFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Wheel) return false;
    const auto* field = qobject_cast<QWidget*>(watched);
    if (!field || field->hasFocus()) return false;
    // Not delivered to the field and not accepted: the application hands
    // the turn on to the field's parents, up to the scroll area.
    event->ignore();
    return true;
  }
};

void guard(QWidget* field, QObject* filter) {
  field->setFocusPolicy(Qt::StrongFocus);
  field->installEventFilter(filter);
}

}  // namespace

void guardFieldsAgainstStrayWheel(QWidget* panel) {
  if (!panel) return;
  auto* filter = new StrayWheelFilter(panel);
  for (QAbstractSpinBox* spin : panel->findChildren<QAbstractSpinBox*>()) guard(spin, filter);
  for (QComboBox* combo : panel->findChildren<QComboBox*>()) guard(combo, filter);
}
