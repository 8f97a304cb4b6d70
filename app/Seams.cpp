#include "Seams.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QQueue>
#include <QUrl>
#include <optional>

namespace {

struct MessageBoxState {
  QQueue<QMessageBox::StandardButton> answers;
  bool nonInteractive = false;
  QList<MessageBox::Shown> shown;
};

MessageBoxState& BoxState() {
  static MessageBoxState state;
  return state;
}

struct FileDialogState {
  QQueue<QString> nextFileNames;
  SaveDialogRequest lastRequest;
  int openCount = 0;
};

FileDialogState& DialogState() {
  static FileDialogState state;
  return state;
}

DocumentOpener::Opener& CustomOpener() {
  static DocumentOpener::Opener opener;
  return opener;
}

QMessageBox::Icon IconOf(MessageBox::Kind kind) {
  switch (kind) {
    case MessageBox::Kind::Warning:
      return QMessageBox::Warning;
    case MessageBox::Kind::Critical:
      return QMessageBox::Critical;
    case MessageBox::Kind::Question:
      return QMessageBox::Question;
    case MessageBox::Kind::Information:
      break;
  }
  return QMessageBox::Information;
}

QString TitleOf(MessageBox::Kind kind) {
  switch (kind) {
    case MessageBox::Kind::Warning:
      return QStringLiteral("Warning");
    case MessageBox::Kind::Critical:
      return QStringLiteral("Error");
    case MessageBox::Kind::Question:
      return QStringLiteral("Question");
    case MessageBox::Kind::Information:
      break;
  }
  return QStringLiteral("Information");
}

}  // namespace

QMessageBox::StandardButton MessageBox::information(QWidget* parent, const QString& text) {
  return ask(parent, Kind::Information, text);
}

QMessageBox::StandardButton MessageBox::warning(QWidget* parent, const QString& text) {
  return ask(parent, Kind::Warning, text);
}

QMessageBox::StandardButton MessageBox::critical(QWidget* parent, const QString& text) {
  return ask(parent, Kind::Critical, text);
}

QMessageBox::StandardButton MessageBox::question(QWidget* parent, const QString& text,
                                                 const QString& acceptText) {
  return ask(parent, Kind::Question, text, acceptText);
}

void MessageBox::about(QWidget* parent, const QString& title, const QString& text) {
  MessageBoxState& state = BoxState();
  state.shown.append({Kind::Information, text});
  if (!state.answers.isEmpty()) {
    state.answers.dequeue();
    return;
  }
  if (state.nonInteractive) {
    return;
  }
  QMessageBox::about(parent, title, text);
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer) {
  BoxState().answers.enqueue(answer);
}

void MessageBox::setNonInteractive(bool nonInteractive) {
  BoxState().nonInteractive = nonInteractive;
}

const QList<MessageBox::Shown>& MessageBox::shown() { return BoxState().shown; }

void MessageBox::clearShown() { BoxState().shown.clear(); }

QMessageBox::StandardButton MessageBox::ask(QWidget* parent, Kind kind, const QString& text,
                                            const QString& acceptText) {
  MessageBoxState& state = BoxState();
  state.shown.append({kind, text});
  if (!state.answers.isEmpty()) {
    return state.answers.dequeue();
  }
  if (state.nonInteractive) {
    return QMessageBox::Ok;
  }
  const bool asks = kind == Kind::Warning || kind == Kind::Question;
  const QMessageBox::StandardButtons buttons =
      asks ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok;
  QMessageBox box(IconOf(kind), TitleOf(kind), text, buttons, parent);
  if (!acceptText.isEmpty()) {
    box.button(QMessageBox::Ok)->setText(acceptText);
  }
  // A question defaults to keeping things as they are: Enter must not throw away work.
  box.setDefaultButton(asks ? QMessageBox::Cancel : QMessageBox::Ok);
  const int answer = box.exec();
  // Closing the box through its frame counts as the button that cancels it.
  if (answer != QMessageBox::Ok && answer != QMessageBox::Cancel) {
    return asks ? QMessageBox::Cancel : QMessageBox::Ok;
  }
  return static_cast<QMessageBox::StandardButton>(answer);
}

namespace {

// The queued answer of a dialog that a test has answered in advance, if any.
std::optional<QString> TakeQueuedAnswer(const SaveDialogRequest& request) {
  FileDialogState& state = DialogState();
  state.lastRequest = request;
  ++state.openCount;
  if (state.nextFileNames.isEmpty()) {
    return std::nullopt;
  }
  const QString name = state.nextFileNames.dequeue();
  if (name.isEmpty()) {
    return QString();
  }
  return QDir(request.directory).absoluteFilePath(name);
}

QString RunDialog(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return {};
  }
  return dialog.selectedFiles().constFirst();
}

}  // namespace

QString FileDialog::getSaveFileName(QWidget* parent, const SaveDialogRequest& request) {
  if (std::optional<QString> queued = TakeQueuedAnswer(request)) {
    return *queued;
  }
  QFileDialog dialog(parent, request.title, request.directory);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The window asks itself before replacing a file: the name it writes may get an extension
  // the dialog never saw.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilter(request.nameFilter);
  dialog.selectNameFilter(request.nameFilter);
  if (!request.selectedFile.isEmpty()) {
    dialog.selectFile(request.selectedFile);
  }
  return RunDialog(dialog);
}

QString FileDialog::getOpenFileName(QWidget* parent, const SaveDialogRequest& request) {
  if (std::optional<QString> queued = TakeQueuedAnswer(request)) {
    return *queued;
  }
  QFileDialog dialog(parent, request.title, request.directory);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({request.nameFilter, QStringLiteral("All files (*)")});
  dialog.selectNameFilter(request.nameFilter);
  if (!request.selectedFile.isEmpty()) {
    dialog.selectFile(request.selectedFile);
  }
  return RunDialog(dialog);
}

QString FileDialog::getExistingDirectory(QWidget* parent, const SaveDialogRequest& request) {
  if (std::optional<QString> queued = TakeQueuedAnswer(request)) {
    return *queued;
  }
  QFileDialog dialog(parent, request.title, request.directory);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  return RunDialog(dialog);
}

void FileDialog::setNextFileName(const QString& fileName) {
  DialogState().nextFileNames.enqueue(fileName);
}

const SaveDialogRequest& FileDialog::lastRequest() { return DialogState().lastRequest; }

int FileDialog::openCount() { return DialogState().openCount; }

void DocumentOpener::open(const QString& path) {
  if (CustomOpener()) {
    CustomOpener()(path);
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

DocumentOpener::Opener DocumentOpener::setOpener(Opener opener) {
  Opener previous = std::move(CustomOpener());
  CustomOpener() = std::move(opener);
  return previous;
}
