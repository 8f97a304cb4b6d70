// The main window driven through its widgets, offscreen, on packages made in temporary folders.
// Modal boxes, the save dialog and the document viewer are answered through their seams; runs
// load the scriptable fake PDF library or a library name that does not exist.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "FMain.h"
#include "Gauge.h"
#include "Seams.h"
#include "VariableList.h"
#include "fake_control.h"
#include "md5.h"

namespace {

const char* const kMissingLibrary = "libdynapdf-not-installed.so";

// Occurrences of three variables: "[[name]]" twice (once written "[[NAME]]"), "[[site]]" once and
// the link variable "[[link]]" once.
const char* const kRecords =
    "1^Hello [[name]]^Alice^Text^1^0^[[name]]\n"
    "1^[[site]]^example.com^Text^1^0^[[site]]\n"
    "1^http://x.test/?u=[[link]]^Alice^Link^2^3^[[link]]\n"
    "1^Dear [[NAME]]^ALICE^Text^2^0^[[NAME]]\n";

const char* const kPDFBytes = "%PDF-1.4\n% stands in for the rebrandable e-book\n%%EOF\n";

// A program folder with a package in it.
class Package {
 public:
  explicit Package(const QByteArray& records = kRecords) {
    Write("file.dat", kPDFBytes);
    WriteVariables(records);
  }

  QString Path(const QString& name) const { return dir_.filePath(name); }
  std::string Folder() const { return dir_.path().toStdString(); }

  void Write(const QString& name, const QByteArray& bytes) const {
    QFile file(Path(name));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
  }

  void WriteVariables(const QByteArray& records, const QByteArray& fingerprint = {}) const {
    const QByteArray first =
        fingerprint.isNull()
            ? QByteArray::fromStdString(MD5ToHex(MD5File(Path("file.dat").toStdString())))
            : fingerprint;
    Write("variables.dat", first + "\n" + records);
  }

  void Remove(const QString& name) const { QFile::remove(Path(name)); }

 private:
  QTemporaryDir dir_;
};

struct Window {
  explicit Window(const Package& package) : Window(package.Folder()) {}
  explicit Window(const std::string& programFolder) : frm(programFolder) {
    frm.show();
    if (!QTest::qWaitForWindowExposed(&frm)) {
      qWarning("the window was not exposed");
    }
  }

  template <typename T>
  T* Child(const char* name) {
    T* child = frm.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
      qFatal("no control %s", name);
    }
    return child;
  }
  QPushButton* Button(const char* name) { return Child<QPushButton>(name); }
  TVariableList* List(const char* name) { return Child<TVariableList>(name); }
  QWidget* Client() { return Child<QWidget>("ClientArea"); }
  QCheckBox* Switch() { return Child<QCheckBox>("chkRemoveDuplicated"); }
  QString Status() { return Child<QLabel>("MainStatusPanel")->text(); }
  TGauge* Gauge() { return Child<TGauge>("MainGauge"); }
  void Load() { Button("btnOpenPDF")->click(); }

  TfrmMain frm;
};

QStringList ShownTexts() {
  QStringList texts;
  for (const MessageBox::Shown& shown : MessageBox::shown()) {
    texts << shown.text;
  }
  return texts;
}

QStringList Column(TVariableList* list, int column) {
  QStringList texts;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    texts << list->topLevelItem(i)->text(column);
  }
  return texts;
}

QRect GeometryIn(QWidget* window, QWidget* child) {
  return QRect(child->mapTo(window, QPoint(0, 0)), child->size());
}

// Opens the editor of a cell the way the user would, as `how` says.
void TryToEdit(TVariableList* list, int row, int column, const QString& how) {
  const QModelIndex index = list->model()->index(row, column);
  list->setFocus();
  list->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  if (how == "F2") {
    QTest::keyClick(list, Qt::Key_F2);
  } else if (how == "Space") {
    QTest::keyClick(list, Qt::Key_Space);
  } else {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
    // A click on the selected row may open its editor after the double-click interval.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
  }
}

// Drops `paths` onto the window as a file manager would; true when the window took them.
bool Drop(QWidget* window, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths) {
    urls << QUrl::fromLocalFile(path);
  }
  data.setUrls(urls);
  const QPoint at = window->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(window, &enter);
  if (!enter.isAccepted()) {
    return false;
  }
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
  QApplication::sendEvent(window, &drop);
  return drop.isAccepted();
}

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Types a custom value into a row of the visible list the way a user does.
void TypeValue(TVariableList* list, int row, const QString& value) {
  list->setFocus();
  list->selectionModel()->setCurrentIndex(
      list->model()->index(row, 2),
      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  QTest::keyClick(list, Qt::Key_F2);
  QLineEdit* editor = list->viewport()->findChild<QLineEdit*>();
  QVERIFY(editor != nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, value);
  QTest::keyClick(editor, Qt::Key_Return);
  QTRY_COMPARE(list->topLevelItem(row)->text(2), value);
}

QPoint CellCentre(TVariableList* list, int row, int column) {
  return list->visualRect(list->model()->index(row, column)).center();
}

QLineEdit* OpenEditor(TVariableList* list) {
  return list->IsEditing() ? list->viewport()->findChild<QLineEdit*>() : nullptr;
}

// Whether the left edge of a cell shows the strong blue frame of the current cell.
bool ShowsCurrentCellFrame(TVariableList* list, int row, int column) {
  const QImage image = list->viewport()->grab().toImage();
  const QRect cell = list->visualRect(list->model()->index(row, column));
  const QColor edge =
      image.pixelColor(QPoint(cell.left() + 1, cell.center().y()) * image.devicePixelRatio());
  return edge.blue() > 150 && edge.red() < 90 && edge.green() < 130;
}

}  // namespace

class FMainTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // Previews that fall back to the user's cache write into this test's own folder.
    QVERIFY(cache_.isValid());
    qputenv("XDG_CACHE_HOME", cache_.path().toLocal8Bit());
  }

  void init() {
    qputenv("XDG_CACHE_HOME", cache_.path().toLocal8Bit());
    MessageBox::setNonInteractive(true);
    MessageBox::clearShown();
    DocumentOpener::setOpener([this](const QString& path) { opened_ << path; });
    opened_.clear();
  }

  void startUpStatesAndLayout();
  void listsFillTheRestOnResize();
  void loadFillsBothLists();
  void packageFromAnywhere_data();
  void packageFromAnywhere();
  void packageThatFailsKeepsTheOneLoaded();
  void secondLoadForgetsCustomValues();
  void typedValuesAreNotLostSilently_data();
  void typedValuesAreNotLostSilently();
  void noQuestionOnceTheValuesAreSaved();
  void questionsDefaultToCancel();
  void saveAsksBeforeReplacingAFile();
  void valuesAreKeptAndReused();
  void badValuesFilesAreRefused_data();
  void badValuesFilesAreRefused();
  void packageCheckFailures_data();
  void packageCheckFailures();
  void unreadableVariablesFileIsReportedAndChangesNothing();
  void onlyTheCustomValueColumnIsEditable_data();
  void onlyTheCustomValueColumnIsEditable();
  void arrowKeysMoveTheColumnToEdit();
  void editingStartsTheWayUsersExpect_data();
  void editingStartsTheWayUsersExpect();
  void customValuesHoldAtMost1024Characters();
  void customValueCellsAreLightYellow();
  void headerClickSortsByBytesWithSharedDirection();
  void pageColumnSortsByNumber();
  void elidedCellsShowTheirTextInATooltip();
  void columnsTheUserSizedKeepTheirWidth();
  void typedValuesAreReadableUnderADarkPalette();
  void clearEmptiesBothLists();
  void switchWithoutCustomValuesAsksNothing();
  void switchCancelKeepsTickAndValues();
  void switchOkEmptiesValuesAndFlipsList();
  void saveWithoutRowsAsksForALoad();
  void saveThroughTheDialog();
  void cancelledSaveChangesNothing();
  void valuesOfDistinctListReachEveryOccurrence();
  void windows1252PackageIsReadAsOneCodePage();
  void statusAfterFailedLibraryCall();
  void statusAfterFailure_data();
  void statusAfterFailure();
  void commandsAreDisabledDuringARun();
  void windowStaysAliveDuringTheReplacement();
  void failureLooksLikeAFailure_data();
  void failureLooksLikeAFailure();
  void successNamesTheFileSaved();
  void previewOfTheOriginalOpensACopy();
  void previewOfTheRebrandedPDFWithoutLibraryOpensNothing();
  void previewsWhereTheFolderCannotTakeTheFile();
  void previewsOfAReadOnlyInstallGoToTheCache();
  void menusShortcutsAndEnter();
  void aShortcutWhileTypingKeepsTheValue();
  void referralAddress_data();
  void referralAddress();
  void samplePackageRebrandedWithTheCoreLibrary();
  void screenshotsOfTheStates();

 private:
  QStringList opened_;
  QTemporaryDir cache_;
};

void FMainTest::startUpStatesAndLayout() {
  Package package;
  Window w(package);
  QCOMPARE(w.frm.objectName(), QString("frmMain"));
  QCOMPARE(w.frm.windowTitle(), QString("Corvella Rebrander"));
  // The original window's client area, below the menu bar.
  QCOMPARE(w.Client()->size(), QSize(792, 504));
  QCOMPARE(w.Client()->y(), w.Child<QWidget>("MenuBar")->height());

  struct Expected {
    const char* name;
    const char* caption;
    const char* hint;
    bool enabled;
    QRect geometry;  // in the window's client area
  };
  const Expected buttons[] = {
      {"btnOpenPDF", "Load branded  PDF", "Load branded pdf", true, {9, 34, 163, 20}},
      {"btnPreviewOriginal", "Preview branded PDF", "Preview branded PDF", false, {9, 61, 163, 20}},
      {"btnPreviewBranded",
       "Preview rebranded PDF",
       "Preview rebranded PDF with variables replaced",
       false,
       {9, 88, 163, 20}},
      {"btnSaveRebrandablePDF",
       "Save rebranded PDF",
       "Save your rebranded version of the PDF ",
       false,
       {9, 115, 163, 20}},
      {"btnExit", "Exit", "Exit application", true, {9, 142, 163, 20}},
      {"btnClear", "Clear", "Clear variable list", true, {187, 504 - 17 - 48 + 12, 116, 20}},
      {"btnMakeMoney", "Make Money", "", true, {307, 504 - 17 - 48 + 12, 147, 20}},
  };
  for (const Expected& e : buttons) {
    QPushButton* button = w.Button(e.name);
    QCOMPARE(button->text(), QString(e.caption));
    QCOMPARE(button->toolTip(), QString(e.hint));
    QCOMPARE(button->isEnabled(), e.enabled);
    QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(GeometryIn(w.Client(), button), e.geometry);
  }
  QCheckBox* box = w.Switch();
  QCOMPARE(box->text(), QString("Remove duplicated variables"));
  QVERIFY(box->isChecked());
  QVERIFY(box->isEnabled());
  QCOMPARE(GeometryIn(w.Client(), box), QRect(8, 33 + 136, 164, 25));

  QVERIFY(w.List("lvwLinks2")->isVisible());
  QVERIFY(!w.List("lvwLinks")->isVisible());
  QCOMPARE(GeometryIn(w.Client(), w.List("lvwLinks2")), QRect(185, 33, 593, 406));
  QCOMPARE(w.Status(), QString());
  QCOMPARE(w.Gauge()->Value(), 0);
  QCOMPARE(w.Gauge()->Maximum(), 100);
  QCOMPARE(w.Gauge()->width(), 130);
  QCOMPARE(GeometryIn(w.Client(), w.Gauge()).right(), 791);
  QCOMPARE(GeometryIn(w.Client(), w.Gauge()).bottom(), 503);

  for (const char* name : {"lvwLinks", "lvwLinks2"}) {
    TVariableList* list = w.List(name);
    QCOMPARE(list->topLevelItemCount(), 0);
    QTreeWidgetItem* head = list->headerItem();
    QCOMPARE(head->text(0), QString("Tagged text and links"));
    QCOMPARE(head->text(1), QString("Default values"));
    QCOMPARE(head->text(2), QString("Edit custom values"));
    QCOMPARE(head->text(3), QString("Type"));
    QCOMPARE(head->text(4), QString("Page"));
    QVERIFY(list->header()->sectionsMovable());
  }
  QCOMPARE(w.List("lvwLinks2")->columnWidth(3), 150);
  QCOMPARE(w.frm.AffiliateID(), std::string("harrowfield"));
  QCOMPARE(w.frm.PDFFileName(), std::string());
  QCOMPARE(w.frm.OutputFileName(), std::string());
}

void FMainTest::listsFillTheRestOnResize() {
  Package package;
  Window w(package);
  w.frm.resize(1000, 700 + w.Client()->y());
  QTRY_COMPARE(GeometryIn(w.Client(), w.List("lvwLinks2")),
               QRect(185, 33, 1000 - 185 - 14, 700 - 98));
  QCOMPARE(GeometryIn(w.Client(), w.Button("btnOpenPDF")), QRect(9, 34, 163, 20));
  QCOMPARE(GeometryIn(w.Client(), w.Button("btnClear")), QRect(187, 700 - 65 + 12, 116, 20));
  QCOMPARE(GeometryIn(w.Client(), w.Gauge()), QRect(1000 - 130, 700 - 17, 130, 17));
  // The first three columns share what "Type" and "Page" leave.
  TVariableList* list = w.List("lvwLinks2");
  const int share = list->columnWidth(0);
  QCOMPARE(list->columnWidth(1), share);
  QCOMPARE(list->columnWidth(2), share);
  QVERIFY(qAbs(3 * share + 150 + list->columnWidth(4) - list->viewport()->width()) < 3);
}

void FMainTest::loadFillsBothLists() {
  Package package;
  Window w(package);
  w.Load();
  QCOMPARE(ShownTexts(), QStringList());
  QCOMPARE(w.frm.PDFFileName(), package.Path("file.dat").toStdString());

  TVariableList* all = w.List("lvwLinks");
  TVariableList* distinct = w.List("lvwLinks2");
  QCOMPARE(Column(all, 0), QStringList({"Hello [[name]]", "[[site]]", "http://x.test/?u=[[link]]",
                                        "Dear [[NAME]]"}));
  QCOMPARE(Column(all, 1), QStringList({"Alice", "example.com", "Alice", "ALICE"}));
  QCOMPARE(Column(all, 2), QStringList({"", "", "", ""}));
  QCOMPARE(Column(all, 3), QStringList({"Text", "Text", "Link", "Text"}));
  QCOMPARE(Column(all, 4), QStringList({"1", "1", "2", "2"}));
  const TListRow link = all->Row(2);
  QCOMPARE(link.SubItems[kLinkHandle], std::string("3"));
  QCOMPARE(link.SubItems[kVariableName], std::string("[[link]]"));

  // "[[name]]" and "[[NAME]]" share the row of the first.
  QCOMPARE(Column(distinct, 0),
           QStringList({"Hello [[name]]", "[[site]]", "http://x.test/?u=[[link]]"}));
  QCOMPARE(distinct->Row(0).SubItems[kVariableName], std::string("[[name]]"));
  QCOMPARE(distinct->visualItemRect(distinct->topLevelItem(0)).height(), 20);

  for (const char* name :
       {"btnPreviewOriginal", "btnPreviewBranded", "btnSaveRebrandablePDF", "btnClear"}) {
    QVERIFY2(w.Button(name)->isEnabled(), name);
  }
  QVERIFY(distinct->isVisible());
  QCOMPARE(w.frm.Formats().Count(), std::size_t{4});
}

void FMainTest::packageFromAnywhere_data() {
  QTest::addColumn<QString>("how");
  QTest::newRow("Open package dialog") << "dialog";
  QTest::newRow("folder dropped") << "drop folder";
  QTest::newRow("its files dropped") << "drop files";
  QTest::newRow("folder named on the command line") << "argument";
}

// A package outside the program's folder: the window loads it, names it in its title, and
// "Load branded  PDF" reloads it afterwards.
void FMainTest::packageFromAnywhere() {
  QFETCH(QString, how);
  fakepdf::FakeControl fake;
  fake.reset();
  QTemporaryDir programFolder;  // an install with no package beside the program
  QTemporaryDir parent;
  const QString folder = parent.filePath("My Book");
  QVERIFY(QDir().mkpath(folder));
  {
    Package source;
    for (const char* name : {"file.dat", "variables.dat"}) {
      QVERIFY(QFile::copy(source.Path(name), folder + "/" + name));
    }
  }
  Window w(programFolder.path().toStdString());
  w.frm.SetLibraryName(FAKEPDF_PATH);
  if (how == "dialog") {
    FileDialog::setNextFileName(folder);
    w.Button("btnOpenPackage")->click();
  } else if (how == "drop folder") {
    QVERIFY(Drop(&w.frm, {folder}));
  } else if (how == "drop files") {
    QVERIFY(Drop(&w.frm, {folder + "/file.dat", folder + "/variables.dat"}));
  } else {
    QVERIFY(w.frm.OpenPackage(folder));
  }
  QCOMPARE(ShownTexts(), QStringList());
  QCOMPARE(w.List("lvwLinks2")->topLevelItemCount(), 3);
  QCOMPARE(w.frm.windowTitle(), QString("My Book \u2014 Corvella Rebrander"));
  QCOMPARE(QString::fromStdString(w.frm.PDFFileName()), folder + "/file.dat");
  QVERIFY(w.Button("btnSaveRebrandablePDF")->isEnabled());

  // Loading again reloads that package, not the empty program folder.
  w.List("lvwLinks2")->SetCustomValue(0, "Bob");
  w.Load();
  QCOMPARE(ShownTexts(), QStringList());
  QCOMPARE(w.List("lvwLinks2")->CustomValue(0), QString());
  QCOMPARE(QString::fromStdString(w.frm.PDFFileName()), folder + "/file.dat");

  // A run reads the package's PDF.
  FileDialog::setNextFileName(parent.filePath("out.pdf"));
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));
  QVERIFY(fake.Log().find("\"" + folder.toStdString() + "/file.dat\"") != std::string::npos);
}

void FMainTest::packageThatFailsKeepsTheOneLoaded() {
  Package package;
  QTemporaryDir notAPackage;
  Window w(package);
  w.Load();
  const QString title = w.frm.windowTitle();
  QVERIFY(title.endsWith(QString::fromUtf8(" \u2014 Corvella Rebrander")));
  QVERIFY(!w.frm.OpenPackage(notAPackage.path()));
  QCOMPARE(
      ShownTexts(),
      QStringList({"Your variables configuration file don't exists. Please reinstall again!"}));
  QCOMPARE(w.frm.PDFFileName(), package.Path("file.dat").toStdString());
  QCOMPARE(w.frm.windowTitle(), title);
  QCOMPARE(w.List("lvwLinks2")->topLevelItemCount(), 3);
  // A drop of something that is not a local file is refused.
  QMimeData web;
  web.setUrls({QUrl("https://example.com/book/")});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &web, Qt::LeftButton, {});
  QApplication::sendEvent(&w.frm, &enter);
  QVERIFY(!enter.isAccepted());
}

void FMainTest::secondLoadForgetsCustomValues() {
  Package package;
  Window w(package);
  w.Load();
  w.List("lvwLinks2")->SetCustomValue(0, "Bob");
  w.Load();
  QCOMPARE(Column(w.List("lvwLinks2"), 2), QStringList({"", "", ""}));
  QVERIFY(w.Switch()->isChecked());
}

void FMainTest::typedValuesAreNotLostSilently_data() {
  QTest::addColumn<QString>("action");
  QTest::addColumn<bool>("discard");
  for (const char* action : {"Load", "Open package", "Exit", "close", "Clear"}) {
    QTest::addRow("%s, cancelled", action) << action << false;
    QTest::addRow("%s, discarded", action) << action << true;
  }
}

void FMainTest::typedValuesAreNotLostSilently() {
  QFETCH(QString, action);
  QFETCH(bool, discard);
  Package package;
  Window w(package);
  w.Load();
  if (action == "Clear") {
    w.Switch()->setChecked(false);  // so Clear would empty the list shown
  }
  TVariableList* view = w.Switch()->isChecked() ? w.List("lvwLinks2") : w.List("lvwLinks");
  TypeValue(view, 1, "my.site");
  QVERIFY(w.frm.ValuesTyped());
  MessageBox::setNextAnswer(discard ? QMessageBox::Ok : QMessageBox::Cancel);
  if (action == "Load") {
    w.Load();
  } else if (action == "Open package") {
    QCOMPARE(w.frm.OpenPackage(package.Path("")), discard);
  } else if (action == "Exit") {
    w.Button("btnExit")->click();
  } else if (action == "close") {
    w.frm.close();
  } else {
    w.Button("btnClear")->click();
  }
  QCOMPARE(MessageBox::shown().size(), 1);
  QCOMPARE(MessageBox::shown().at(0).kind, MessageBox::Kind::Question);
  QCOMPARE(MessageBox::shown().at(0).text, QString("Discard the values you typed?"));
  const bool leaves = action == "Exit" || action == "close";
  if (!discard) {
    QCOMPARE(view->CustomValue(1), QString("my.site"));
    QVERIFY(w.frm.isVisible());
  } else if (leaves) {
    QVERIFY(!w.frm.isVisible());
  } else {
    QVERIFY(!view->HasCustomValue());
    QVERIFY(!w.frm.ValuesTyped());
  }
}

void FMainTest::noQuestionOnceTheValuesAreSaved() {
  fakepdf::FakeControl fake;
  fake.reset();
  Package package;
  Window w(package);
  w.frm.SetLibraryName(FAKEPDF_PATH);
  w.Load();
  TypeValue(w.List("lvwLinks2"), 0, "Bob");
  FileDialog::setNextFileName("saved.pdf");
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));
  w.Load();
  QCOMPARE(ShownTexts(), QStringList());
  // A preview is no save: what was typed for it is still asked about.
  TypeValue(w.List("lvwLinks2"), 0, "Bob");
  w.Button("btnPreviewBranded")->click();
  MessageBox::setNextAnswer(QMessageBox::Cancel);
  w.Load();
  QCOMPARE(ShownTexts(), QStringList({"Discard the values you typed?"}));
}

// The real boxes, answered with Enter: the questions that can lose work keep it.
void FMainTest::questionsDefaultToCancel() {
  Package package;
  Window w(package);
  w.Load();
  TypeValue(w.List("lvwLinks2"), 0, "Bob");
  MessageBox::setNonInteractive(false);
  QStringList boxes;
  const auto answerWithEnter = [&] {
    QTimer::singleShot(0, &w.frm, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      boxes << box->text();
      QTest::keyClick(box, Qt::Key_Return);
    });
  };
  answerWithEnter();
  w.Switch()->click();
  answerWithEnter();
  w.Load();
  MessageBox::setNonInteractive(true);
  QCOMPARE(boxes, QStringList({"Change this feature will clean your variables values!\n"
                               " Are you agree to continue with this action?",
                               "Discard the values you typed?"}));
  QVERIFY(w.Switch()->isChecked());
  QCOMPARE(w.List("lvwLinks2")->CustomValue(0), QString("Bob"));
}

void FMainTest::saveAsksBeforeReplacingAFile() {
  fakepdf::FakeControl fake;
  fake.reset();
  Package package;
  package.Write("book.pdf", "the reseller's earlier book");
  Window w(package);
  w.frm.SetLibraryName(FAKEPDF_PATH);
  w.Load();
  const int dialogs = FileDialog::openCount();
  // "No" goes back to the dialog, on the same name; cancelling it then saves nothing.
  FileDialog::setNextFileName("book");
  MessageBox::setNextAnswer(QMessageBox::Cancel);
  FileDialog::setNextFileName(QString());
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(FileDialog::openCount(), dialogs + 2);
  QCOMPARE(FileDialog::lastRequest().selectedFile, QString("book.pdf"));
  QCOMPARE(ShownTexts(),
           QStringList({QString("A file named \"book.pdf\" already exists in \"%1\".\n"
                                "Do you want to replace it?")
                            .arg(QFileInfo(package.Path("book.pdf")).absolutePath())}));
  QCOMPARE(w.frm.OutputFileName(), std::string());
  QCOMPARE(FileBytes(package.Path("book.pdf")), QByteArray("the reseller's earlier book"));

  FileDialog::setNextFileName("book.pdf");
  MessageBox::setNextAnswer(QMessageBox::Ok);
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(w.frm.OutputFileName(), package.Path("book.pdf").toStdString());
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));
}

void FMainTest::valuesAreKeptAndReused() {
  Package package;
  QTemporaryDir keep;
  const QString valuesFile = keep.filePath("my values.txt");
  {
    Window w(package);
    w.Load();
    TypeValue(w.List("lvwLinks2"), 0, "Bob Émile");
    TypeValue(w.List("lvwLinks2"), 2, "id=42");
    FileDialog::setNextFileName(valuesFile);
    w.Button("btnSaveValues")->click();
    QCOMPARE(ShownTexts(), QStringList());
    QVERIFY(!w.frm.ValuesTyped());
    QCOMPARE(w.Status(), QString("Values saved to \"%1\"").arg(valuesFile));
  }
  const QList<QByteArray> lines = FileBytes(valuesFile).split('\n');
  QVERIFY(lines.at(0).startsWith("#"));
  QCOMPARE(lines.mid(1), QList<QByteArray>({"[[name]]=Bob \xC3\x89mile", "[[link]]=id=42", ""}));

  // Another book: every occurrence of a matching name gets its value, in the list shown; names
  // the book lacks are named. "[[NAME]]" is its own variable, byte for byte.
  Window w(package);
  w.Load();
  w.Switch()->setChecked(false);
  package.Write("more.txt", QByteArray("\xEF\xBB\xBF# kept for every book\r\n[[name]]=Carol\r\n\r\n"
                                       "[[gone]]=x\n[[site]]=carol.example\n"));
  FileDialog::setNextFileName(package.Path("more.txt"));
  w.Button("btnLoadValues")->click();
  QCOMPARE(Column(w.List("lvwLinks"), 2), QStringList({"Carol", "carol.example", "", ""}));
  QCOMPARE(ShownTexts(), QStringList({QString("These names in \"%1\" match no variable of this "
                                              "package:\n  [[gone]]")
                                          .arg(package.Path("more.txt"))}));
  QCOMPARE(w.Status(), QString("2 of 3 values loaded from \"%1\"").arg(package.Path("more.txt")));

  // The saved file loads back as it was typed.
  w.Switch()->setChecked(true);
  MessageBox::clearShown();
  FileDialog::setNextFileName(valuesFile);
  w.Button("btnLoadValues")->click();
  QCOMPARE(ShownTexts(), QStringList());
  QCOMPARE(Column(w.List("lvwLinks2"), 2), QStringList({"Bob \u00C9mile", "", "id=42"}));
}

void FMainTest::badValuesFilesAreRefused_data() {
  QTest::addColumn<QByteArray>("content");  // null: no file at all
  QTest::addColumn<QString>("message");     // %1: the file
  QTest::newRow("no equals sign") << QByteArray("[[name]]=Bob\njust a name\n")
                                  << "\"%1\", line 2: expected NAME=VALUE, got \"just a name\"";
  QTest::newRow("empty name") << QByteArray("=Bob\n")
                              << "\"%1\", line 1: expected NAME=VALUE, got \"=Bob\"";
  QTest::newRow("missing file") << QByteArray()
                                << "Cannot read the values file \"%1\": No such file or directory";
}

void FMainTest::badValuesFilesAreRefused() {
  QFETCH(QByteArray, content);
  QFETCH(QString, message);
  Package package;
  if (!content.isNull()) {
    package.Write("values.txt", content);
  }
  Window w(package);
  w.Load();
  FileDialog::setNextFileName(package.Path("values.txt"));
  w.Button("btnLoadValues")->click();
  QCOMPARE(ShownTexts(), QStringList({message.arg(package.Path("values.txt"))}));
  QVERIFY(!w.List("lvwLinks2")->HasCustomValue());
}

void FMainTest::packageCheckFailures_data() {
  QTest::addColumn<bool>("withVariables");
  QTest::addColumn<bool>("withPDF");
  QTest::addColumn<QByteArray>("fingerprint");  // null: the right one
  QTest::addColumn<QString>("message");
  const QString noVariables =
      "Your variables configuration file don't exists. Please reinstall again!";
  const QString noPDF = "Your rebrandable pdf don't exists. Please reinstall again!";
  const QString foreign =
      "You are attempting to rebrand another file. You can only rebrand a unique rebrandable "
      "pdf!";
  const QByteArray right =
      QByteArray::fromStdString(MD5ToHex(MD5Bytes(kPDFBytes, strlen(kPDFBytes))));
  QTest::newRow("nothing there") << false << false << QByteArray() << noVariables;
  QTest::newRow("no variables file") << false << true << QByteArray() << noVariables;
  QTest::newRow("no PDF") << true << false << QByteArray() << noPDF;
  QTest::newRow("upper-case fingerprint") << true << true << right.toUpper() << foreign;
  QTest::newRow("trailing blank") << true << true << right + " " << foreign;
  QTest::newRow("other file") << true << true << QByteArray(32, '0') << foreign;
}

void FMainTest::packageCheckFailures() {
  QFETCH(bool, withVariables);
  QFETCH(bool, withPDF);
  QFETCH(QByteArray, fingerprint);
  QFETCH(QString, message);
  Package package;
  package.WriteVariables(kRecords, fingerprint);
  if (!withVariables) {
    package.Remove("variables.dat");
  }
  if (!withPDF) {
    package.Remove("file.dat");
  }
  Window w(package);
  w.Load();
  QCOMPARE(MessageBox::shown().size(), 1);
  QCOMPARE(MessageBox::shown().at(0).kind, MessageBox::Kind::Information);
  QCOMPARE(MessageBox::shown().at(0).text, message);
  QCOMPARE(w.List("lvwLinks")->topLevelItemCount(), 0);
  QCOMPARE(w.List("lvwLinks2")->topLevelItemCount(), 0);
  QVERIFY(!w.Button("btnSaveRebrandablePDF")->isEnabled());
  QVERIFY(!w.Button("btnPreviewBranded")->isEnabled());
  QCOMPARE(w.frm.PDFFileName(), package.Path("file.dat").toStdString());
}

void FMainTest::unreadableVariablesFileIsReportedAndChangesNothing() {
  Package package;
  Window w(package);
  w.Load();
  package.Write("variables.dat", "");
  MessageBox::clearShown();
  w.Load();
  // The failure ends the command and reaches the failure report; nothing else changes.
  QCOMPARE(MessageBox::shown().size(), 1);
  QCOMPARE(MessageBox::shown().at(0).kind, MessageBox::Kind::Critical);
  QCOMPARE(w.List("lvwLinks")->topLevelItemCount(), 4);
  QCOMPARE(w.List("lvwLinks2")->topLevelItemCount(), 3);
  QVERIFY(w.Button("btnOpenPDF")->isEnabled());
}

void FMainTest::onlyTheCustomValueColumnIsEditable_data() {
  QTest::addColumn<QString>("list");
  QTest::addColumn<int>("column");
  QTest::addColumn<QString>("how");
  QTest::addColumn<bool>("editable");
  for (const char* list : {"lvwLinks", "lvwLinks2"}) {
    for (const char* how : {"F2", "Space", "click"}) {
      for (int column = 0; column < 5; ++column) {
        QTest::addRow("%s column %d %s", list, column, how)
            << QString(list) << column << QString(how) << (column == 2);
      }
    }
  }
}

void FMainTest::onlyTheCustomValueColumnIsEditable() {
  QFETCH(QString, list);
  QFETCH(int, column);
  QFETCH(QString, how);
  QFETCH(bool, editable);
  Package package;
  Window w(package);
  w.Load();
  if (list == "lvwLinks") {
    w.Switch()->setChecked(false);
  }
  TVariableList* view = w.List(list.toLatin1().constData());
  QVERIFY(view->isVisible());
  TryToEdit(view, 1, column, how);
  QCOMPARE(view->IsEditing(), editable);
  if (editable) {
    auto* editor = view->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor != nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "Bob");
    QTest::keyClick(editor, Qt::Key_Return);
    // The editor hands its text over once control is back in the event loop.
    QTRY_COMPARE(view->topLevelItem(1)->text(2), QString("Bob"));
  }
}

void FMainTest::arrowKeysMoveTheColumnToEdit() {
  Package package;
  Window w(package);
  w.Load();
  TVariableList* view = w.List("lvwLinks2");
  TryToEdit(view, 0, 0, "F2");
  QVERIFY(!view->IsEditing());
  QTest::keyClick(view, Qt::Key_Right);
  QTest::keyClick(view, Qt::Key_Right);
  QCOMPARE(view->currentIndex().column(), 2);
  QTest::keyClick(view, Qt::Key_F2);
  QVERIFY(view->IsEditing());
  QTest::keyClick(view->viewport()->findChild<QLineEdit*>(), Qt::Key_Escape);
  QTRY_VERIFY(!view->IsEditing());
  QTest::keyClick(view, Qt::Key_Left);
  QTest::keyClick(view, Qt::Key_Space);
  QVERIFY(!view->IsEditing());
  QCOMPARE(view->currentIndex().column(), 1);
  QCOMPARE(view->currentIndex().row(), 0);
}

void FMainTest::editingStartsTheWayUsersExpect_data() {
  QTest::addColumn<QString>("how");
  QTest::addColumn<int>("column");  // the cell the user aims at
  QTest::addColumn<bool>("selectedBefore");
  for (int column : {0, 2, 4}) {
    for (bool selected : {false, true}) {
      QTest::addRow("double-click column %d%s", column, selected ? " of the selected row" : "")
          << "double-click" << column << selected;
    }
    QTest::addRow("click column %d then F2", column) << "click, F2" << column << false;
    QTest::addRow("click column %d then type", column) << "click, type" << column << false;
  }
  QTest::newRow("Down then type") << "Down, type" << 0 << true;
  QTest::newRow("Down then Space") << "Down, Space" << 0 << true;
  QTest::newRow("End then F2") << "End, F2" << 3 << true;
}

// Whatever way the user starts, the value typed lands in the custom value of the row aimed at.
void FMainTest::editingStartsTheWayUsersExpect() {
  QFETCH(QString, how);
  QFETCH(int, column);
  QFETCH(bool, selectedBefore);
  Package package;
  Window w(package);
  w.Load();
  TVariableList* view = w.List("lvwLinks2");
  view->setFocus();
  int row = 1;
  if (selectedBefore) {
    view->selectionModel()->setCurrentIndex(
        view->model()->index(0, column),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (how == "double-click") {
      row = 0;
    }
  }
  const QStringList steps = how.split(", ");
  for (const QString& step : steps) {
    if (step == "double-click") {
      QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, CellCentre(view, row, column));
    } else if (step == "click") {
      QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, CellCentre(view, row, column));
      // The selected row shows its custom value as the current cell.
      QCOMPARE(view->currentIndex(), view->model()->index(row, 2));
      QVERIFY(ShowsCurrentCellFrame(view, row, 2));
      QVERIFY(!ShowsCurrentCellFrame(view, row, column == 2 ? 0 : column));
    } else if (step == "F2") {
      QTest::keyClick(view, Qt::Key_F2);
    } else if (step == "Space") {
      QTest::keyClick(view, Qt::Key_Space);
    } else if (step == "Down") {
      QTest::keyClick(view, Qt::Key_Down);
      row = 1;
    } else if (step == "End") {
      QTest::keyClick(view, Qt::Key_End);
      row = view->topLevelItemCount() - 1;
    } else if (step == "type") {
      // The first character opens the editor and is part of the value.
      QTest::keyClick(view, 'B');
      QVERIFY(OpenEditor(view) != nullptr);
      QCOMPARE(OpenEditor(view)->text(), QString("B"));
    }
  }
  QVERIFY(view->IsEditing());
  QLineEdit* editor = OpenEditor(view);
  QVERIFY(editor != nullptr);
  QCOMPARE(view->currentIndex(), view->model()->index(row, 2));
  if (!steps.contains("type")) {
    QTest::keyClick(editor, 'B');
  }
  QTest::keyClicks(editor, "ob");
  QTest::keyClick(editor, Qt::Key_Return);
  QTRY_COMPARE(view->topLevelItem(row)->text(2), QString("Bob"));
  for (int other = 0; other < view->topLevelItemCount(); ++other) {
    if (other != row) {
      QCOMPARE(view->topLevelItem(other)->text(2), QString());
    }
  }
}

void FMainTest::customValuesHoldAtMost1024Characters() {
  Package package;
  Window w(package);
  w.Load();
  TVariableList* view = w.List("lvwLinks2");
  TryToEdit(view, 0, 2, "F2");
  auto* editor = view->viewport()->findChild<QLineEdit*>();
  QVERIFY(editor != nullptr);
  editor->setText(QString(1500, QChar('x')));
  QTest::keyClick(editor, Qt::Key_Return);
  QTRY_COMPARE(view->topLevelItem(0)->text(2), QString(1024, QChar('x')));
}

void FMainTest::customValueCellsAreLightYellow() {
  Package package;
  Window w(package);
  w.Load();
  TVariableList* view = w.List("lvwLinks2");
  view->clearSelection();
  view->setCurrentItem(nullptr);
  const QImage image = view->viewport()->grab().toImage();
  const QRect custom = view->visualRect(view->model()->index(1, 2));
  const QRect type = view->visualRect(view->model()->index(1, 3));
  const qreal ratio = image.devicePixelRatio();
  const auto colourAt = [&](const QRect& cell) {
    return image.pixelColor(QPoint(cell.left() + 4, cell.top() + 3) * ratio).rgb();
  };
  QCOMPARE(colourAt(custom), QColor(255, 255, 221).rgb());
  QVERIFY(colourAt(type) != QColor(255, 255, 221).rgb());
}

void FMainTest::headerClickSortsByBytesWithSharedDirection() {
  Package package("1^b^1^Text^1^0^v1\n1^B^2^Text^1^0^v2\n1^a^3^Text^1^0^v3\n");
  Window w(package);
  w.Load();
  TVariableList* distinct = w.List("lvwLinks2");
  QHeaderView* head = distinct->header();
  const auto clickHeader = [](QHeaderView* header, int section) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 5, header->height() / 2));
  };
  clickHeader(head, 0);
  QCOMPARE(Column(distinct, 0), QStringList({"B", "a", "b"}));
  QCOMPARE(head->sortIndicatorOrder(), Qt::AscendingOrder);
  clickHeader(head, 0);
  QCOMPARE(Column(distinct, 0), QStringList({"b", "a", "B"}));
  // Another column sorts in the direction now current.
  clickHeader(head, 1);
  QCOMPARE(Column(distinct, 1), QStringList({"3", "2", "1"}));

  // The direction is shared: the other list starts descending too.
  w.Switch()->setChecked(false);
  TVariableList* all = w.List("lvwLinks");
  clickHeader(all->header(), 0);
  QCOMPARE(Column(all, 0), QStringList({"b", "a", "B"}));
}

void FMainTest::pageColumnSortsByNumber() {
  Package package("1^a^1^Text^10^0^v1\n1^b^1^Text^2^0^v2\n1^c^1^Text^x^0^v3\n1^d^1^Text^1^0^v4\n");
  Window w(package);
  w.Load();
  TVariableList* distinct = w.List("lvwLinks2");
  QHeaderView* head = distinct->header();
  const QPoint page(head->sectionViewportPosition(4) + 5, head->height() / 2);
  QTest::mouseClick(head->viewport(), Qt::LeftButton, {}, page);
  QCOMPARE(Column(distinct, 4), QStringList({"1", "2", "10", "x"}));
  QTest::mouseClick(head->viewport(), Qt::LeftButton, {}, page);
  QCOMPARE(Column(distinct, 4), QStringList({"x", "10", "2", "1"}));
}

void FMainTest::elidedCellsShowTheirTextInATooltip() {
  const QByteArray target =
      "http://x.test/a/very/long/path/that/no/column/of/this/window/can/"
      "show/whole?affiliate=[[link]]&campaign=spring";
  Package package("1^" + target + "^me^Link^1^0^[[link]]\n1^short^me^Text^1^0^v\n");
  Window w(package);
  w.Load();
  TVariableList* distinct = w.List("lvwLinks2");
  const auto tooltipAt = [&](int row, int column) {
    QToolTip::hideText();
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000)) {
      return QString("(the last tooltip stayed)");
    }
    const QPoint at = CellCentre(distinct, row, column);
    QHelpEvent help(QEvent::ToolTip, at, distinct->viewport()->mapToGlobal(at));
    QApplication::sendEvent(distinct->viewport(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
  };
  QCOMPARE(tooltipAt(0, 0), QString::fromLatin1(target));
  QCOMPARE(tooltipAt(1, 0), QString());
  QCOMPARE(tooltipAt(0, 1), QString());
}

void FMainTest::columnsTheUserSizedKeepTheirWidth() {
  Package package;
  Window w(package);
  w.Load();
  TVariableList* list = w.List("lvwLinks2");
  const int second = list->columnWidth(1);
  const int third = list->columnWidth(2);
  list->header()->resizeSection(0, 420);  // as a drag of the header's divider does
  QCOMPARE(list->columnWidth(1), second);
  QCOMPARE(list->columnWidth(2), third);
  w.frm.resize(1000, 700);
  QTRY_COMPARE(list->width(), 1000 - 185 - 14);
  QCOMPARE(list->columnWidth(0), 420);
  QCOMPARE(list->columnWidth(1), second);
  QCOMPARE(list->columnWidth(2), third);
  QCOMPARE(list->columnWidth(3), 150);
}

// Under a dark theme the list's text is light; on the yellow cells the typed value is drawn dark.
void FMainTest::typedValuesAreReadableUnderADarkPalette() {
  Package package;
  Window w(package);
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
  dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
  dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
  dark.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
  w.frm.setPalette(dark);
  w.Load();
  TVariableList* view = w.List("lvwLinks2");
  view->SetCustomValue(0, "WWWWWWWW");
  view->clearSelection();
  view->setCurrentItem(nullptr);
  const QImage image = view->viewport()->grab().toImage();
  const auto darkestIn = [&](int column) {
    const QRect cell = view->visualRect(view->model()->index(0, column));
    int darkest = 255;
    for (int x = cell.left() + 2; x < cell.right() - 2; ++x) {
      for (int y = cell.top() + 2; y < cell.bottom() - 2; ++y) {
        darkest = std::min(darkest,
                           image.pixelColor(QPoint(x, y) * image.devicePixelRatio()).lightness());
      }
    }
    return darkest;
  };
  const QRect custom = view->visualRect(view->model()->index(0, 2));
  QCOMPARE(image.pixelColor(QPoint(custom.right() - 4, custom.top() + 3) * image.devicePixelRatio())
               .rgb(),
           QColor(255, 255, 221).rgb());
  QVERIFY(darkestIn(2) < 80);    // dark text on the yellow
  QVERIFY(darkestIn(3) < 0x30);  // the dark base elsewhere
  const QString path = QCoreApplication::applicationDirPath() + "/app-window-dark.png";
  QVERIFY(w.frm.grab().save(path));
}

void FMainTest::clearEmptiesBothLists() {
  fakepdf::FakeControl fake;
  fake.reset();
  Package package;
  Window w(package);
  w.frm.SetLibraryName(FAKEPDF_PATH);
  for (bool ticked : {true, false}) {
    w.Load();
    w.Switch()->setChecked(ticked);
    w.Button("btnClear")->click();
    QCOMPARE(w.List("lvwLinks")->topLevelItemCount(), 0);
    QCOMPARE(w.List("lvwLinks2")->topLevelItemCount(), 0);
    QCOMPARE(w.List(ticked ? "lvwLinks2" : "lvwLinks")->isVisible(), true);
    QVERIFY(w.Button("btnSaveRebrandablePDF")->isEnabled());
  }
  QCOMPARE(ShownTexts(), QStringList());
  // What is shown is what a run uses: nothing, so the preview is an unchanged copy.
  fake.reset();
  w.Switch()->setChecked(true);
  w.Button("btnPreviewBranded")->click();
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));
  QCOMPARE(w.frm.Formats().Count(), std::size_t{0});
  QVERIFY(fake.Log().find("pdfEditPage") == std::string::npos);
}

void FMainTest::switchWithoutCustomValuesAsksNothing() {
  Package package;
  Window w(package);
  w.Load();
  w.Switch()->click();
  QVERIFY(!w.Switch()->isChecked());
  QVERIFY(w.List("lvwLinks")->isVisible());
  QVERIFY(!w.List("lvwLinks2")->isVisible());
  w.Switch()->click();
  QVERIFY(w.List("lvwLinks2")->isVisible());
  QCOMPARE(ShownTexts(), QStringList());
  QVERIFY(!w.frm.Switching());
}

void FMainTest::switchCancelKeepsTickAndValues() {
  Package package;
  Window w(package);
  w.Load();
  w.List("lvwLinks2")->SetCustomValue(1, "my.site");
  MessageBox::setNextAnswer(QMessageBox::Cancel);
  w.Switch()->click();
  QCOMPARE(MessageBox::shown().size(), 1);
  QCOMPARE(MessageBox::shown().at(0).kind, MessageBox::Kind::Warning);
  QCOMPARE(MessageBox::shown().at(0).text,
           QString("Change this feature will clean your variables values!\n"
                   " Are you agree to continue with this action?"));
  QVERIFY(w.Switch()->isChecked());
  QVERIFY(w.List("lvwLinks2")->isVisible());
  QCOMPARE(w.List("lvwLinks2")->CustomValue(1), QString("my.site"));
  QVERIFY(!w.frm.Switching());
}

void FMainTest::switchOkEmptiesValuesAndFlipsList() {
  Package package;
  Window w(package);
  w.Load();
  w.Switch()->setChecked(false);
  w.List("lvwLinks")->SetCustomValue(3, "Carol");
  MessageBox::setNextAnswer(QMessageBox::Ok);
  w.Switch()->click();
  QCOMPARE(MessageBox::shown().size(), 1);
  QVERIFY(w.Switch()->isChecked());
  QVERIFY(w.List("lvwLinks2")->isVisible());
  QVERIFY(!w.List("lvwLinks")->HasCustomValue());
  QVERIFY(!w.List("lvwLinks2")->HasCustomValue());
  QCOMPARE(w.List("lvwLinks2")->currentItem(), w.List("lvwLinks2")->topLevelItem(0));
  QVERIFY(w.List("lvwLinks2")->topLevelItem(0)->isSelected());
}

void FMainTest::saveWithoutRowsAsksForALoad() {
  Package package;
  Window w(package);
  w.Load();
  w.Button("btnClear")->click();
  const int dialogs = FileDialog::openCount();
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(ShownTexts(), QStringList({"Please load the branded pdf!"}));
  QCOMPARE(FileDialog::openCount(), dialogs);
  QCOMPARE(w.frm.OutputFileName(), std::string());
}

void FMainTest::saveThroughTheDialog() {
  fakepdf::FakeControl fake;
  fake.reset();
  Package package;
  Window w(package);
  w.frm.SetLibraryName(FAKEPDF_PATH);
  w.Load();

  FileDialog::setNextFileName("rebranded");
  w.Button("btnSaveRebrandablePDF")->click();
  const SaveDialogRequest first = FileDialog::lastRequest();
  QCOMPARE(first.title, QString("Save rebranded pdf"));
  QCOMPARE(first.nameFilter, QString("PDF files(*.pdf)"));
  QCOMPARE(QDir(first.directory), QDir(package.Path("")));
  const QString expected = package.Path("rebranded.pdf");
  QCOMPARE(QString::fromStdString(w.frm.OutputFileName()), expected);
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));
  QCOMPARE(w.Gauge()->Maximum(), 100);
  QCOMPARE(w.Gauge()->Value(), 100);
  QVERIFY(fake.Log().find("pdfOpenOutputFileA \"" + expected.toStdString() + "\"") !=
          std::string::npos);
  QCOMPARE(ShownTexts(), QStringList());

  // The dialog opens where the last file went, with its name; a .pdf of any case is kept,
  // another extension gets .pdf appended.
  QTemporaryDir elsewhere;
  FileDialog::setNextFileName(elsewhere.filePath("book.PDF"));
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(FileDialog::lastRequest().selectedFile, QString("rebranded.pdf"));
  QCOMPARE(QString::fromStdString(w.frm.OutputFileName()), elsewhere.filePath("book.PDF"));
  FileDialog::setNextFileName("notes.txt");
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(QDir(FileDialog::lastRequest().directory), QDir(elsewhere.path()));
  QCOMPARE(FileDialog::lastRequest().selectedFile, QString("book.PDF"));
  QCOMPARE(QString::fromStdString(w.frm.OutputFileName()), elsewhere.filePath("notes.txt.pdf"));
}

void FMainTest::cancelledSaveChangesNothing() {
  Package package;
  Window w(package);
  w.Load();
  FileDialog::setNextFileName(QString());
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(w.Status(), QString());
  QCOMPARE(w.Gauge()->Value(), 0);
  QCOMPARE(w.frm.OutputFileName(), std::string());
}

void FMainTest::valuesOfDistinctListReachEveryOccurrence() {
  fakepdf::FakeControl fake;
  fake.reset();
  Package package;
  Window w(package);
  w.frm.SetLibraryName(FAKEPDF_PATH);
  w.Load();
  TVariableList* distinct = w.List("lvwLinks2");
  distinct->SetCustomValue(0, "Bob");
  distinct->SetCustomValue(2, "   ");
  w.frm.RebrandToFile(package.Path("out.pdf").toStdString());
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));

  const TFormats& formats = w.frm.Formats();
  QCOMPARE(formats.Count(), std::size_t{4});
  QCOMPARE(formats.Objects(0).Value, std::string("Bob"));
  QCOMPARE(formats.Objects(1).Value, std::string("example.com"));  // no custom value: default
  QCOMPARE(formats.Objects(2).Value, std::string("   "));          // blanks are a value
  // Byte for byte: "[[NAME]]" is not "[[name]]" and keeps its default value.
  QCOMPARE(formats.Objects(3).Value, std::string("ALICE"));
  // The link's target has its variable name replaced by the value.
  QVERIFY(fake.Log().find("pdfChangeLinkAnnot 3 \"http://x.test/?u=   \"") != std::string::npos);
}

// A package made on Windows: its file is Windows-1252 as a whole, so a value typed in the window
// (UTF-8) joins the link's old target into one well-formed UTF-8 address.
void FMainTest::windows1252PackageIsReadAsOneCodePage() {
  fakepdf::FakeControl fake;
  fake.reset();
  Package package("1^http://x.test/caf\xE9/ID^Jos\xE9^Link^2^3^ID\r\n");
  Window w(package);
  w.frm.SetLibraryName(FAKEPDF_PATH);
  w.Load();
  TVariableList* list = w.List("lvwLinks2");  // the duplicates switch is ticked at start
  QCOMPARE(list->topLevelItem(0)->text(0), QString::fromUtf8("http://x.test/caf\xC3\xA9/ID"));
  QCOMPARE(list->topLevelItem(0)->text(1), QString::fromUtf8("Jos\xC3\xA9"));
  list->SetCustomValue(0, QString::fromUtf8("Ren\xC3\xA9"
                                            "e"));
  w.frm.RebrandToFile(package.Path("out.pdf").toStdString());
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));
  const std::string log = fake.Log();
  QVERIFY2(log.find("pdfChangeLinkAnnot 3 \"http://x.test/caf\xC3\xA9/Ren\xC3\xA9"
                    "e\"") != std::string::npos,
           log.c_str());
}

void FMainTest::statusAfterFailedLibraryCall() {
  fakepdf::FakeControl fake;
  fake.reset();
  fake.fail("pdfInitStack");
  Package package;
  Window w(package);
  w.frm.SetLibraryName(FAKEPDF_PATH);
  w.Load();
  w.frm.RebrandToFile(package.Path("out.pdf").toStdString());
  // "-1" leaves the status of the phase in which the run failed.
  QCOMPARE(w.Status(), QString("Replacing variables..."));
  QCOMPARE(w.Gauge()->Maximum(), 100);
  QCOMPARE(w.Gauge()->Value(), 100);
  QCOMPARE(ShownTexts(), QStringList());
  QVERIFY(w.Button("btnSaveRebrandablePDF")->isEnabled());
}

void FMainTest::statusAfterFailure_data() {
  QTest::addColumn<QByteArray>("records");
  QTest::addColumn<bool>("missingLibrary");
  QTest::addColumn<QString>("status");
  QTest::newRow("no library") << QByteArray(kRecords) << true << "Error: Cannot find dynapdf.dll";
  QTest::newRow("page not a number")
      << QByteArray("1^[[a]]^x^Text^3x^0^a\n") << false << "'3x' is not a valid integer value";
  QTest::newRow("empty tagged text")
      << QByteArray("1^^x^Text^1^0^a\n") << false << "The search text cannot be an empty string!";
}

void FMainTest::statusAfterFailure() {
  QFETCH(QByteArray, records);
  QFETCH(bool, missingLibrary);
  QFETCH(QString, status);
  fakepdf::FakeControl fake;
  fake.reset();
  Package package(records);
  package.Write("earlier.pdf", "an earlier output");
  Window w(package);
  w.frm.SetLibraryName(missingLibrary ? kMissingLibrary : FAKEPDF_PATH);
  w.Load();
  w.Switch()->setChecked(false);
  FileDialog::setNextFileName("earlier.pdf");
  MessageBox::setNextAnswer(QMessageBox::Ok);  // replace it
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(w.Status(), status);
  QCOMPARE(w.Gauge()->Maximum(), 100);
  QCOMPARE(w.Gauge()->Value(), 100);
  // Only the question about replacing the file; the failure shows in the status line.
  QCOMPARE(MessageBox::shown().size(), 1);
  QCOMPARE(MessageBox::shown().at(0).kind, MessageBox::Kind::Question);
  // A failed run replaces nothing.
  QFile earlier(package.Path("earlier.pdf"));
  QVERIFY(earlier.open(QIODevice::ReadOnly));
  QCOMPARE(earlier.readAll(), QByteArray("an earlier output"));
}

void FMainTest::failureLooksLikeAFailure_data() {
  QTest::addColumn<QString>("cause");
  QTest::addColumn<QString>("status");  // %1: the output file
  QTest::newRow("library missing") << "library"
                                   << "Error: Cannot find dynapdf.dll";
  QTest::newRow("library call failed") << "call"
                                       << "Replacing variables...";
  QTest::newRow("output folder missing")
      << "folder"
      << "Cannot write the output file \"%1\": No such file or directory";
}

void FMainTest::failureLooksLikeAFailure() {
  QFETCH(QString, cause);
  QFETCH(QString, status);
  fakepdf::FakeControl fake;
  fake.reset();
  if (cause == "call") {
    fake.fail("pdfInitStack");
  }
  Package package;
  Window w(package);
  w.frm.SetLibraryName(cause == "library" ? kMissingLibrary : FAKEPDF_PATH);
  w.Load();
  const QString output =
      cause == "folder" ? package.Path("gone/book.pdf") : package.Path("book.pdf");
  FileDialog::setNextFileName(output);
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(w.Status(), status.arg(output));
  QCOMPARE(ShownTexts(), QStringList());
  TGauge* gauge = w.Gauge();
  QVERIFY(gauge->Failed());
  QCOMPARE(gauge->text(), QString("Failed"));
  const QImage bar = gauge->grab().toImage();
  const QColor chunk =
      bar.pixelColor(QPoint(gauge->width() / 6, gauge->height() / 2) * bar.devicePixelRatio());
  QVERIFY2(chunk.red() > 150 && chunk.green() < 100 && chunk.blue() < 100,
           qPrintable(chunk.name()));
  QLabel* panel = w.Child<QLabel>("MainStatusPanel");
  QCOMPARE(panel->palette().color(QPalette::WindowText), ErrorColour(panel->palette()));
  QVERIFY(!panel->toolTip().isEmpty());
  QVERIFY(!w.Child<QLabel>("lblSavedFile")->isVisible());
  QVERIFY(!QFile::exists(output));

  // The next run that works looks like one again.
  fake.reset();
  w.frm.SetLibraryName(FAKEPDF_PATH);
  FileDialog::setNextFileName(package.Path("book.pdf"));
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));
  QVERIFY(!gauge->Failed());
  QCOMPARE(gauge->text(), QString("100%"));
  QVERIFY(panel->palette().color(QPalette::WindowText) != ErrorColour(panel->palette()));
}

void FMainTest::successNamesTheFileSaved() {
  fakepdf::FakeControl fake;
  fake.reset();
  Package package;
  Window w(package);
  w.frm.SetLibraryName(FAKEPDF_PATH);
  w.Load();
  QLabel* saved = w.Child<QLabel>("lblSavedFile");
  QVERIFY(!saved->isVisible());
  FileDialog::setNextFileName("My <Book>");
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));
  QVERIFY(saved->isVisible());
  QVERIFY2(saved->text().contains("My &lt;Book&gt;.pdf"), qPrintable(saved->text()));
  QCOMPARE(saved->toolTip(), package.Path("My <Book>.pdf"));
  emit saved->linkActivated("file");
  emit saved->linkActivated("folder");
  QCOMPARE(opened_,
           QStringList({package.Path("My <Book>.pdf"), QDir(package.Path("")).absolutePath()}));
  // A preview names no saved file.
  w.Button("btnPreviewBranded")->click();
  QVERIFY(!saved->isVisible());
}

// The replacement serves window messages once per record: a timer of the window fires while
// the gauge moves through it, and the commands stay locked.
void FMainTest::windowStaysAliveDuringTheReplacement() {
  fakepdf::FakeControl fake;
  fake.reset();
  QByteArray records;
  for (int i = 0; i < 300; ++i) {
    records += "1^tag" + QByteArray::number(i) + "^v^Text^" + QByteArray::number(i % 30 + 1) +
               "^0^n" + QByteArray::number(i) + "\n";
  }
  Package package(records);
  Window w(package);
  w.frm.SetLibraryName(FAKEPDF_PATH);
  w.Load();
  QList<int> gaugeDuringReplacement;
  bool locked = true;
  QTimer watcher;
  watcher.setInterval(0);
  connect(&watcher, &QTimer::timeout, &w.frm, [&] {
    if (w.Status() == "Replacing variables...") {
      gaugeDuringReplacement << w.Gauge()->Value();
      locked = locked && !w.Button("btnOpenPDF")->isEnabled() &&
               !w.Button("btnOpenPackage")->isEnabled() && !w.Button("btnClear")->isEnabled();
    }
  });
  watcher.start();
  QVERIFY(w.frm.RebrandToFile(package.Path("out.pdf").toStdString()));
  watcher.stop();
  QVERIFY2(gaugeDuringReplacement.size() > 100,
           qPrintable(QString::number(gaugeDuringReplacement.size())));
  QVERIFY(gaugeDuringReplacement.first() < gaugeDuringReplacement.last());
  QVERIFY(locked);
  QVERIFY(w.Button("btnOpenPackage")->isEnabled());
}

void FMainTest::commandsAreDisabledDuringARun() {
  Package package;
  Window w(package);
  w.frm.SetLibraryName(kMissingLibrary);
  w.Load();
  w.Switch()->setChecked(false);
  const char* const locked[] = {"btnOpenPDF", "btnPreviewOriginal", "btnPreviewBranded",
                                "btnSaveRebrandablePDF", "btnClear"};
  QStringList enabledDuringRun;
  bool switchEnabled = true;
  bool ran = false;
  // Runs while the preparation serves window messages.
  QTimer::singleShot(0, &w.frm, [&] {
    ran = true;
    for (const char* name : locked) {
      if (w.Button(name)->isEnabled()) {
        enabledDuringRun << name;
      }
    }
    switchEnabled = w.Switch()->isEnabled();
    QTest::mouseClick(w.Button("btnClear"), Qt::LeftButton);
    QTest::mouseClick(w.Button("btnOpenPDF"), Qt::LeftButton);
  });
  w.frm.RebrandToFile(package.Path("out.pdf").toStdString());
  QVERIFY(ran);
  QCOMPARE(enabledDuringRun, QStringList());
  QVERIFY(!switchEnabled);
  QCOMPARE(w.List("lvwLinks")->topLevelItemCount(), 4);
  QCOMPARE(w.frm.Formats().Count(), std::size_t{4});
  for (const char* name : locked) {
    QVERIFY2(w.Button(name)->isEnabled(), name);
  }
  QVERIFY(w.Switch()->isEnabled());
  QVERIFY(!w.frm.RunUnderWay());
}

void FMainTest::previewOfTheOriginalOpensACopy() {
  Package package;
  package.Write("test.pdf", "an earlier rebranded preview");
  Window w(package);
  w.Load();
  w.Button("btnPreviewOriginal")->click();
  QCOMPARE(opened_, QStringList({package.Path("test.pdf")}));
  QFile preview(package.Path("test.pdf"));
  QVERIFY(preview.open(QIODevice::ReadOnly));
  QCOMPARE(preview.readAll(), QByteArray(kPDFBytes));
}

void FMainTest::previewOfTheRebrandedPDFWithoutLibraryOpensNothing() {
  Package package;
  package.Write("test.pdf", "an earlier preview");
  Window w(package);
  w.frm.SetLibraryName(kMissingLibrary);
  w.Load();
  w.Button("btnClear")->click();  // the preview doesn't need rows
  w.Button("btnPreviewBranded")->click();
  QCOMPARE(w.Status(), QString("Error: Cannot find dynapdf.dll"));
  QCOMPARE(opened_, QStringList());
  QVERIFY(!QFile::exists(package.Path("test.pdf")));
  QCOMPARE(w.frm.OutputFileName(), package.Path("test.pdf").toStdString());
}

void FMainTest::previewsWhereTheFolderCannotTakeTheFile() {
  // A folder in the way of "test.pdf" can be neither replaced nor deleted, whoever runs the
  // test (permissions would not stop root).
  Package package;
  QVERIFY(QDir(package.Path("")).mkpath("test.pdf/held"));
  Window w(package);
  w.frm.SetLibraryName(kMissingLibrary);
  w.Load();
  w.Button("btnPreviewOriginal")->click();
  w.Button("btnPreviewBranded")->click();
  QCOMPARE(w.Status(), QString("Error: Cannot find dynapdf.dll"));
  QVERIFY(QFileInfo(package.Path("test.pdf")).isDir());
  QVERIFY(w.Button("btnPreviewBranded")->isEnabled());
  QCOMPARE(ShownTexts(), QStringList());
  // Both previews went to the user's cache instead, and only a written preview was opened.
  const QString cached = cache_.filePath("corvella-rebrander/test.pdf");
  QCOMPARE(opened_, QStringList({cached}));
  QCOMPARE(QString::fromStdString(w.frm.OutputFileName()), cached);
}

// A program folder that can't be written (here: one that doesn't exist, which stops root too)
// with the package elsewhere: the previews go to the user's cache, and say so when that fails
// as well.
void FMainTest::previewsOfAReadOnlyInstallGoToTheCache() {
  fakepdf::FakeControl fake;
  fake.reset();
  Package package;
  QTemporaryDir root;
  Window w(root.filePath("no-such-program-folder").toStdString());
  w.frm.SetLibraryName(FAKEPDF_PATH);
  QVERIFY(w.frm.OpenPackage(package.Path("")));
  const QString cached = cache_.filePath("corvella-rebrander/test.pdf");
  QFile::remove(cached);

  w.Button("btnPreviewOriginal")->click();
  QCOMPARE(opened_, QStringList({cached}));
  QCOMPARE(FileBytes(cached), QByteArray(kPDFBytes));

  // The fake library writes no file; the run was pointed at the cache.
  w.Button("btnPreviewBranded")->click();
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));
  QCOMPARE(QString::fromStdString(w.frm.OutputFileName()), cached);
  QVERIFY(fake.Log().find("pdfOpenOutputFileA \"" + cached.toStdString() + "\"") !=
          std::string::npos);
  QCOMPARE(ShownTexts(), QStringList());

  // No cache folder can be made either: both previews say so and open nothing.
  package.Write("not-a-folder", "x");
  qputenv("XDG_CACHE_HOME", package.Path("not-a-folder").toLocal8Bit());
  opened_.clear();
  w.Button("btnPreviewOriginal")->click();
  w.Button("btnPreviewBranded")->click();
  QCOMPARE(opened_, QStringList());
  QCOMPARE(MessageBox::shown().size(), 2);
  for (const MessageBox::Shown& shown : MessageBox::shown()) {
    QVERIFY2(shown.text.startsWith("The preview can't be written:"), qPrintable(shown.text));
    QVERIFY2(shown.text.contains("no-such-program-folder/test.pdf"), qPrintable(shown.text));
    QVERIFY2(shown.text.contains("not-a-folder/corvella-rebrander/test.pdf"),
             qPrintable(shown.text));
  }
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));  // no run was started
}

void FMainTest::menusShortcutsAndEnter() {
  Package package;
  QTemporaryDir empty;
  Window w(empty.path().toStdString());
  w.frm.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&w.frm));
  QVERIFY(!w.frm.windowIcon().isNull());

  QTest::keyClick(&w.frm, Qt::Key_F1);
  QCOMPARE(MessageBox::shown().size(), 1);
  QVERIFY2(MessageBox::shown().at(0).text.startsWith("Corvella Rebrander 0.1\n"),
           qPrintable(MessageBox::shown().at(0).text));

  // The menus offer what the buttons offer: before a load, no save and no preview.
  const auto usable = [&](const char* action) { return w.Child<QAction>(action)->isEnabled(); };
  QVERIFY(usable("actOpenPackage") && usable("actLoad") && usable("actExit"));
  QVERIFY(!usable("actSave") && !usable("actPreviewBranded") && !usable("actSaveValues"));

  FileDialog::setNextFileName(package.Path(""));
  QTest::keyClick(&w.frm, Qt::Key_O, Qt::ControlModifier);
  QCOMPARE(w.List("lvwLinks2")->topLevelItemCount(), 3);
  QVERIFY(usable("actSave") && usable("actPreviewBranded") && usable("actSaveValues"));

  const int dialogs = FileDialog::openCount();
  FileDialog::setNextFileName(QString());
  QTest::keyClick(&w.frm, Qt::Key_S, Qt::ControlModifier);
  QCOMPARE(FileDialog::openCount(), dialogs + 1);
  QCOMPARE(FileDialog::lastRequest().title, QString("Save rebranded pdf"));

  // Enter presses the focused button, as Space does.
  MessageBox::clearShown();
  w.Button("btnClear")->setFocus();
  QTest::keyClick(w.Button("btnClear"), Qt::Key_Return);
  QCOMPARE(w.List("lvwLinks2")->topLevelItemCount(), 0);

  QTest::keyClick(&w.frm, Qt::Key_Q, Qt::ControlModifier);
  QVERIFY(!w.frm.isVisible());
  QCOMPARE(ShownTexts(), QStringList());
}

// Ctrl+S while the editor is still open: the run and the values file get what is typed.
void FMainTest::aShortcutWhileTypingKeepsTheValue() {
  fakepdf::FakeControl fake;
  fake.reset();
  Package package;
  Window w(package);
  w.frm.SetLibraryName(FAKEPDF_PATH);
  w.Load();
  w.frm.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&w.frm));
  TVariableList* list = w.List("lvwLinks2");
  list->setFocus();
  list->selectionModel()->setCurrentIndex(
      list->model()->index(0, 2), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  QTest::keyClick(list, Qt::Key_F2);
  QLineEdit* editor = list->viewport()->findChild<QLineEdit*>();
  QVERIFY(editor != nullptr);
  QTest::keyClicks(editor, "Bob");
  FileDialog::setNextFileName("typed.pdf");
  QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier);
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));
  QCOMPARE(w.frm.Formats().Objects(0).Value, std::string("Bob"));
  QVERIFY(!list->IsEditing());
}

void FMainTest::referralAddress_data() {
  QTest::addColumn<QByteArray>("settings");  // null: no settings file
  QTest::addColumn<QString>("address");
  QTest::newRow("no settings file")
      << QByteArray() << "http://www.corvella-market.com/r/44650/harrowfield/285329";
  QTest::newRow("identifier") << QByteArray("[settings]\n affiliateid = \"joe 42\" \n")
                              << "http://www.corvella-market.com/r/44650/joe 42/285329";
  QTest::newRow("empty identifier") << QByteArray("[Settings]\nAffiliateID=\n")
                                    << "http://www.corvella-market.com/r/44650//285329";
}

void FMainTest::referralAddress() {
  QFETCH(QByteArray, settings);
  QFETCH(QString, address);
  Package package;
  if (!settings.isNull()) {
    package.Write("dbconfig.dat", settings);
  }
  // A browser that writes down its arguments, one a line.
  const QString browser = package.Path("fake-browser");
  package.Write("fake-browser",
                "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args.tmp\"\n"
                "mv \"$0.args.tmp\" \"$0.args\"\n");
  QFile::setPermissions(browser, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QByteArray previous = qgetenv("BROWSER");
  qputenv("BROWSER", browser.toLocal8Bit());
  Window w(package);
  w.Button("btnMakeMoney")->click();
  if (previous.isNull()) {
    qunsetenv("BROWSER");
  } else {
    qputenv("BROWSER", previous);
  }
  QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(browser + ".args"), 10000);
  QFile args(browser + ".args");
  QVERIFY(args.open(QIODevice::ReadOnly));
  QCOMPARE(QString::fromUtf8(args.readAll()), address + "\n");
  QCOMPARE(ShownTexts(), QStringList());
}

void FMainTest::samplePackageRebrandedWithTheCoreLibrary() {
#ifndef CORVELLA_CORE_LIBRARY
  QSKIP("the core library is not part of this build");
#else
  if (!QFile::exists(CORVELLA_CORE_LIBRARY)) {
    QSKIP("the core library has not been built");
  }
  if (QStandardPaths::findExecutable("pdftotext").isEmpty()) {
    QSKIP("pdftotext is not installed");
  }
  Package package;
  for (const char* name : {"file.dat", "variables.dat"}) {
    package.Remove(name);
    QVERIFY(QFile::copy(QString(CORVELLA_SAMPLE_DIR "/") + name, package.Path(name)));
  }
  Window w(package);
  w.frm.SetLibraryName(CORVELLA_CORE_LIBRARY);
  w.Load();
  QCOMPARE(ShownTexts(), QStringList());
  TVariableList* distinct = w.List("lvwLinks2");
  QVERIFY(distinct->topLevelItemCount() > 0);
  const QString value = "Corvella Tester";
  distinct->SetCustomValue(0, value);
  FileDialog::setNextFileName("rebranded");
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));

  QProcess pdftotext;
  pdftotext.start("pdftotext", {package.Path("rebranded.pdf"), "-"});
  QVERIFY(pdftotext.waitForFinished(30000));
  const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
  QVERIFY2(text.contains(value), qPrintable(text));

  w.Button("btnPreviewBranded")->click();
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));
  QCOMPARE(opened_, QStringList({package.Path("test.pdf")}));
  QVERIFY(QFileInfo(package.Path("test.pdf")).size() > 0);
#endif
}

void FMainTest::screenshotsOfTheStates() {
  Package package;
  Window w(package);
  w.Load();
  w.List("lvwLinks2")->SetCustomValue(1, "my-own-site.example");
  w.List("lvwLinks2")->SelectFirstRow();
  w.Child<QLabel>("MainStatusPanel")->setText("Rebranded PDF saved!");
  w.Gauge()->SetValue(100);
  const QString path = QCoreApplication::applicationDirPath() + "/app-window.png";
  QVERIFY(w.frm.grab().save(path));

  // The states a user meets next, for a look by eye: a typed value being edited, a failed
  // run, and a save that names its file.
  fakepdf::FakeControl fake;
  fake.reset();
  TVariableList* list = w.List("lvwLinks2");
  list->setFocus();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, CellCentre(list, 2, 0));
  QTest::keyClick(list, 'j');
  QVERIFY(list->IsEditing());
  QTest::keyClicks(list->viewport()->findChild<QLineEdit*>(), "ane42");
  QVERIFY(w.frm.grab().save(QCoreApplication::applicationDirPath() + "/app-window-typing.png"));
  QTest::keyClick(list->viewport()->findChild<QLineEdit*>(), Qt::Key_Return);
  QTRY_COMPARE(list->CustomValue(2), QString("jane42"));
  w.frm.SetLibraryName(kMissingLibrary);
  FileDialog::setNextFileName(package.Path("book.pdf"));
  w.Button("btnSaveRebrandablePDF")->click();
  QVERIFY(w.frm.grab().save(QCoreApplication::applicationDirPath() + "/app-window-failed.png"));
  w.frm.SetLibraryName(FAKEPDF_PATH);
  FileDialog::setNextFileName(package.Path("book.pdf"));
  w.Button("btnSaveRebrandablePDF")->click();
  QCOMPARE(w.Status(), QString("Rebranded PDF saved!"));
  QVERIFY(w.frm.grab().save(QCoreApplication::applicationDirPath() + "/app-window-saved.png"));
}

QTEST_MAIN(FMainTest)
#include "FMainTest.moc"
