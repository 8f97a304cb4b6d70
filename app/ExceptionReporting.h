// Reporting of failures that no command handles: they end the command in which they arose, are
// written to standard error and shown in a message box, and the program goes on where it can.
#pragma once

#include <QApplication>
#include <exception>
#include <functional>

// Reports a failure: one line on standard error and an error message box.
void ReportUnhandledFailure(const QString& what);
// The same for the exception being handled; call from inside a catch block.
void ReportCurrentException();

// Runs `command`, reporting any failure that escapes it; the failure ends the command only.
void RunGuarded(const std::function<void()>& command);

// The program's application object: a failure escaping an event handler is reported instead of
// ending the program.
class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Installs the last-resort handler for failures that leave the program altogether: it writes
// the failure to standard error, shows it if it can, and ends the program.
void InstallTerminateHandler();
