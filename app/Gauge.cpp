#include "Gauge.h"

#include <algorithm>

TGauge::TGauge(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(true);
  setFormat(QStringLiteral("%p%"));
  setAlignment(Qt::AlignCenter);
  Show();
}

void TGauge::SetMaximum(int maximum) {
  maximum_ = std::max(0, maximum);
  value_ = std::min(value_, maximum_);
  Show();
}

void TGauge::SetValue(int value) {
  value_ = std::clamp(value, 0, maximum_);
  Show();
}

// A bar whose maximum equals its minimum is empty; QProgressBar would show a busy indicator.
// QProgressBar draws a visible change of its value at once by itself; a new range only asks for
// a later update, so that is drawn here.
void TGauge::Show() {
  const int shownMaximum = maximum_ == 0 ? 1 : maximum_;
  const bool rangeChanged = QProgressBar::maximum() != shownMaximum;
  if (rangeChanged) {
    setRange(0, shownMaximum);
  }
  QProgressBar::setValue(maximum_ == 0 ? 0 : value_);
  if (rangeChanged && isVisible()) {
    repaint();
  }
}
