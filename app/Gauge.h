// The progress gauge of the status bar: a minimum of 0, a maximum and a value, each change
// drawn at once so progress shows while a long command is still running.
#pragma once

#include <QProgressBar>

class TGauge : public QProgressBar {
  Q_OBJECT

 public:
  explicit TGauge(QWidget* parent = nullptr);

  int Maximum() const { return maximum_; }
  int Value() const { return value_; }

  // A maximum below the value lowers the value to it; a negative maximum counts as 0.
  void SetMaximum(int maximum);
  // Held inside 0..maximum.
  void SetValue(int value);

  // Marks the bar as showing a failure: drawn in the error colour, reading "Failed". The
  // numbers stay as they are.
  void SetFailed(bool failed);
  bool Failed() const { return failed_; }

 private:
  void Show();

  int maximum_ = 100;
  int value_ = 0;
  bool failed_ = false;
};

// The colour that marks a failure, readable on the palette's window colour (Qt's palettes have
// no role for it): a deep red on light themes, a light red on dark ones.
QColor ErrorColour(const QPalette& palette);
