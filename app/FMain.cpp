#include "FMain.h"

#include <fcntl.h>
#include <unistd.h>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "Browser.h"
#include "CodePage.h"
#include "ExceptionReporting.h"
#include "FileBytes.h"
#include "Gauge.h"
#include "PackageCheck.h"
#include "ProgramFolder.h"
#include "RebrandRun.h"
#include "Seams.h"
#include "Settings.h"
#include "ValuesFile.h"
#include "VariableList.h"

namespace {

constexpr int kClientWidth = 792;
constexpr int kClientHeight = 504;
constexpr int kTopBarHeight = 33;
constexpr int kBottomBarHeight = 48;
constexpr int kStatusBarHeight = 17;
constexpr int kCommandColumnWidth = 185;
constexpr int kRightMarginWidth = 14;
constexpr int kGaugeWidth = 130;
constexpr int kCommandButtonWidth = 163;
constexpr int kButtonHeight = 20;
constexpr qreal kLargestFontPoints = 9.0;

// Light yellow, the colour of the cells the user types into.
const QColor kCustomValueColour(255, 255, 221);

const char* const kHintText =
    "Hints: Press F2 or click to edit custom values. If you leave any variables empty, it will "
    "be replaced by the default value.";
const char* const kBottomLabelText = "Your e-book, your brand.";
const char* const kSaveDialogTitle = "Save rebranded pdf";
const char* const kPDFNameFilter = "PDF files(*.pdf)";

std::string WithTrailingSeparator(std::string folder) {
  if (folder.empty()) {
    return "./";
  }
  if (folder.back() != '/') {
    folder += '/';
  }
  return folder;
}

QString FromSystem(const std::string& text) { return QString::fromStdString(SystemToUTF8(text)); }

// Deletion that may fail (a read-only folder, a file in use); the caller goes on either way.
void RemoveFileQuietly(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

// Whether a run can put a file at `path`: the library writes a temporary file beside it and
// renames it over the target, so the folder must take a new file and `path` must not be a
// folder. `reason` says why not.
bool CanWriteFileAt(const std::string& path, std::string& reason) {
  std::error_code error;
  const std::filesystem::path target(path);
  if (std::filesystem::is_directory(target, error)) {
    reason = "it is a folder";
    return false;
  }
  std::string probe = (target.parent_path() / ".corvella-probe-XXXXXX").string();
  const int fd = mkstemp(probe.data());
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  close(fd);
  unlink(probe.c_str());
  return true;
}

// The fixed places were measured for a small font; a larger desktop font is made just small
// enough for `text` to fit `room` pixels, down to a size that is still readable.
void ShrinkFontToFit(QWidget* widget, const QString& text, int room) {
  constexpr qreal kSmallestPoints = 7.0;
  QFont font = widget->font();
  if (font.pointSizeF() <= 0) {
    return;
  }
  while (font.pointSizeF() > kSmallestPoints && QFontMetrics(font).horizontalAdvance(text) > room) {
    font.setPointSizeF(font.pointSizeF() - 0.5);
  }
  if (font != widget->font()) {
    widget->setFont(font);
  }
}

// The folder of a dropped or named package: the folder itself, or the folder of one of its files.
QString PackageFolderOf(const QString& path) {
  const QFileInfo info(path);
  return info.isDir() ? info.absoluteFilePath() : info.absolutePath();
}

bool IsPhaseStatus(const QString& status) {
  return status == QLatin1String(kStatusPreparing) ||
         status == QLatin1String(kStatusRemovingDuplicates) ||
         status == QLatin1String(kStatusReplacing);
}

QString WithPDFExtension(const QString& path) {
  if (QFileInfo(path).suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0) {
    return path;
  }
  return path + QStringLiteral(".pdf");
}

}  // namespace

// Progress and outcome of a run shown in the gauge and the status line, both drawn at once.
class TfrmMain::StatusObserver : public RunObserver {
 public:
  StatusObserver(TGauge& gauge, QLabel& status) : gauge_(gauge), status_(status) {}

  void SetGaugeMax(int maximum) override { gauge_.SetMaximum(maximum); }
  void SetGaugeValue(int value) override { gauge_.SetValue(value); }
  void SetStatus(const std::string& text) override {
    status_.setText(FromSystem(text));
    if (status_.isVisible()) {
      status_.repaint();
    }
  }
  void ServeMessages() override { QCoreApplication::processEvents(); }
  // The replacement of a big book takes seconds: the window repaints and the gauge moves, while
  // the commands stay locked.
  void RecordStep() override { QCoreApplication::processEvents(); }

 private:
  TGauge& gauge_;
  QLabel& status_;
};

// While a run is under way the window keeps serving messages, so the commands that change the
// rows or start another run are disabled for its length and restored afterwards, however the
// run ends.
class TfrmMain::RunLock {
 public:
  explicit RunLock(TfrmMain& window) : window_(window) {
    window_.runUnderWay_ = true;
    for (QWidget* control : std::initializer_list<QWidget*>{
             window.btnOpenPDF, window.btnPreviewOriginal, window.btnPreviewBranded,
             window.btnSaveRebrandablePDF, window.btnClear, window.chkRemoveDuplicated,
             window.btnOpenPackage, window.btnLoadValues, window.btnSaveValues}) {
      saved_.emplace_back(control, control->isEnabled());
      control->setEnabled(false);
    }
  }
  ~RunLock() {
    for (auto& [control, enabled] : saved_) {
      control->setEnabled(enabled);
    }
    window_.runUnderWay_ = false;
  }
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

 private:
  TfrmMain& window_;
  std::vector<std::pair<QWidget*, bool>> saved_;
};

// The icon is compiled into this static library; nothing else would pull its resources in.
static void LoadIconResource() { Q_INIT_RESOURCE(icons); }

TfrmMain::TfrmMain(QWidget* parent) : TfrmMain(ProgramFolder(), parent) {}

TfrmMain::TfrmMain(const std::string& programFolder, QWidget* parent)
    : QWidget(parent), programFolder_(WithTrailingSeparator(programFolder)) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Corvella Rebrander"));
  // The desktop's font, as far as the fixed places allow: 20-pixel buttons take at most a
  // 9-point font.
  QFont windowFont = font();
  if (windowFont.pointSizeF() > kLargestFontPoints) {
    windowFont.setPointSizeF(kLargestFontPoints);
    setFont(windowFont);
  }
  setAcceptDrops(true);
  CreateControls();
  ConnectCommands();
  MirrorButtonStatesInMenus();
  // The client area below the menu bar has the size of the original window.
  resize(kClientWidth, kClientHeight + menuBarHeight());
  // Room for the bottom bar's buttons and the whole command column.
  setMinimumSize(470, 380);
  LoadIconResource();
  setWindowIcon(QIcon::fromTheme(QStringLiteral(CORVELLA_APP_ID),
                                 QIcon(QStringLiteral(":/icons/" CORVELLA_APP_ID ".svg"))));
  CenterOnScreen();
  FormCreate();
}

TfrmMain::~TfrmMain() { FormDestroy(); }

void TfrmMain::CreateControls() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  outer->setMenuBar(CreateMenuBar());

  // The client area below the menu bar holds the layout of fixed places.
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  outer->addWidget(client, 1);
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(CreateTopBar());

  auto* middle = new QHBoxLayout();
  middle->setContentsMargins(0, 0, 0, 0);
  middle->setSpacing(0);
  middle->addWidget(CreateCommandColumn());
  middle->addWidget(CreateListArea(), 1);
  middle->addSpacing(kRightMarginWidth);
  layout->addLayout(middle, 1);

  layout->addWidget(CreateBottomBar());
  layout->addWidget(CreateStatusBar());
}

// The usual menus and shortcuts; each entry does what its button does, or the About box.
QMenuBar* TfrmMain::CreateMenuBar() {
  auto* bar = new QMenuBar(this);
  bar->setObjectName(QStringLiteral("MenuBar"));
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  const auto entry = [this](QMenu* menu, const char* name, const QString& text,
                            const QKeySequence& keys, void (TfrmMain::*handler)()) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(keys);
    connect(action, &QAction::triggered, this,
            [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
    return action;
  };
  entry(file, "actOpenPackage", QStringLiteral("&Open package..."), QKeySequence::Open,
        &TfrmMain::btnOpenPackageClick);
  entry(file, "actLoad", QStringLiteral("&Load branded PDF"), QKeySequence::Refresh,
        &TfrmMain::btnOpenPDFClick);
  file->addSeparator();
  entry(file, "actLoadValues", QStringLiteral("Load &values..."), QKeySequence(),
        &TfrmMain::btnLoadValuesClick);
  entry(file, "actSaveValues", QStringLiteral("Sa&ve values..."), QKeySequence(),
        &TfrmMain::btnSaveValuesClick);
  file->addSeparator();
  entry(file, "actPreviewOriginal", QStringLiteral("Preview &branded PDF"), QKeySequence(),
        &TfrmMain::btnPreviewOriginalClick);
  entry(file, "actPreviewBranded", QStringLiteral("&Preview rebranded PDF"),
        QKeySequence(Qt::CTRL | Qt::Key_P), &TfrmMain::btnPreviewBrandedClick);
  entry(file, "actSave", QStringLiteral("&Save rebranded PDF..."), QKeySequence::Save,
        &TfrmMain::btnSaveRebrandablePDFClick);
  file->addSeparator();
  entry(file, "actExit", QStringLiteral("E&xit"), QKeySequence(Qt::CTRL | Qt::Key_Q),
        &TfrmMain::btnExitClick);
  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  entry(help, "actAbout", QStringLiteral("&About Corvella Rebrander"), QKeySequence::HelpContents,
        &TfrmMain::ShowAbout);
  return bar;
}

// A menu entry is usable exactly when its button is, before a load and during a run alike.
void TfrmMain::MirrorButtonStatesInMenus() {
  const std::pair<const char*, QPushButton*> pairs[] = {
      {"actOpenPackage", btnOpenPackage},         {"actLoad", btnOpenPDF},
      {"actLoadValues", btnLoadValues},           {"actSaveValues", btnSaveValues},
      {"actPreviewOriginal", btnPreviewOriginal}, {"actPreviewBranded", btnPreviewBranded},
      {"actSave", btnSaveRebrandablePDF}};
  for (const auto& [name, button] : pairs) {
    QAction* action = findChild<QAction*>(QString::fromLatin1(name));
    action->setEnabled(button->isEnabled());
    mirroredActions_.insert(button, action);
    button->installEventFilter(this);
  }
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    if (QAction* action = mirroredActions_.value(watched)) {
      action->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
    }
  }
  return QWidget::eventFilter(watched, event);
}

int TfrmMain::menuBarHeight() const {
  const QMenuBar* bar = findChild<QMenuBar*>(QStringLiteral("MenuBar"));
  return bar != nullptr ? bar->sizeHint().height() : 0;
}

void TfrmMain::ShowAbout() {
  MessageBox::about(this, QStringLiteral("About Corvella Rebrander"),
                    QStringLiteral("Corvella Rebrander %1\n\nRebrands a PDF e-book package: your "
                                   "name, site and links in every place the book names them.")
                        .arg(QStringLiteral(CORVELLA_VERSION)));
}

QWidget* TfrmMain::CreateTopBar() {
  auto* bar = new QFrame(this);
  bar->setObjectName(QStringLiteral("TopBar"));
  bar->setFixedHeight(kTopBarHeight);
  auto* hint = new QLabel(QString::fromLatin1(kHintText), bar);
  hint->setObjectName(QStringLiteral("lblHints"));
  hint->move(187, 11);
  ShrinkFontToFit(hint, hint->text(), kClientWidth - 187 - 4);
  hint->adjustSize();
  return bar;
}

QWidget* TfrmMain::CreateCommandColumn() {
  auto* column = new QWidget(this);
  column->setObjectName(QStringLiteral("CommandColumn"));
  column->setFixedWidth(kCommandColumnWidth);
  const auto at = [](int y) { return QRect(9, y, kCommandButtonWidth, kButtonHeight); };
  btnOpenPDF = CreateButton(column, "btnOpenPDF", QStringLiteral("Load branded  PDF"),
                            QStringLiteral("Load branded pdf"), at(1));
  btnPreviewOriginal =
      CreateButton(column, "btnPreviewOriginal", QStringLiteral("Preview branded PDF"),
                   QStringLiteral("Preview branded PDF"), at(28));
  btnPreviewBranded =
      CreateButton(column, "btnPreviewBranded", QStringLiteral("Preview rebranded PDF"),
                   QStringLiteral("Preview rebranded PDF with variables replaced"), at(55));
  btnSaveRebrandablePDF =
      CreateButton(column, "btnSaveRebrandablePDF", QStringLiteral("Save rebranded PDF"),
                   QStringLiteral("Save your rebranded version of the PDF "), at(82));
  btnExit = CreateButton(column, "btnExit", QStringLiteral("Exit"),
                         QStringLiteral("Exit application"), at(109));
  // Usable once a package has been loaded.
  for (QPushButton* button : {btnPreviewOriginal, btnPreviewBranded, btnSaveRebrandablePDF}) {
    button->setEnabled(false);
  }

  chkRemoveDuplicated = new QCheckBox(QStringLiteral("Remove duplicated variables"), column);
  chkRemoveDuplicated->setObjectName(QStringLiteral("chkRemoveDuplicated"));
  chkRemoveDuplicated->setGeometry(8, 136, 164, 25);
  chkRemoveDuplicated->setChecked(true);
  chkRemoveDuplicated->setCursor(Qt::PointingHandCursor);
  const int indicator = chkRemoveDuplicated->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                        chkRemoveDuplicated->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
  ShrinkFontToFit(chkRemoveDuplicated, chkRemoveDuplicated->text(), 164 - indicator - 2);

  auto* recommended = new QLabel(QStringLiteral("(recommended)"), column);
  recommended->setObjectName(QStringLiteral("lblRecommended"));
  recommended->move(29, 158);
  recommended->adjustSize();

  // A package anywhere on the disk, for installs whose program folder is read-only.
  btnOpenPackage = CreateButton(
      column, "btnOpenPackage", QStringLiteral("Open package..."),
      QStringLiteral("Load a package (file.dat and variables.dat) from any folder"), at(190));
  btnLoadValues = CreateButton(column, "btnLoadValues", QStringLiteral("Load values..."),
                               QStringLiteral("Fill in the values kept in a values file"), at(217));
  btnSaveValues =
      CreateButton(column, "btnSaveValues", QStringLiteral("Save values..."),
                   QStringLiteral("Keep the values typed here for other books"), at(244));
  for (QPushButton* button : {btnLoadValues, btnSaveValues}) {
    button->setEnabled(false);
  }
  return column;
}

QWidget* TfrmMain::CreateListArea() {
  auto* area = new QWidget(this);
  area->setObjectName(QStringLiteral("ListArea"));
  auto* stack = new QGridLayout(area);
  stack->setContentsMargins(0, 0, 0, 0);
  lvwLinks = CreateList("lvwLinks");
  lvwLinks2 = CreateList("lvwLinks2");
  // Both in the same cell: the hidden one takes no room.
  stack->addWidget(lvwLinks, 0, 0);
  stack->addWidget(lvwLinks2, 0, 0);
  return area;
}

TVariableList* TfrmMain::CreateList(const char* objectName) {
  auto* list = new TVariableList(this);
  list->setObjectName(QString::fromLatin1(objectName));
  list->SetSharedSortOrder(&sortOrder_);
  list->SetCanEditCellHandler([this](TVariableList* sender, int item, int column, bool& allow) {
    lvwLinksCanEditCell(sender, item, column, allow);
  });
  list->SetDrawItemPropHandler([this](TVariableList* sender, int item, int subItem,
                                      QStyle::State state, QBrush& brush, QFont& font,
                                      const QString& text) {
    lvwLinksDrawItemProp(sender, item, subItem, state, brush, font, text);
  });
  return list;
}

QWidget* TfrmMain::CreateBottomBar() {
  auto* bar = new QFrame(this);
  bar->setObjectName(QStringLiteral("BottomBar"));
  bar->setFixedHeight(kBottomBarHeight);
  auto* label = new QLabel(QString::fromLatin1(kBottomLabelText), bar);
  label->setObjectName(QStringLiteral("lblBottom"));
  label->move(16, 18);
  label->adjustSize();
  btnClear = CreateButton(bar, "btnClear", QStringLiteral("Clear"),
                          QStringLiteral("Clear variable list"), QRect(187, 12, 116, 20));
  btnMakeMoney = CreateButton(bar, "btnMakeMoney", QStringLiteral("Make Money"), QString(),
                              QRect(307, 12, 147, 20));
  return bar;
}

QWidget* TfrmMain::CreateStatusBar() {
  auto* bar = new QFrame(this);
  bar->setObjectName(QStringLiteral("StatusBar"));
  bar->setFixedHeight(kStatusBarHeight);
  bar->setFrameShape(QFrame::NoFrame);
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(3, 0, 0, 0);
  layout->setSpacing(2);
  MainStatusPanel = new QLabel(bar);
  MainStatusPanel->setObjectName(QStringLiteral("MainStatusPanel"));
  MainStatusPanel->setFrameShape(QFrame::StyledPanel);
  MainStatusPanel->setFrameShadow(QFrame::Sunken);
  MainStatusPanel->setMinimumWidth(0);
  MainStatusPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  lblSavedFile = new QLabel(bar);
  lblSavedFile->setObjectName(QStringLiteral("lblSavedFile"));
  lblSavedFile->setTextFormat(Qt::RichText);
  lblSavedFile->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  lblSavedFile->hide();
  connect(lblSavedFile, &QLabel::linkActivated, this, &TfrmMain::OpenSavedFileLink);
  MainGauge = new TGauge(bar);
  MainGauge->setObjectName(QStringLiteral("MainGauge"));
  MainGauge->setFixedSize(kGaugeWidth, kStatusBarHeight);
  layout->addWidget(MainStatusPanel, 1);
  layout->addWidget(lblSavedFile);
  layout->addWidget(MainGauge);
  return bar;
}

QPushButton* TfrmMain::CreateButton(QWidget* parent, const char* objectName, const QString& caption,
                                    const QString& hint, QRect geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setGeometry(geometry);
  ShrinkFontToFit(button, caption, geometry.width() - 10);
  button->setCursor(Qt::PointingHandCursor);
  // Enter presses the focused button, as Space does.
  button->setAutoDefault(true);
  if (!hint.isEmpty()) {
    button->setToolTip(hint);
  }
  return button;
}

void TfrmMain::ConnectCommands() {
  const auto command = [this](QAbstractButton* button, void (TfrmMain::*handler)()) {
    connect(button, &QAbstractButton::clicked, this,
            [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
  };
  command(btnOpenPDF, &TfrmMain::btnOpenPDFClick);
  command(btnOpenPackage, &TfrmMain::btnOpenPackageClick);
  command(btnLoadValues, &TfrmMain::btnLoadValuesClick);
  command(btnSaveValues, &TfrmMain::btnSaveValuesClick);
  command(btnPreviewOriginal, &TfrmMain::btnPreviewOriginalClick);
  command(btnPreviewBranded, &TfrmMain::btnPreviewBrandedClick);
  command(btnSaveRebrandablePDF, &TfrmMain::btnSaveRebrandablePDFClick);
  command(btnExit, &TfrmMain::btnExitClick);
  command(btnClear, &TfrmMain::btnClearClick);
  command(btnMakeMoney, &TfrmMain::btnMakeMoneyClick);
  // Toggled, not clicked: a tick set from code runs the handler too.
  connect(chkRemoveDuplicated, &QCheckBox::toggled, this,
          [this] { RunGuarded([this] { chkRemoveDuplicatedClick(); }); });
  for (TVariableList* list : {lvwLinks, lvwLinks2}) {
    connect(list, &TVariableList::cellEdited, this, [this] { valuesTyped_ = true; });
  }
}

void TfrmMain::CenterOnScreen() {
  const QScreen* target = screen();
  if (target == nullptr) {
    return;
  }
  const QRect available = target->availableGeometry();
  move(available.center() - QPoint(width() / 2, height() / 2));
}

void TfrmMain::FormCreate() {
  ShowVisibleList();
  Switching_ = false;
  AffiliateID_ = ReadAffiliateID(programFolder_);
  Formats_.ClearAll();
}

void TfrmMain::FormDestroy() { Formats_.ClearAll(); }

void TfrmMain::ShowVisibleList() {
  const bool ticked = chkRemoveDuplicated->isChecked();
  lvwLinks->setVisible(!ticked);
  lvwLinks2->setVisible(ticked);
}

std::string TfrmMain::ReferralAddress() const {
  return std::string("http://") + kMarketplaceHost + "/r/44650/" + AffiliateID_ + "/285329";
}

const std::string& TfrmMain::PackageFolder() const {
  return packageFolder_.empty() ? programFolder_ : packageFolder_;
}

std::vector<std::string> TfrmMain::PreviewFileCandidates() const {
  std::vector<std::string> candidates{programFolder_ + kPreviewFileName};
  const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  if (!cache.isEmpty()) {
    candidates.push_back(
        QDir(cache)
            .filePath(QStringLiteral("corvella-rebrander/") + QString::fromLatin1(kPreviewFileName))
            .toStdString());
  }
  return candidates;
}

// The program's folder is what it is; the cache folder is made on first use.
void TfrmMain::MakeCacheFolderFor(const std::string& preview) const {
  const std::filesystem::path folder = std::filesystem::path(preview).parent_path();
  if (folder != std::filesystem::path(programFolder_).parent_path()) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
  }
}

std::string TfrmMain::WritablePreviewFile(QString& reasons) const {
  reasons.clear();
  for (const std::string& candidate : PreviewFileCandidates()) {
    MakeCacheFolderFor(candidate);
    std::string reason;
    if (CanWriteFileAt(candidate, reason)) {
      return candidate;
    }
    reasons += QStringLiteral("\n\"%1\": %2").arg(FromSystem(candidate), FromSystem(reason));
  }
  return {};
}

void TfrmMain::ReportPreviewNotWritable(const QString& reasons) {
  MessageBox::information(this, QStringLiteral("The preview can't be written:") + reasons);
}

void TfrmMain::btnOpenPDFClick() {
  if (runUnderWay_) {
    return;
  }
  if (!ConfirmDiscardTypedValues()) {
    return;
  }
  const std::string folder = PackageFolder();
  PDFFileName_ = folder + kPDFFileName;
  LoadPackageFrom(folder);
}

void TfrmMain::btnOpenPackageClick() {
  if (runUnderWay_) {
    return;
  }
  SaveDialogRequest request;
  request.title = QStringLiteral("Open package");
  request.directory = packageFolder_.empty() ? QDir::homePath() : FromSystem(packageFolder_);
  const QString folder = FileDialog::getExistingDirectory(this, request);
  if (!folder.isEmpty()) {
    OpenPackage(folder);
  }
}

bool TfrmMain::OpenPackage(const QString& folder) {
  if (runUnderWay_ || !ConfirmDiscardTypedValues()) {
    return false;
  }
  const std::string candidate = WithTrailingSeparator(PackageFolderOf(folder).toStdString());
  // A package that fails its check must not leave its PDF behind the lists of the one loaded.
  const std::string previousPDF = PDFFileName_;
  PDFFileName_ = candidate + kPDFFileName;
  bool loaded = false;
  struct RestoreOnFailure {
    bool& loaded;
    std::string& current;
    const std::string& previous;
    ~RestoreOnFailure() {
      if (!loaded) {
        current = previous;
      }
    }
  } restore{loaded, PDFFileName_, previousPDF};
  loaded = LoadPackageFrom(candidate);
  return loaded;
}

bool TfrmMain::LoadPackageFrom(const std::string& folder) {
  if (!CheckPackageIn(folder)) {
    return false;
  }
  LoadVariableListsFrom(folder);
  packageFolder_ = folder;
  for (QPushButton* button : {btnClear, btnPreviewOriginal, btnPreviewBranded,
                              btnSaveRebrandablePDF, btnLoadValues, btnSaveValues}) {
    button->setEnabled(true);
  }
  ShowLoadedPackage();
  return true;
}

void TfrmMain::ShowLoadedPackage() {
  const QString folder = QDir::cleanPath(FromSystem(packageFolder_));
  const QString name = QDir(folder).dirName();
  setWindowTitle(
      QStringLiteral("%1 \u2014 Corvella Rebrander").arg(name.isEmpty() ? folder : name));
}

bool TfrmMain::CheckPackage() { return CheckPackageIn(PackageFolder()); }

bool TfrmMain::CheckPackageIn(const std::string& folder) {
  // A variables file without a first line is no answer of the check but a failure; it leaves
  // this command for the program's failure reporting.
  const PackageCheckResult result = ::CheckPackage(folder, PDFFileName_);
  if (!result.ok) {
    MessageBox::information(this, QString::fromStdString(result.message));
  }
  return result.ok;
}

void TfrmMain::LoadVariableLists() { LoadVariableListsFrom(PackageFolder()); }

void TfrmMain::LoadVariableListsFrom(const std::string& folder) {
  // The file is read before anything is cleared, so a file that fails to load leaves the lists
  // and the variable list as they were.
  TFormats loaded;
  loaded.LoadAll(VariablesFilePath(folder));

  lvwLinks->ClearRows();
  lvwLinks2->ClearRows();
  Formats_.ClearAll();
  Formats_ = std::move(loaded);
  valuesTyped_ = false;

  lvwLinks->setUpdatesEnabled(false);
  lvwLinks2->setUpdatesEnabled(false);
  for (std::size_t i = 0; i < Formats_.Count(); ++i) {
    lvwLinks->AddRow(RowFromRecord(Formats_.Objects(i)));
  }
  for (std::size_t first : DistinctVariables(Formats_)) {
    lvwLinks2->AddRow(RowFromRecord(Formats_.Objects(first)));
  }
  lvwLinks->setUpdatesEnabled(true);
  lvwLinks2->setUpdatesEnabled(true);
}

void TfrmMain::CommitOpenEditors() {
  lvwLinks->CommitOpenEditor();
  lvwLinks2->CommitOpenEditor();
}

bool TfrmMain::ConfirmDiscardTypedValues() {
  CommitOpenEditors();
  if (!valuesTyped_ || !(lvwLinks->HasCustomValue() || lvwLinks2->HasCustomValue())) {
    return true;
  }
  return MessageBox::question(this, QString::fromLatin1(kDiscardQuestion),
                              QStringLiteral("Discard")) == QMessageBox::Ok;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (ConfirmDiscardTypedValues()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!runUnderWay_ && !urls.isEmpty() && urls.constFirst().isLocalFile()) {
    event->acceptProposedAction();
  }
}

void TfrmMain::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.isEmpty() || !urls.constFirst().isLocalFile()) {
    return;
  }
  event->acceptProposedAction();
  const QString path = urls.constFirst().toLocalFile();
  RunGuarded([this, path] { OpenPackage(path); });
}

void TfrmMain::lvwLinksCanEditCell(TVariableList* /*Sender*/, int /*iItem*/, int iSubItem,
                                   bool& Allow) {
  if (iSubItem != TVariableList::kCustomValueColumn) {
    Allow = false;
  }
}

void TfrmMain::lvwLinksDrawItemProp(TVariableList* /*Sender*/, int /*ItemIndex*/, int SubitemIndex,
                                    QStyle::State /*AState*/, QBrush& ABrush, QFont& /*AFont*/,
                                    const QString& /*ItemText*/) {
  if (SubitemIndex == kCustomValue) {
    ABrush = QBrush(kCustomValueColour);
  }
}

void TfrmMain::btnClearClick() {
  if (runUnderWay_ || !ConfirmDiscardTypedValues()) {
    return;
  }
  // Both lists: the one shown is then what a run uses, whichever it is.
  lvwLinks->ClearRows();
  lvwLinks2->ClearRows();
  valuesTyped_ = false;
}

void TfrmMain::chkRemoveDuplicatedClick() {
  if (Switching_) {
    return;
  }
  Switching_ = true;
  // Cleared on every way out, so a failure can't leave the switch dead.
  struct SwitchingReset {
    bool& flag;
    ~SwitchingReset() { flag = false; }
  } reset{Switching_};

  if (lvwLinks->HasCustomValue() || lvwLinks2->HasCustomValue()) {
    const QMessageBox::StandardButton answer =
        MessageBox::warning(this, QString::fromLatin1(kSwitchQuestion));
    if (answer == QMessageBox::Cancel) {
      // Runs this handler again, which returns at once while Switching is set.
      chkRemoveDuplicated->setChecked(!chkRemoveDuplicated->isChecked());
      return;
    }
  }
  for (TVariableList* list : {lvwLinks, lvwLinks2}) {
    for (int i = 0; i < list->RowCount(); ++i) {
      list->SetCustomValue(i, QString());
    }
  }
  valuesTyped_ = false;
  ShowVisibleList();
  lvwLinks->SelectFirstRow();
  lvwLinks2->SelectFirstRow();
}

void TfrmMain::btnSaveRebrandablePDFClick() {
  if (runUnderWay_) {
    return;
  }
  CommitOpenEditors();
  if (lvwLinks->RowCount() == 0) {
    MessageBox::information(this, QString::fromLatin1(kLoadFirstMessage));
    return;
  }
  const std::string fileName = AskSaveFileName();
  if (fileName.empty()) {
    return;
  }
  // Said before any work, with the system's reason; the library can only say that it failed.
  std::string reason;
  if (!CanWriteFileAt(fileName, reason)) {
    ShowRunStarting();
    OutputFileName_ = fileName;
    MainStatusPanel->setText(QStringLiteral("Cannot write the output file \"%1\": %2")
                                 .arg(FromSystem(fileName), FromSystem(reason)));
    // As a run that fails: the gauge full, in the error colour.
    MainGauge->SetMaximum(100);
    MainGauge->SetValue(100);
    ShowRunFailed(QString());
    return;
  }
  if (RebrandToFile(fileName)) {
    valuesTyped_ = false;  // they are in the saved PDF now
    ShowFileSaved(FromSystem(fileName));
  }
}

void TfrmMain::ShowRunStarting() {
  MainGauge->SetFailed(false);
  MainStatusPanel->setPalette(QPalette());
  MainStatusPanel->setToolTip(QString());
  lblSavedFile->hide();
}

void TfrmMain::ShowRunFailed(const QString& tip) {
  MainGauge->SetFailed(true);
  QPalette colours = MainStatusPanel->palette();
  colours.setColor(QPalette::WindowText, ErrorColour(colours));
  MainStatusPanel->setPalette(colours);
  MainStatusPanel->setToolTip(tip.isEmpty() ? MainStatusPanel->text() : tip);
}

void TfrmMain::ShowFileSaved(const QString& path) {
  const QFileInfo file(path);
  lblSavedFile->setText(
      QStringLiteral("<a href=\"file\">%1</a> &middot; <a href=\"folder\">Open folder</a>")
          .arg(file.fileName().toHtmlEscaped()));
  lblSavedFile->setToolTip(file.absoluteFilePath());
  lblSavedFile->show();
}

void TfrmMain::OpenSavedFileLink(const QString& link) {
  const QFileInfo file(QString::fromStdString(OutputFileName_));
  DocumentOpener::open(link == QStringLiteral("folder") ? file.absolutePath()
                                                        : file.absoluteFilePath());
}

// The folder the save dialog opens in the first time: the package's, where the user can write
// there (a package beside a read-only install can't take the output), else their documents.
QString TfrmMain::FirstSaveFolder() const {
  std::string reason;
  if (CanWriteFileAt(PackageFolder() + "rebranded.pdf", reason)) {
    return FromSystem(PackageFolder());
  }
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return documents.isEmpty() ? QDir::homePath() : documents;
}

std::string TfrmMain::AskSaveFileName() {
  SaveDialogRequest request;
  request.title = QString::fromLatin1(kSaveDialogTitle);
  request.nameFilter = QString::fromLatin1(kPDFNameFilter);
  if (lastSaveFile_.isEmpty()) {
    request.directory = FirstSaveFolder();
  } else {
    const QFileInfo last(lastSaveFile_);
    request.directory = last.absolutePath();
    request.selectedFile = last.fileName();
  }
  for (;;) {
    const QString chosen = FileDialog::getSaveFileName(this, request);
    if (chosen.isEmpty()) {
      return {};
    }
    const QString path = WithPDFExtension(chosen);
    // Asked here rather than by the dialog: the name may have got its extension only now.
    if (!QFileInfo::exists(path) || ConfirmReplace(path)) {
      lastSaveFile_ = path;
      return lastSaveFile_.toStdString();
    }
    const QFileInfo refused(path);
    request.directory = refused.absolutePath();
    request.selectedFile = refused.fileName();
  }
}

TVariableList* TfrmMain::VisibleList() const {
  return chkRemoveDuplicated->isChecked() ? lvwLinks2 : lvwLinks;
}

QString TfrmMain::ValuesDialogFolder() const {
  if (!lastValuesFile_.isEmpty()) {
    return QFileInfo(lastValuesFile_).absolutePath();
  }
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return documents.isEmpty() ? QDir::homePath() : documents;
}

void TfrmMain::btnSaveValuesClick() {
  if (runUnderWay_) {
    return;
  }
  CommitOpenEditors();
  // One value per variable: the first typed in the list shown, the one the user edits.
  std::vector<TNamedValue> values;
  const TVariableList* list = VisibleList();
  for (int i = 0; i < list->RowCount(); ++i) {
    const TListRow row = list->Row(i);
    const std::string& name = row.SubItems[kVariableName];
    const bool known = std::any_of(values.begin(), values.end(),
                                   [&](const TNamedValue& pair) { return pair.first == name; });
    if (!row.SubItems[kCustomValue].empty() && !known) {
      values.emplace_back(name, row.SubItems[kCustomValue]);
    }
  }
  if (values.empty()) {
    MessageBox::information(this, QStringLiteral("No value has been typed yet, so there is "
                                                 "nothing to save."));
    return;
  }
  SaveDialogRequest request;
  request.title = QStringLiteral("Save values");
  request.nameFilter = QStringLiteral("Values files (*.txt)");
  request.directory = ValuesDialogFolder();
  request.selectedFile = lastValuesFile_.isEmpty() ? QStringLiteral("values.txt")
                                                   : QFileInfo(lastValuesFile_).fileName();
  QString path;
  for (;;) {
    path = FileDialog::getSaveFileName(this, request);
    if (path.isEmpty()) {
      return;
    }
    if (!QFileInfo::exists(path) || ConfirmReplace(path)) {
      break;
    }
    request.directory = QFileInfo(path).absolutePath();
    request.selectedFile = QFileInfo(path).fileName();
  }
  std::vector<std::string> refused;
  const std::string text = FormatValuesFile(values, refused);
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(text.data(), static_cast<qint64>(text.size())) !=
          static_cast<qint64>(text.size()) ||
      !file.commit()) {
    MessageBox::information(
        this,
        QStringLiteral("Cannot write the values file \"%1\": %2").arg(path, file.errorString()));
    return;
  }
  lastValuesFile_ = path;
  valuesTyped_ = false;
  MainStatusPanel->setText(QStringLiteral("Values saved to \"%1\"").arg(path));
  if (!refused.empty()) {
    QString names;
    for (const std::string& name : refused) {
      names += QStringLiteral("\n  ") + QString::fromStdString(name);
    }
    MessageBox::information(
        this, QStringLiteral("These variables have names a values file can't hold, so their "
                             "values were not saved:") +
                  names);
  }
}

void TfrmMain::btnLoadValuesClick() {
  if (runUnderWay_) {
    return;
  }
  CommitOpenEditors();
  SaveDialogRequest request;
  request.title = QStringLiteral("Load values");
  request.nameFilter = QStringLiteral("Values files (*.txt)");
  request.directory = ValuesDialogFolder();
  const QString path = FileDialog::getOpenFileName(this, request);
  if (path.isEmpty()) {
    return;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    MessageBox::information(
        this,
        QStringLiteral("Cannot read the values file \"%1\": %2").arg(path, file.errorString()));
    return;
  }
  std::vector<TNamedValue> values;
  try {
    values = ParseValuesFile(file.readAll().toStdString(), path.toStdString());
  } catch (const std::runtime_error& failure) {
    MessageBox::information(this, QString::fromStdString(failure.what()));
    return;
  }
  lastValuesFile_ = path;
  TVariableList* list = VisibleList();
  QStringList unmatched;
  int filled = 0;
  for (const auto& [name, value] : values) {
    bool matched = false;
    for (int i = 0; i < list->RowCount(); ++i) {
      if (list->Row(i).SubItems[kVariableName] == name) {
        list->SetCustomValue(i, QString::fromStdString(value));
        matched = true;
      }
    }
    if (matched) {
      ++filled;
    } else {
      unmatched << QString::fromStdString(name);
    }
  }
  MainStatusPanel->setText(QStringLiteral("%1 of %2 values loaded from \"%3\"")
                               .arg(filled)
                               .arg(values.size())
                               .arg(path));
  if (!unmatched.isEmpty()) {
    MessageBox::information(
        this, QStringLiteral("These names in \"%1\" match no variable of this package:\n  %2")
                  .arg(path, unmatched.join(QStringLiteral("\n  "))));
  }
}

bool TfrmMain::ConfirmReplace(const QString& path) {
  const QString text =
      QStringLiteral("A file named \"%1\" already exists in \"%2\".\nDo you want to replace it?")
          .arg(QFileInfo(path).fileName(), QFileInfo(path).absolutePath());
  return MessageBox::question(this, text, QStringLiteral("Replace")) == QMessageBox::Ok;
}

bool TfrmMain::RebrandToFile(const std::string& FileName) {
  if (runUnderWay_) {
    return false;
  }
  CommitOpenEditors();
  RunLock lock(*this);
  ShowRunStarting();
  OutputFileName_ = FileName;
  // The run reads a copy of the rows, so nothing done to the lists while it serves messages
  // can pull a row from under it. An existing output file is left for the run to replace with
  // a complete new file only.
  const std::vector<TListRow> rows = lvwLinks->Rows();
  std::vector<TListRow> distinctRows;
  const bool mergeDistinct = chkRemoveDuplicated->isChecked();
  if (mergeDistinct) {
    distinctRows = lvwLinks2->Rows();
  }
  StatusObserver observer(*MainGauge, *MainStatusPanel);
  RecordsFromRows(rows, mergeDistinct ? &distinctRows : nullptr, Formats_, observer);

  RunOptions options;
  options.PDFFileName = PDFFileName_;
  options.OutputFileName = OutputFileName_;
  options.LibraryName = libraryName_;
  const bool saved = RunRebranding(options, Formats_, observer).Saved;
  if (!saved) {
    // A failed library call keeps the status of its phase; the library's own messages went to
    // standard output.
    const bool phaseOnly = IsPhaseStatus(MainStatusPanel->text());
    ShowRunFailed(phaseOnly ? QStringLiteral("The rebranding failed: the PDF library reported an "
                                             "error (its messages are on standard output).")
                            : QString());
  }
  return saved;
}

void TfrmMain::btnPreviewOriginalClick() {
  if (!FileExists(PDFFileName_)) {
    MessageBox::information(this, QString::fromLatin1(kMissingPDFMessage));
    return;
  }
  // Beside the program where it can be written, else in the user's cache.
  QString reasons;
  for (const std::string& preview : PreviewFileCandidates()) {
    MakeCacheFolderFor(preview);
    std::error_code error;
    std::filesystem::copy_file(PDFFileName_, preview,
                               std::filesystem::copy_options::overwrite_existing, error);
    if (!error) {
      DocumentOpener::open(FromSystem(preview));
      return;
    }
    reasons += QStringLiteral("\n\"%1\": %2")
                   .arg(FromSystem(preview), QString::fromStdString(error.message()));
  }
  ReportPreviewNotWritable(reasons);
}

void TfrmMain::btnPreviewBrandedClick() {
  if (runUnderWay_) {
    return;
  }
  QString reasons;
  const std::string preview = WritablePreviewFile(reasons);
  if (preview.empty()) {
    ReportPreviewNotWritable(reasons);
    return;
  }
  // A failed run must not leave an earlier preview to be shown as its result.
  RemoveFileQuietly(preview);
  RebrandToFile(preview);
  if (FileExists(OutputFileName_)) {
    DocumentOpener::open(FromSystem(OutputFileName_));
  }
}

void TfrmMain::btnMakeMoneyClick() { LaunchBrowser(ReferralAddress()); }

void TfrmMain::btnExitClick() { close(); }
