#pragma once

#include <QDoubleSpinBox>

// A feature weight field: the value keeps every decimal the spin box holds
// (the start weights have seven), the field shows three. Text that was not
// edited is read back as the exact value, so leaving the field never rounds
// the weight to what is shown.
class WeightSpinBox : public QDoubleSpinBox {
 public:
  static constexpr int kShownDecimals = 3;

  explicit WeightSpinBox(QWidget* parent = nullptr) : QDoubleSpinBox(parent) {}

  QString textFromValue(double value) const override { return locale().toString(value, 'f', kShownDecimals); }
  double valueFromText(const QString& text) const override {
    if (text == textFromValue(value())) return value();
    return QDoubleSpinBox::valueFromText(text);
  }
};
