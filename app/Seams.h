// The places where the window hands control to the user or to the desktop: modal message boxes,
// the save dialog and the opening of a document in its viewer. Each has a seam through which
// tests answer in advance, so no test ever waits on a modal window or starts a real viewer.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// The window's modal message box (`msgMain`): information with OK, warning with OK and Cancel.
class MessageBox {
 public:
  enum class Kind { Information, Warning, Critical, Question };

  // Information box with one OK button.
  static QMessageBox::StandardButton information(QWidget* parent, const QString& text);
  // Warning box with OK and Cancel.
  static QMessageBox::StandardButton warning(QWidget* parent, const QString& text);
  // Error box with one OK button, for failures that no command handled.
  static QMessageBox::StandardButton critical(QWidget* parent, const QString& text);
  // The About box: a title of its own, an OK button; recorded as information.
  static void about(QWidget* parent, const QString& title, const QString& text);
  // Question before something the user may not want done: a button that does it, labelled
  // `acceptText`, answering Ok, and Cancel, the default, so Enter does nothing harmful.
  static QMessageBox::StandardButton question(QWidget* parent, const QString& text,
                                              const QString& acceptText);

  // The next box is not shown: it returns `answer` at once. Answers queue up in order.
  static void setNextAnswer(QMessageBox::StandardButton answer);
  // When set, a box without a queued answer is not shown either and returns OK, so a test that
  // meets an unexpected box fails on its checks instead of hanging.
  static void setNonInteractive(bool nonInteractive);

  // Every box asked for since the last clearShown(), shown or answered through the seam.
  struct Shown {
    Kind kind;
    QString text;
  };
  static const QList<Shown>& shown();
  static void clearShown();

 private:
  static QMessageBox::StandardButton ask(QWidget* parent, Kind kind, const QString& text,
                                         const QString& acceptText = {});
};

// What a file dialog was opened with, so tests can check title, filter and starting place.
struct SaveDialogRequest {
  QString title;
  QString nameFilter;
  QString directory;
  QString selectedFile;
};

// The file dialogs. Each returns the confirmed path as the user gave it, or an empty string when
// the dialog was cancelled.
class FileDialog {
 public:
  static QString getSaveFileName(QWidget* parent, const SaveDialogRequest& request);
  // An existing file to read.
  static QString getOpenFileName(QWidget* parent, const SaveDialogRequest& request);
  // An existing folder.
  static QString getExistingDirectory(QWidget* parent, const SaveDialogRequest& request);

  // The next dialog is not shown: it yields `fileName` (empty: cancelled). A relative name is
  // taken relative to the dialog's folder, as a typed name would be. Answers queue up in order.
  static void setNextFileName(const QString& fileName);
  static const SaveDialogRequest& lastRequest();
  static int openCount();
};

// Opens a document in the desktop's viewer for its type, without waiting for the viewer.
class DocumentOpener {
 public:
  using Opener = std::function<void(const QString& path)>;
  static void open(const QString& path);
  // Replaces the desktop's opener; an empty function restores it. Returns the previous one.
  static Opener setOpener(Opener opener);
};
