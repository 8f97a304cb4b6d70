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

 private:
  void Show();

  int maximum_ = 100;
  int value_ = 0;
};
