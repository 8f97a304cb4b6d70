#include "Gauge.h"

#include <QPalette>
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

void TGauge::SetFailed(bool failed) {
  if (failed == failed_) {
    return;
  }
  failed_ = failed;
  if (failed) {
    QPalette colours = palette();
    colours.setColor(QPalette::Highlight, ErrorColour(colours));
    colours.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(colours);
    setFormat(QStringLiteral("Failed"));
  } else {
    setPalette(QPalette());
    setFormat(QStringLiteral("%p%"));
  }
  if (isVisible()) {
    repaint();
  }
}

QColor ErrorColour(const QPalette& palette) {
  const bool darkTheme = palette.color(QPalette::Window).lightness() < 128;
  return darkTheme ? QColor(0xFF, 0x7B, 0x72) : QColor(0xC0, 0x1C, 0x28);
}
