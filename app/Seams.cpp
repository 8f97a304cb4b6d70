#include "Seams.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
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
  std::optional<QString> nextFileName;
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

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer) {
  BoxState().answers.enqueue(answer);
}

void MessageBox::setNonInteractive(bool nonInteractive) {
  BoxState().nonInteractive = nonInteractive;
}

const QList<MessageBox::Shown>& MessageBox::shown() { return BoxState().shown; }

void MessageBox::clearShown() { BoxState().shown.clear(); }

QMessageBox::StandardButton MessageBox::ask(QWidget* parent, Kind kind, const QString& text) {
  MessageBoxState& state = BoxState();
  state.shown.append({kind, text});
  if (!state.answers.isEmpty()) {
    return state.answers.dequeue();
  }
  if (state.nonInteractive) {
    return QMessageBox::Ok;
  }
  const QMessageBox::StandardButtons buttons =
      kind == Kind::Warning ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok;
  QMessageBox box(IconOf(kind), TitleOf(kind), text, buttons, parent);
  box.setDefaultButton(QMessageBox::Ok);
  const int answer = box.exec();
  // Closing the box through its frame counts as the button that cancels it.
  if (answer != QMessageBox::Ok && answer != QMessageBox::Cancel) {
    return kind == Kind::Warning ? QMessageBox::Cancel : QMessageBox::Ok;
  }
  return static_cast<QMessageBox::StandardButton>(answer);
}

QString FileDialog::getSaveFileName(QWidget* parent, const SaveDialogRequest& request) {
  FileDialogState& state = DialogState();
  state.lastRequest = request;
  ++state.openCount;
  if (state.nextFileName) {
    QString name = *state.nextFileName;
    state.nextFileName.reset();
    if (name.isEmpty()) {
      return {};
    }
    return QDir(request.directory).absoluteFilePath(name);
  }
  QFileDialog dialog(parent, request.title, request.directory);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // An existing file is replaced without a question.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilter(request.nameFilter);
  dialog.selectNameFilter(request.nameFilter);
  if (!request.selectedFile.isEmpty()) {
    dialog.selectFile(request.selectedFile);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return {};
  }
  return dialog.selectedFiles().constFirst();
}

void FileDialog::setNextFileName(const QString& fileName) { DialogState().nextFileName = fileName; }

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
