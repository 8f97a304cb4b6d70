#include "ExceptionReporting.h"

#include <QThread>
#include <cstdio>
#include <cstdlib>

#include "Seams.h"

namespace {

QString DescribeCurrentException() {
  try {
    throw;
  } catch (const std::exception& failure) {
    return QString::fromStdString(failure.what());
  } catch (...) {
    return QStringLiteral("Unknown failure");
  }
}

bool& InsideReport() {
  static bool inside = false;
  return inside;
}

[[noreturn]] void TerminateWithReport() {
  QString what = QStringLiteral("The program failed and must end.");
  if (std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (...) {
      what = DescribeCurrentException();
    }
  }
  std::fprintf(stderr, "corvella-rebrander: fatal: %s\n", what.toLocal8Bit().constData());
  std::fflush(stderr);
  // Showing a box needs a working GUI thread; from anywhere else only the line above is safe.
  if (qApp != nullptr && QThread::currentThread() == qApp->thread() && !InsideReport()) {
    InsideReport() = true;
    MessageBox::critical(nullptr, what);
  }
  std::abort();
}

}  // namespace

void ReportUnhandledFailure(const QString& what) {
  std::fprintf(stderr, "corvella-rebrander: %s\n", what.toLocal8Bit().constData());
  std::fflush(stderr);
  // A failure while a report is already on screen is written only, so reports never pile up.
  if (InsideReport()) {
    return;
  }
  InsideReport() = true;
  try {
    MessageBox::critical(QApplication::activeWindow(), what);
  } catch (...) {
  }
  InsideReport() = false;
}

void ReportCurrentException() { ReportUnhandledFailure(DescribeCurrentException()); }

void RunGuarded(const std::function<void()>& command) {
  try {
    command();
  } catch (...) {
    ReportCurrentException();
  }
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportCurrentException();
    return false;
  }
}

void InstallTerminateHandler() { std::set_terminate(&TerminateWithReport); }
