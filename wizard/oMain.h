// The main window: a fixed-size wizard whose page stack nbOE holds one page
// per step, with the picture strip on the left and the button bar below.
// Every control carries its name as objectName.
//
// The window's behaviour is spread over several files, one concern each:
//   oMain.cpp        construction, start-up, showing, closing
//   pages.cpp        Next and Back, the source pages, building the trees
//   runcontrol.cpp   a run: starting, the worker's reports, finishing, tray
//   settings.cpp     stored control values and folder selections
//   extlists.cpp     the include and exclude extension lists
//   foldertrees.cpp  selecting and finding folders in the trees
//   mozillapages.cpp the Netscape/Mozilla/Thunderbird pages
//   localpages.cpp   the page of other mail folders (Maildir, mbox, .eml)
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QDialog>
#include <QTreeWidgetItem>

#include "engine/job.h"
#include "maildir/discovery.h"
#include "mbox/mboxworker.h"
#include "oestore/dbxreader.h"
#include "outlook/outlooklist.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QSystemTrayIcon;
class QTreeWidget;

namespace qb {
class TKeyStore;
}

namespace qb::wiz {

class IDesktop;
class TfrmProgress;

// One mailbox of a Netscape/Mozilla/Thunderbird profile.
using qb::TNetscapeFolderInfo;

// An item of the tree of other mail folders: a Maildir folder, an mbox file
// or a directory of .eml files (Mailbox), or a directory that only holds
// such folders.
struct TLocalFolderInfo {
  std::string Path;                          // the folder's directory or the mailbox file
  TMailPathKind Kind = TMailPathKind::None;  // None: it only holds folders
  std::string AddedAs;                       // the path as the user added it; "" when found
};

// An item of a folder tree (ElTreeOE, ElTreeOutLook, ElTreeNS) with the
// folder record it owns.
class TFolderItem : public QTreeWidgetItem {
 public:
  TFolderItem() : QTreeWidgetItem(kType) {}
  static constexpr int kType = QTreeWidgetItem::UserType + 1;

  std::int64_t Tag = 0;  // Outlook Express: the folder id; Outlook: the record id
  std::unique_ptr<Toe5_FolderInfo> OE;
  std::shared_ptr<TOutlookFolderInfo> Outlook;
  std::unique_ptr<TNetscapeFolderInfo> NS;
  std::unique_ptr<TLocalFolderInfo> Local;

  // A check box shown (and usable); Outlook store roots have none.
  bool HasCheckBox() const;
  void SetCheckBox(bool visibleAndEnabled);
  // The tick. An item without a check box keeps its tick too (Select All
  // and Inverse set it), it is just not shown.
  bool Ticked() const;
  void SetTicked(bool ticked);

  // The folder as a run's job carries it.
  TJobFolder JobFolder() const;

  static TFolderItem* From(QTreeWidgetItem* item);

 private:
  bool hiddenTick_ = false;
};

// Every item of a tree in tree order (a parent before its children).
std::vector<TFolderItem*> AllFolderItems(QTreeWidget* tree);

// What the tests change about the window's start-up and its Outlook.
struct TWizardOptions {
  // Outlook is the .pst provider over the configured stores; when none is
  // configured the user is asked for one. Off: whatever provider is
  // installed (the tests' fake) is used as it is.
  bool PstOutlook = true;
  // The pause before the Outlook folders are listed, messages processed.
  unsigned OutlookInitialWaitMs = 1000;
  // Switch the process to idle priority at start-up.
  bool IdlePriority = true;
  // The workers' pause between the steps of a message.
  unsigned PauseMs = 100;
};

// State of the parts kept in their own files; each file defines its type and
// the deleter.
template <class T>
struct TPartDeleter {
  void operator()(T* p) const;
};
struct TRunState;
struct TSettingsState;
template <>
void TPartDeleter<TRunState>::operator()(TRunState* p) const;
template <>
void TPartDeleter<TSettingsState>::operator()(TSettingsState* p) const;

// 8-bit text of a store or the key store as the window shows it (valid
// UTF-8 as it is, anything else from the code page), and back.
QString UiText(const std::string& bytes);
std::string FromUi(const QString& text);

class TfrmOEMain : public QDialog, public IRunView {
 public:
  TfrmOEMain(IDesktop& desktop, TKeyStore& store, TWizardOptions options = {},
             QWidget* parent = nullptr);
  ~TfrmOEMain() override;

  IDesktop& Desktop() const { return desktop_; }
  TKeyStore& Registry() const { return store_; }
  const TWizardOptions& WizardOptions() const { return options_; }

  // The page being shown, by name ("" for none).
  QString CurrentPageName() const;
  void ShowPage(QWidget* page);
  QWidget* Page(const QString& name) const;

  // ---- controls ----------------------------------------------------------
  QLabel* imgStrip;
  QStackedWidget* nbOE;
  QWidget *Welcome, *OEChoose, *OEFolderSelect, *Options, *Options2, *Processing, *Finish,
      *OutlookChoose, *NetscapeChoose, *NSFolderSelect, *emlChoose, *LocalFolderSelect;

  // button bar and help menu
  QPushButton *btAbout, *btToTray, *btHelp, *btBack, *btNext, *btCancel;
  QMenu* pmnuHelp;
  QAction *pmnuItemHelp, *pmnuItemHelpReportaproblem, *pmnuItemHelpSendaSuggestion;

  // Welcome
  QButtonGroup* grpSource;
  QRadioButton *rbOE, *rbOutlook, *rbNS, *rbTB, *rbMbox, *rbEML, *rbLocalMail;
  QCheckBox *cbGetEmbbededImages, *cbGetEmails;
  QPushButton* btOpenMails;

  // OEChoose
  QRadioButton *rbOEChooseFolder, *rbOEChooseProfile;
  QLineEdit* txtOECustomFolder;
  QPushButton* btChooseOECustomFolder;
  QTreeWidget* elOEProfileList;  // columns "User Name", "Directory"

  // OEFolderSelect
  QTreeWidget* ElTreeOE;
  QPushButton *btFolderSelectAll, *btFolderInverse, *btFolderUnselectAll, *btFind, *btFindNext;

  // OutlookChoose
  QTreeWidget* ElTreeOutLook;
  QPushButton *btOutlookSelectAll, *btOutlookInverse, *btOutlookUnSelectAll, *btOutlookFind,
      *btOutlookFindNext;

  // Options
  QCheckBox* cbUseDate;
  QDateEdit *dtpFrom, *dtpTo;
  QRadioButton *rbAllDoc, *rbSelectedDoc;
  QListWidget *lbIncludeExtensions, *lbExcludeExtensions;
  QPushButton *btIncludeExtAdd, *btIncludeExtEdit, *btIncludeExtDelete;
  QPushButton *btExcludeExtAdd, *btExcludeExtEdit, *btExcludeExtDelete;
  QComboBox* cmbSelector;  // hidden preset selector

  // Options2
  QLineEdit* txtOEDir;
  QPushButton* btSaveDir;
  QCheckBox* cbUseFullFilename;
  QButtonGroup* grpLayout;
  QRadioButton *rb_DA_OF, *rb_DA_SU_OF, *rb_DA_SE_SU_OF, *rb_SE_DA_OF, *rb_SE_DA_SU_OF,
      *rb_SU_DA_SE_OF, *rb_SU_SE_DA_OF;
  QLineEdit* txtWavFile;
  QPushButton* Button2;
  QCheckBox* cbSkipDuplicates;
  QCheckBox* cbWriteReport;  // a report of the run in the destination

  // Processing
  QLabel* aniImage;
  QLabel* lbOEStatus;
  QProgressBar* pbOE;
  QTreeWidget* elTreeStatus;  // "Mail Folder", "Total", "Msgs", "Extracted", "Status"
  QPlainTextEdit* txtLogs;

  // NetscapeChoose
  QRadioButton *rbNSChooseFolder, *rbNSChooseProfile;
  QLineEdit* txtNSCustomFolder;
  QPushButton* btChooseNSCustomFolder;
  QTreeWidget* elNSProfileList;

  // NSFolderSelect
  QTreeWidget* ElTreeNS;

  // LocalFolderSelect
  QTreeWidget* ElTreeLocal;
  QPushButton* btLocalAdd;
  QPushButton* btLocalRemove;

  // the notification-area icon and the small progress window
  QSystemTrayIcon* ctrayApps;
  TfrmProgress* frmProgress;

  // ---- form state ---------------------------------------------------------
  std::vector<TJobFolder> RunFolderList;
  std::vector<std::string> IncludeExtList;
  std::vector<std::string> ExcludeExtList;
  std::string StoreFolder;
  std::string NetscapeMailDir, ThunderbirdMailDir;
  bool Running = false;
  std::atomic<std::uint8_t> StopRequested{0};
  std::string StatusText;
  std::string FindText;

  // ---- oMain.cpp: life of the window ----------------------------------------
  void FormCreate();
  void FormShow();
  void FormDestroy();
  // Sets canClose; the close question while running is the run's.
  void FormCloseQuery(bool& canClose);
  void btAboutClick();
  void btHelpClick();
  void btCancelClick();
  void pmnuItemHelpClick();
  void pmnuItemHelpReportaproblemClick();
  void pmnuItemHelpSendaSuggestionClick();
  void btOpenMailsClick();  // mozillapages.cpp
  // The button bar for a phase: before a run, running, finished.
  void SetIdleButtons(bool onWelcome);

  // ---- pages.cpp: Next, Back and the source pages ---------------------------
  void btNextClick();
  void btBackClick();
  void rbOEChooseProfileClick();
  void rbOEChooseFolderClick();
  void btChooseOECustomFolderClick();
  void btSaveDirClick();
  void Button2Click();
  bool processChooseOEFolder();
  void FillOEProfileList();
  // Builds ElTreeOE from StoreFolder's "folders.dbx"; throws when it cannot
  // be read.
  void BuildOEFolderTree();
  // Connects to Outlook and fills ElTreeOutLook; false when unreachable.
  bool ConnectOutlook();
  // Creates the destination, builds the extension lists and starts the run.
  void StartRun();
  // The current folder tree by the chosen source; nullptr for none.
  QTreeWidget* CurrentFolderTree() const;
  // The directory layout index of the checked layout radio button.
  int LayoutIndex();
  // The trimmed destination with a trailing '/'.
  std::string DestinationDir() const;

  // ---- runcontrol.cpp: the run ---------------------------------------------
  void InitRunControl();
  void ProcessOEExtraction();
  void ProcessOutlookExtraction();
  void RunFinished();
  void btToTrayClick();
  void ctrayAppsClick();
  void elTreeStatusDblClick();
  // The close question while a run is active.
  void RunningCloseQuery(bool& canClose);
  // IRunView: the worker's reports, on the UI thread.
  void AddLog(const std::string& line) override;
  void AddNotice(const std::string& text) override;
  void SetStatusText(const std::string& text) override;
  void SetProgressMax(int count) override;
  void SetProgressPosition(int value) override;
  void ShowFolderRow(int folderIndex) override;
  void UpdateFolderRow(const std::string& folderName, int folderIndex, int status, int extracted,
                       int messages, int total) override;
  std::unique_ptr<TRunState, TPartDeleter<TRunState>> RunState;

  // ---- settings.cpp: stored values -------------------------------------------
  void RestoreSettings();
  void SaveSettings();
  // The stored tick of a folder: selectionKey is "OEFolderSelection",
  // "OutlookFolderSelection", ...; name the folder's value name.
  bool IsFolderSelected(const std::string& selectionKey, const std::string& name) const;
  // Stores the ticks of every item of tree under selectionKey.
  void StoreFolderSelection(QTreeWidget* tree, const std::string& selectionKey);
  std::unique_ptr<TSettingsState, TPartDeleter<TSettingsState>> SettingsState;

  // ---- extlists.cpp: extension lists -------------------------------------------
  // Loads the stored lists, or on the first start ticks the shipped ones and
  // stores them.
  void InitExtensionLists();
  void LoadExtensionLists();
  void StoreExtensionLists();
  void btIncludeExtAddClick();
  void btIncludeExtEditClick();
  void btIncludeExtDeleteClick();
  void btExcludeExtAddClick();
  void btExcludeExtEditClick();
  void btExcludeExtDeleteClick();

  // ---- foldertrees.cpp: selecting and finding folders ---------------------------
  void btFolderSelectAllClick();
  void btFolderUnselectAllClick();
  void btFolderInverseClick();
  void btFindClick();
  void btFindNextClick();
  void ElTreeOEDblClick(QTreeWidgetItem* item);
  bool isOEItemsChecked() const;
  bool isOutlookItemsChecked() const;

  // ---- mozillapages.cpp: Netscape, Mozilla, Thunderbird ---------------------------
  void rbNSChooseFolderClick();
  void btChooseNSCustomFolderClick();
  // Fills elNSProfileList with the profiles of kind 0 (Netscape/Mozilla) or
  // 1 (Thunderbird).
  void FillNSProfileList(int kind);
  bool processChooseNSFolder(int kind);
  void ProcessNSExtraction();

  // ---- localpages.cpp: other mail folders ------------------------------------------
  // Fills ElTreeLocal with the Maildir stores found on this machine, the
  // Thunderbird profiles kept in maildir format and the paths added by hand.
  void BuildLocalFolderTree();
  // "Add folder or file...": a Maildir directory, an mbox file or a
  // directory of .eml files, shown ticked and kept for the next start.
  void btLocalAddClick();
  // "Remove from list": takes a path added by hand off the page and out of
  // the key store (the folder itself is left alone); enabled only for one.
  void btLocalRemoveClick();
  void UpdateLocalRemove();
  bool isLocalItemsChecked() const;
  void ProcessLocalExtraction();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // Escape asks to close, like the Close button.
  void reject() override;

 private:
  void BuildWindow();
  QWidget* BuildWelcome();
  QWidget* BuildOEChoose();
  QWidget* BuildFolderPage(const QString& name, QTreeWidget*& tree, QPushButton*& all,
                           QPushButton*& inverse, QPushButton*& none, QPushButton*& find,
                           QPushButton*& findNext, const char* const names[5]);
  QWidget* BuildOptions();
  QWidget* BuildOptions2();
  QWidget* BuildProcessing();
  QWidget* BuildNetscapeChoose();
  QWidget* BuildNSFolderSelect();
  QWidget* BuildLocalFolderSelect();
  void ConnectHandlers();
  // The control that takes the keyboard focus when page is shown.
  QWidget* FirstControl(QWidget* page) const;

  IDesktop& desktop_;
  TKeyStore& store_;
  TWizardOptions options_;
  bool shownOnce_ = false;
  bool destroyed_ = false;
  // Outlook as the program sees it: the .pst stores (TWizardOptions::PstOutlook).
  std::optional<ole::TScopedOutlookProvider> outlookProvider_;
};

}  // namespace qb::wiz
