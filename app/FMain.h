// The main window: the commands of the rebranding workflow, the two variable lists, the status
// line and the gauge. Every command runs in a handler named after its control and event.
#pragma once

#include <QBrush>
#include <QFont>
#include <QHash>
#include <QStyle>
#include <QWidget>
#include <string>
#include <vector>

#include "UGeneral.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenuBar;
class QPushButton;
class TGauge;
class TVariableList;

class TfrmMain : public QWidget {
  Q_OBJECT

 public:
  // The window of the running program, with its package and settings beside the program.
  explicit TfrmMain(QWidget* parent = nullptr);
  // The same with another folder in the program's place (it needs no trailing separator).
  explicit TfrmMain(const std::string& programFolder, QWidget* parent = nullptr);
  ~TfrmMain() override;
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // Host of the affiliate marketplace in the referral address.
  static constexpr const char* kMarketplaceHost = "www.corvella-market.com";
  static constexpr const char* kPreviewFileName = "test.pdf";
  static constexpr const char* kSwitchQuestion =
      "Change this feature will clean your variables values!\n"
      " Are you agree to continue with this action?";
  static constexpr const char* kLoadFirstMessage = "Please load the branded pdf!";
  static constexpr const char* kDiscardQuestion = "Discard the values you typed?";

  const std::string& ProgramFolderPath() const { return programFolder_; }
  // The folder of the package that "Load branded  PDF" loads: the one opened last, else the
  // program's folder. With a trailing separator.
  const std::string& PackageFolder() const;
  // True when the user has typed a custom value since the lists were filled or last saved.
  bool ValuesTyped() const { return valuesTyped_; }
  const std::string& PDFFileName() const { return PDFFileName_; }
  const std::string& OutputFileName() const { return OutputFileName_; }
  const std::string& AffiliateID() const { return AffiliateID_; }
  const TFormats& Formats() const { return Formats_; }
  bool Switching() const { return Switching_; }
  bool RunUnderWay() const { return runUnderWay_; }
  std::string ReferralAddress() const;

  // The core library that runs load: empty for the platform's default name, looked up in the
  // program's folder first.
  void SetLibraryName(const std::string& libraryName) { libraryName_ = libraryName; }

  // Commands.
  void btnOpenPDFClick();
  void btnOpenPackageClick();
  // Keep the typed values in a NAME=VALUE file, and give them back to another book.
  void btnSaveValuesClick();
  void btnLoadValuesClick();
  // Checks and loads the package in `folder` (or the folder of a file of it); false when the
  // user kept the typed values, the check failed or the folder is not a package. On failure
  // the package loaded before stays loaded.
  bool OpenPackage(const QString& folder);
  bool CheckPackage();
  void LoadVariableLists();
  void btnClearClick();
  void chkRemoveDuplicatedClick();
  void btnSaveRebrandablePDFClick();
  // True when the output file was written.
  bool RebrandToFile(const std::string& FileName);
  void btnPreviewOriginalClick();
  void btnPreviewBrandedClick();
  void btnMakeMoneyClick();
  void btnExitClick();

  // Cell events of both lists.
  void lvwLinksCanEditCell(TVariableList* Sender, int iItem, int iSubItem, bool& Allow);
  void lvwLinksDrawItemProp(TVariableList* Sender, int ItemIndex, int SubitemIndex,
                            QStyle::State AState, QBrush& ABrush, QFont& AFont,
                            const QString& ItemText);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  class RunLock;
  class StatusObserver;

  void CreateControls();
  QMenuBar* CreateMenuBar();
  int menuBarHeight() const;
  void MirrorButtonStatesInMenus();
  bool eventFilter(QObject* watched, QEvent* event) override;
  QHash<QObject*, QAction*> mirroredActions_;
  void ShowAbout();
  QWidget* CreateTopBar();
  QWidget* CreateCommandColumn();
  QWidget* CreateListArea();
  QWidget* CreateBottomBar();
  QWidget* CreateStatusBar();
  TVariableList* CreateList(const char* objectName);
  QPushButton* CreateButton(QWidget* parent, const char* objectName, const QString& caption,
                            const QString& hint, QRect geometry);
  void ConnectCommands();
  void CenterOnScreen();

  void FormCreate();
  void FormDestroy();
  void ShowVisibleList();
  // Checks the package in `folder` and, when it passes, fills the lists from it; the
  // package's folder becomes the one loaded. False when the check failed (it said why).
  bool LoadPackageFrom(const std::string& folder);
  bool CheckPackageIn(const std::string& folder);
  void LoadVariableListsFrom(const std::string& folder);
  void ShowLoadedPackage();
  // Asks before typed values would be lost; true when there are none or the user lets them go.
  bool ConfirmDiscardTypedValues();
  void CommitOpenEditors();
  // The places the previews may write, in order: beside the program, then the user's cache.
  std::vector<std::string> PreviewFileCandidates() const;
  // The first candidate a run can write; empty, with the reasons, when none can be.
  std::string WritablePreviewFile(QString& reasons) const;
  void ReportPreviewNotWritable(const QString& reasons);
  void MakeCacheFolderFor(const std::string& preview) const;
  // Asks for the output path; empty when cancelled.
  std::string AskSaveFileName();
  QString FirstSaveFolder() const;
  bool ConfirmReplace(const QString& path);
  TVariableList* VisibleList() const;
  // How a run ended: a failure in the error colour, a save with the file named.
  void ShowRunStarting();
  void ShowRunFailed(const QString& tip);
  void ShowFileSaved(const QString& path);
  void OpenSavedFileLink(const QString& link);
  QString ValuesDialogFolder() const;
  QString lastValuesFile_;

  std::string programFolder_;
  std::string packageFolder_;  // empty until a package is loaded
  bool valuesTyped_ = false;
  std::string PDFFileName_;
  std::string OutputFileName_;
  std::string AffiliateID_;
  TFormats Formats_;
  bool Switching_ = false;
  bool runUnderWay_ = false;
  std::string libraryName_;
  QString lastSaveFile_;
  Qt::SortOrder sortOrder_ = Qt::AscendingOrder;

  QPushButton* btnOpenPDF = nullptr;
  QPushButton* btnPreviewOriginal = nullptr;
  QPushButton* btnPreviewBranded = nullptr;
  QPushButton* btnSaveRebrandablePDF = nullptr;
  QPushButton* btnExit = nullptr;
  QPushButton* btnOpenPackage = nullptr;
  QPushButton* btnSaveValues = nullptr;
  QPushButton* btnLoadValues = nullptr;
  QCheckBox* chkRemoveDuplicated = nullptr;
  QPushButton* btnClear = nullptr;
  QPushButton* btnMakeMoney = nullptr;
  TVariableList* lvwLinks = nullptr;
  TVariableList* lvwLinks2 = nullptr;
  QLabel* MainStatusPanel = nullptr;
  QLabel* lblSavedFile = nullptr;  // after a save: the file, with links to it and its folder
  TGauge* MainGauge = nullptr;
};
