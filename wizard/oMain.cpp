#include "wizard/oMain.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "outlook/pstprovider.h"
#include "platform/keystore.h"
#include "platform/paths.h"
#include "wizard/desktop.h"
#include "wizard/periphery.h"
#include "wizard/uitext.h"

namespace qb::wiz {

namespace {

constexpr int kStripWidth = 150;
constexpr int kPageWidth = 560;
constexpr int kPageHeight = 400;

QString Q(const char* text) {
  return QString::fromUtf8(text);
}

template <class W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

QLabel* Heading(QWidget* parent, const QString& text) {
  auto* label = new QLabel(text, parent);
  QFont f = label->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.35);
  label->setFont(f);
  return label;
}

QLabel* SubHeading(QWidget* parent, const QString& text) {
  auto* label = new QLabel(text, parent);
  QFont f = label->font();
  f.setBold(true);
  label->setFont(f);
  return label;
}

QWidget* NewPage(QStackedWidget* stack, const char* name) {
  auto* page = Named(new QWidget(stack), name);
  stack->addWidget(page);
  return page;
}

QTreeWidget* NewProfileList(QWidget* parent, const char* name) {
  auto* list = Named(new QTreeWidget(parent), name);
  list->setColumnCount(2);
  list->setHeaderLabels({Tr("User Name"), Tr("Directory")});
  list->setRootIsDecorated(false);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->header()->setStretchLastSection(true);
  list->setColumnWidth(0, 160);
  return list;
}

QTreeWidget* NewFolderTree(QWidget* parent, const char* name) {
  auto* tree = Named(new QTreeWidget(parent), name);
  tree->setColumnCount(1);
  tree->setHeaderHidden(true);
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  tree->setExpandsOnDoubleClick(false);
  return tree;
}

}  // namespace

// ---- TFolderItem -------------------------------------------------------------

bool TFolderItem::HasCheckBox() const {
  return flags() & Qt::ItemIsUserCheckable;
}

void TFolderItem::SetCheckBox(bool visibleAndEnabled) {
  const bool ticked = Ticked();
  if (visibleAndEnabled) {
    setFlags(flags() | Qt::ItemIsUserCheckable);
    setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
  } else {
    setFlags(flags() & ~Qt::ItemIsUserCheckable);
    setData(0, Qt::CheckStateRole, QVariant());
    hiddenTick_ = ticked;
  }
}

bool TFolderItem::Ticked() const {
  return HasCheckBox() ? checkState(0) == Qt::Checked : hiddenTick_;
}

void TFolderItem::SetTicked(bool ticked) {
  if (HasCheckBox())
    setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
  else
    hiddenTick_ = ticked;
}

TJobFolder TFolderItem::JobFolder() const {
  if (OE) return TJobFolder{OE->FolderName, OE->FileName, "", ""};
  if (Outlook) return Outlook->ToJobFolder();
  if (NS) return TJobFolder{text(0).toStdString(), NS->Path, "", ""};
  if (Local) return TJobFolder{text(0).toStdString(), Local->Path, "", ""};
  return TJobFolder{text(0).toStdString(), "", "", ""};
}

TFolderItem* TFolderItem::From(QTreeWidgetItem* item) {
  return item && item->type() == kType ? static_cast<TFolderItem*>(item) : nullptr;
}

std::vector<TFolderItem*> AllFolderItems(QTreeWidget* tree) {
  std::vector<TFolderItem*> items;
  if (!tree) return items;
  for (QTreeWidgetItemIterator it(tree); *it; ++it)
    if (TFolderItem* item = TFolderItem::From(*it)) items.push_back(item);
  return items;
}

// ---- construction ------------------------------------------------------------

TfrmOEMain::TfrmOEMain(IDesktop& desktop, TKeyStore& store, TWizardOptions options, QWidget* parent)
    : QDialog(parent), desktop_(desktop), store_(store), options_(options) {
  setObjectName(Q("frmOEMain"));
  BuildWindow();
  ConnectHandlers();
  FormCreate();
}

TfrmOEMain::~TfrmOEMain() {
  FormDestroy();
  delete frmProgress;
}

void TfrmOEMain::BuildWindow() {
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(ProductIcon());

  auto* outer = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->setSpacing(12);
  imgStrip = Named(new QLabel(this), "imgStrip");
  imgStrip->setPixmap(PictureStrip(kStripWidth, kPageHeight));
  imgStrip->setFixedSize(kStripWidth, kPageHeight);
  top->addWidget(imgStrip);

  nbOE = Named(new QStackedWidget(this), "nbOE");
  nbOE->setFixedSize(kPageWidth, kPageHeight);
  Welcome = BuildWelcome();
  OEChoose = BuildOEChoose();
  static const char* const oeNames[5] = {"btFolderSelectAll", "btFolderInverse",
                                         "btFolderUnselectAll", "btFind", "btFindNext"};
  OEFolderSelect =
      BuildFolderPage(Q("OEFolderSelect"), ElTreeOE, btFolderSelectAll, btFolderInverse,
                      btFolderUnselectAll, btFind, btFindNext, oeNames);
  ElTreeOE->setObjectName(Q("ElTreeOE"));
  Options = BuildOptions();
  Options2 = BuildOptions2();
  Processing = BuildProcessing();
  Finish = NewPage(nbOE, "Finish");
  static const char* const olNames[5] = {"btOutlookSelectAll", "btOutlookInverse",
                                         "btOutlookUnSelectAll", "btOutlookFind",
                                         "btOutlookFindNext"};
  OutlookChoose =
      BuildFolderPage(Q("OutlookChoose"), ElTreeOutLook, btOutlookSelectAll, btOutlookInverse,
                      btOutlookUnSelectAll, btOutlookFind, btOutlookFindNext, olNames);
  ElTreeOutLook->setObjectName(Q("ElTreeOutLook"));
  NetscapeChoose = BuildNetscapeChoose();
  NSFolderSelect = BuildNSFolderSelect();
  emlChoose = NewPage(nbOE, "emlChoose");
  LocalFolderSelect = BuildLocalFolderSelect();
  top->addWidget(nbOE);
  outer->addLayout(top);

  auto* rule = new QFrame(this);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  outer->addWidget(rule);

  auto* bar = new QHBoxLayout;
  btAbout = Named(new QPushButton(Tr("About"), this), "btAbout");
  btToTray = Named(new QPushButton(Tr("To Tray"), this), "btToTray");
  btHelp = Named(new QPushButton(Tr("Help"), this), "btHelp");
  btBack = Named(new QPushButton(Tr("< &Back"), this), "btBack");
  btNext = Named(new QPushButton(Tr("Next &>"), this), "btNext");
  btCancel = Named(new QPushButton(Tr("Close"), this), "btCancel");
  btNext->setDefault(true);
  btToTray->hide();
  btBack->setEnabled(false);
  bar->addWidget(btAbout);
  bar->addWidget(btToTray);
  bar->addWidget(btHelp);
  bar->addStretch();
  bar->addWidget(btBack);
  bar->addWidget(btNext);
  bar->addSpacing(12);
  bar->addWidget(btCancel);
  outer->addLayout(bar);

  pmnuHelp = Named(new QMenu(this), "pmnuHelp");
  pmnuItemHelp = pmnuHelp->addAction(Tr("Help"));
  pmnuItemHelp->setObjectName(Q("pmnuItemHelp"));
  pmnuHelp->addSeparator();
  pmnuItemHelpReportaproblem = pmnuHelp->addAction(Tr("Report a problem"));
  pmnuItemHelpReportaproblem->setObjectName(Q("pmnuItemHelpReportaproblem"));
  pmnuItemHelpSendaSuggestion = pmnuHelp->addAction(Tr("Send a Suggestion"));
  pmnuItemHelpSendaSuggestion->setObjectName(Q("pmnuItemHelpSendaSuggestion"));

  ctrayApps = new QSystemTrayIcon(ProductIcon(), this);
  ctrayApps->setObjectName(Q("ctrayApps"));
  ctrayApps->setToolTip(Q(kProductName));
  frmProgress = new TfrmProgress(this);

  setFixedSize(sizeHint());
}

QWidget* TfrmOEMain::BuildWelcome() {
  QWidget* page = NewPage(nbOE, "Welcome");
  auto* v = new QVBoxLayout(page);
  v->addWidget(Heading(page, Tr("Welcome to Quillbox")));
  v->addSpacing(8);
  v->addWidget(new QLabel(Tr("Please select the type  of Mailbox you have:"), page));
  grpSource = new QButtonGroup(page);
  auto radio = [&](QRadioButton*& rb, const char* name, const QString& caption, bool visible) {
    rb = Named(new QRadioButton(caption, page), name);
    grpSource->addButton(rb);
    v->addWidget(rb);
    rb->setVisible(visible);
  };
  radio(rbOE, "rbOE", Tr("Outlook Express 5/5.5/6"), true);
  radio(rbOutlook, "rbOutlook", Tr("Outlook 97'/2000/XP"), true);
  radio(rbNS, "rbNS", Tr("Netscape 6/7 , Mozilla"), true);
  radio(rbTB, "rbTB", Tr("Mozilla Thunderbird"), true);
  radio(rbLocalMail, "rbLocalMail", Tr("Other mail folders (Maildir, mbox or .eml files)"), true);
  radio(rbMbox, "rbMbox", Tr("MBox Compatible Clients (Netscape, Mozilla, Pine, Mutt etc)"), false);
  radio(rbEML, "rbEML", Tr("*.eml / *.msg Files"), false);
  rbOE->setChecked(true);
  v->addSpacing(16);
  cbGetEmbbededImages = Named(new QCheckBox(Tr("Download  embedded Images from Internet."), page),
                              "cbGetEmbbededImages");
  cbGetEmbbededImages->setChecked(true);
  v->addWidget(cbGetEmbbededImages);
  auto* row = new QHBoxLayout;
  cbGetEmails =
      Named(new QCheckBox(Tr("Get Email addresses  from the Mails"), page), "cbGetEmails");
  cbGetEmails->setChecked(true);
  btOpenMails = Named(new QPushButton(Tr("View Grabbed Emails"), page), "btOpenMails");
  row->addWidget(cbGetEmails);
  row->addStretch();
  row->addWidget(btOpenMails);
  v->addLayout(row);
  v->addStretch();
  return page;
}

QWidget* TfrmOEMain::BuildOEChoose() {
  QWidget* page = NewPage(nbOE, "OEChoose");
  auto* v = new QVBoxLayout(page);
  v->addWidget(Heading(page, Tr("Choose the Profile / Directory")));
  auto* group = new QButtonGroup(page);
  rbOEChooseFolder = Named(new QRadioButton(Tr("Choose Outlook Express Folder directly."), page),
                           "rbOEChooseFolder");
  group->addButton(rbOEChooseFolder);
  v->addWidget(rbOEChooseFolder);
  auto* row = new QHBoxLayout;
  txtOECustomFolder =
      Named(new QLineEdit(Tr("Choose the Outlook Express Mail Folder"), page), "txtOECustomFolder");
  txtOECustomFolder->setEnabled(false);
  btChooseOECustomFolder = Named(new QPushButton(Q("..."), page), "btChooseOECustomFolder");
  btChooseOECustomFolder->setEnabled(false);
  btChooseOECustomFolder->setFixedWidth(32);
  row->addSpacing(20);
  row->addWidget(txtOECustomFolder);
  row->addWidget(btChooseOECustomFolder);
  v->addLayout(row);
  v->addSpacing(8);
  rbOEChooseProfile =
      Named(new QRadioButton(Tr("Choose a Outlook Express Profile."), page), "rbOEChooseProfile");
  group->addButton(rbOEChooseProfile);
  rbOEChooseProfile->setChecked(true);
  v->addWidget(rbOEChooseProfile);
  elOEProfileList = NewProfileList(page, "elOEProfileList");
  v->addWidget(elOEProfileList, 1);
  return page;
}

QWidget* TfrmOEMain::BuildFolderPage(const QString& name, QTreeWidget*& tree, QPushButton*& all,
                                     QPushButton*& inverse, QPushButton*& none, QPushButton*& find,
                                     QPushButton*& findNext, const char* const names[5]) {
  QWidget* page = NewPage(nbOE, name.toLatin1().constData());
  auto* v = new QVBoxLayout(page);
  v->addWidget(Heading(page, Tr("Choose the Folders for Extraction")));
  tree = NewFolderTree(page, "");
  v->addWidget(tree, 1);
  auto* row = new QHBoxLayout;
  all = Named(new QPushButton(Tr("Select All"), page), names[0]);
  inverse = Named(new QPushButton(Tr("Inverse"), page), names[1]);
  none = Named(new QPushButton(Tr("Unselect All"), page), names[2]);
  find = Named(new QPushButton(Tr("Find"), page), names[3]);
  findNext = Named(new QPushButton(Tr("Find Next"), page), names[4]);
  for (QPushButton* b : {all, inverse, none}) row->addWidget(b);
  row->addStretch();
  row->addWidget(find);
  row->addWidget(findNext);
  v->addLayout(row);
  return page;
}

QWidget* TfrmOEMain::BuildOptions() {
  QWidget* page = NewPage(nbOE, "Options");
  auto* v = new QVBoxLayout(page);
  v->addWidget(Heading(page, Tr("Extraction Options")));
  auto* dates = new QHBoxLayout;
  cbUseDate = Named(new QCheckBox(Tr("Use Date Interval"), page), "cbUseDate");
  dtpFrom = Named(new QDateEdit(QDate::currentDate(), page), "dtpFrom");
  dtpTo = Named(new QDateEdit(QDate::currentDate(), page), "dtpTo");
  for (QDateEdit* d : {dtpFrom, dtpTo}) {
    d->setCalendarPopup(true);
    d->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
  }
  dates->addWidget(cbUseDate);
  dates->addWidget(dtpFrom);
  dates->addWidget(new QLabel(Tr("to"), page));
  dates->addWidget(dtpTo);
  dates->addStretch();
  v->addLayout(dates);
  v->addSpacing(6);
  v->addWidget(SubHeading(page, Tr("Attachment Extension Options")));
  auto* group = new QButtonGroup(page);
  rbAllDoc = Named(new QRadioButton(Tr("Extract ALL the Files."), page), "rbAllDoc");
  rbSelectedDoc =
      Named(new QRadioButton(Tr("Extract ONLY Selected extensions."), page), "rbSelectedDoc");
  group->addButton(rbAllDoc);
  group->addButton(rbSelectedDoc);
  rbAllDoc->setChecked(true);
  v->addWidget(rbAllDoc);
  v->addWidget(rbSelectedDoc);

  auto* lists = new QHBoxLayout;
  auto column = [&](const QString& heading, QListWidget*& list, const char* listName,
                    QPushButton*& add, const char* addName, QPushButton*& edit,
                    const char* editName, QPushButton*& del, const char* delName) {
    auto* c = new QVBoxLayout;
    c->addWidget(SubHeading(page, heading));
    list = Named(new QListWidget(page), listName);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    c->addWidget(list, 1);
    auto* buttons = new QHBoxLayout;
    add = Named(new QPushButton(Tr("Add"), page), addName);
    edit = Named(new QPushButton(Tr("Edit"), page), editName);
    del = Named(new QPushButton(Tr("Delete"), page), delName);
    buttons->addWidget(add);
    buttons->addWidget(edit);
    buttons->addWidget(del);
    c->addLayout(buttons);
    lists->addLayout(c);
  };
  column(Tr("Include List"), lbIncludeExtensions, "lbIncludeExtensions", btIncludeExtAdd,
         "btIncludeExtAdd", btIncludeExtEdit, "btIncludeExtEdit", btIncludeExtDelete,
         "btIncludeExtDelete");
  column(Tr("Exclude List"), lbExcludeExtensions, "lbExcludeExtensions", btExcludeExtAdd,
         "btExcludeExtAdd", btExcludeExtEdit, "btExcludeExtEdit", btExcludeExtDelete,
         "btExcludeExtDelete");
  v->addLayout(lists, 1);

  cmbSelector = Named(new QComboBox(page), "cmbSelector");
  const QString separator(40, QLatin1Char('-'));
  cmbSelector->addItems({separator, Tr("Select All Images"), Tr("UnSelect All Images"), separator,
                         Tr("Select All Popular Videos"), Tr("UnSelect Popular Videos"), separator,
                         Tr("Select All Video"), Tr("UnSelect All Video"), separator,
                         Tr("Select All Documents"), Tr("UnSelect All Documents"), separator,
                         Tr("Select All Files"), Tr("UnSelect All Files"), separator, QString()});
  cmbSelector->setCurrentIndex(1);
  cmbSelector->hide();
  return page;
}

QWidget* TfrmOEMain::BuildOptions2() {
  QWidget* page = NewPage(nbOE, "Options2");
  auto* v = new QVBoxLayout(page);
  v->addWidget(Heading(page, Tr("Attachment Saving Options")));
  v->addWidget(SubHeading(page, Tr("Directory to Save")));
  auto* row = new QHBoxLayout;
  txtOEDir = Named(new QLineEdit(QDir::homePath() + Q("/Attachments/"), page), "txtOEDir");
  txtOEDir->setReadOnly(true);
  btSaveDir = Named(new QPushButton(Q("..."), page), "btSaveDir");
  btSaveDir->setFixedWidth(32);
  row->addWidget(txtOEDir);
  row->addWidget(btSaveDir);
  v->addLayout(row);
  cbUseFullFilename = Named(new QCheckBox(Tr("Create full filename instead of Directory"), page),
                            "cbUseFullFilename");
  cbUseFullFilename->setChecked(true);
  v->addWidget(cbUseFullFilename);
  v->addWidget(SubHeading(page, Tr("File  Formats")));
  grpLayout = new QButtonGroup(page);
  auto* grid = new QGridLayout;
  int n = 0;
  auto layoutRadio = [&](QRadioButton*& rb, const char* name, const QString& caption) {
    rb = Named(new QRadioButton(caption, page), name);
    grpLayout->addButton(rb);
    grid->addWidget(rb, n, 0);
    ++n;
  };
  layoutRadio(rb_DA_OF, "rb_DA_OF", Tr("Date\\Original Filename of Attachment"));
  layoutRadio(rb_DA_SU_OF, "rb_DA_SU_OF", Tr("Date\\Subject\\Original Filename of Attachment"));
  layoutRadio(rb_DA_SE_SU_OF, "rb_DA_SE_SU_OF",
              Tr("Date\\Sender\\Subject\\Original Filename of Attachment"));
  layoutRadio(rb_SE_DA_OF, "rb_SE_DA_OF", Tr("Sender\\Date\\Original Filename of Attachment"));
  layoutRadio(rb_SE_DA_SU_OF, "rb_SE_DA_SU_OF",
              Tr("Sender\\Date\\Subject\\Original Filename of Attachment"));
  layoutRadio(rb_SU_DA_SE_OF, "rb_SU_DA_SE_OF",
              Tr("Subject\\Date\\Sender\\Original Filename of Attachment"));
  layoutRadio(rb_SU_SE_DA_OF, "rb_SU_SE_DA_OF",
              Tr("Subject\\Sender\\Date\\Original Filename of Attachment"));
  grid->setVerticalSpacing(1);
  rb_DA_OF->setChecked(true);
  v->addLayout(grid);
  v->addWidget(SubHeading(page, Tr("Completion Notification")));
  auto* sound = new QHBoxLayout;
  txtWavFile = Named(new QLineEdit(Q("ok.wav"), page), "txtWavFile");
  txtWavFile->setReadOnly(true);
  Button2 = Named(new QPushButton(Q("..."), page), "Button2");
  Button2->setFixedWidth(32);
  sound->addWidget(txtWavFile);
  sound->addWidget(Button2);
  v->addLayout(sound);
  v->addWidget(SubHeading(page, Tr("Extraction Options")));
  cbSkipDuplicates =
      Named(new QCheckBox(Tr("Skip previously extracted attachments."), page), "cbSkipDuplicates");
  cbSkipDuplicates->setChecked(true);
  v->addWidget(cbSkipDuplicates);
  cbWriteReport = Named(new QCheckBox(Tr("Write a report of the run"), page), "cbWriteReport");
  v->addWidget(cbWriteReport);
  v->addStretch();
  return page;
}

QWidget* TfrmOEMain::BuildProcessing() {
  QWidget* page = NewPage(nbOE, "Processing");
  auto* v = new QVBoxLayout(page);
  auto* head = new QHBoxLayout;
  head->addWidget(Heading(page, Tr("Extraction Details")), 1);
  aniImage = Named(new QLabel(page), "aniImage");
  aniImage->setFixedSize(32, 32);
  head->addWidget(aniImage);
  v->addLayout(head);
  lbOEStatus = Named(new QLabel(Tr("Ready..."), page), "lbOEStatus");
  lbOEStatus->setWordWrap(true);
  lbOEStatus->setFixedHeight(lbOEStatus->fontMetrics().lineSpacing() * 2 + 2);
  v->addWidget(lbOEStatus);
  pbOE = Named(new QProgressBar(page), "pbOE");
  pbOE->setRange(0, 100);
  pbOE->setValue(0);
  v->addWidget(pbOE);
  elTreeStatus = Named(new QTreeWidget(page), "elTreeStatus");
  elTreeStatus->setColumnCount(5);
  elTreeStatus->setHeaderLabels(
      {Tr("Mail Folder"), Tr("Total"), Tr("Msgs"), Tr("Extracted"), Tr("Status")});
  elTreeStatus->setRootIsDecorated(false);
  elTreeStatus->setUniformRowHeights(true);
  elTreeStatus->setColumnWidth(0, 170);
  for (int c = 1; c <= 3; ++c) elTreeStatus->setColumnWidth(c, 70);
  v->addWidget(elTreeStatus, 3);
  txtLogs = Named(new QPlainTextEdit(page), "txtLogs");
  txtLogs->setReadOnly(true);
  txtLogs->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtLogs->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  v->addWidget(txtLogs, 2);
  return page;
}

QWidget* TfrmOEMain::BuildNetscapeChoose() {
  QWidget* page = NewPage(nbOE, "NetscapeChoose");
  auto* v = new QVBoxLayout(page);
  v->addWidget(Heading(page, Tr("Choose the Profile / Directory")));
  auto* group = new QButtonGroup(page);
  rbNSChooseFolder =
      Named(new QRadioButton(Tr("Choose Netscape Folder directly."), page), "rbNSChooseFolder");
  group->addButton(rbNSChooseFolder);
  v->addWidget(rbNSChooseFolder);
  auto* row = new QHBoxLayout;
  txtNSCustomFolder = Named(new QLineEdit(Tr("Choose the the Netscape/Mozilla  Mails Dirs"), page),
                            "txtNSCustomFolder");
  txtNSCustomFolder->setEnabled(false);
  btChooseNSCustomFolder = Named(new QPushButton(Q("..."), page), "btChooseNSCustomFolder");
  btChooseNSCustomFolder->setEnabled(false);
  btChooseNSCustomFolder->setFixedWidth(32);
  row->addSpacing(20);
  row->addWidget(txtNSCustomFolder);
  row->addWidget(btChooseNSCustomFolder);
  v->addLayout(row);
  v->addSpacing(8);
  rbNSChooseProfile =
      Named(new QRadioButton(Tr("Choose a Netscape Profile."), page), "rbNSChooseProfile");
  group->addButton(rbNSChooseProfile);
  rbNSChooseProfile->setChecked(true);
  v->addWidget(rbNSChooseProfile);
  elNSProfileList = NewProfileList(page, "elNSProfileList");
  v->addWidget(elNSProfileList, 1);
  return page;
}

QWidget* TfrmOEMain::BuildNSFolderSelect() {
  QWidget* page = NewPage(nbOE, "NSFolderSelect");
  auto* v = new QVBoxLayout(page);
  v->addWidget(Heading(page, Tr("Netscape")));
  ElTreeNS = NewFolderTree(page, "ElTreeNS");
  v->addWidget(ElTreeNS, 1);
  return page;
}

QWidget* TfrmOEMain::BuildLocalFolderSelect() {
  QWidget* page = NewPage(nbOE, "LocalFolderSelect");
  auto* v = new QVBoxLayout(page);
  v->addWidget(Heading(page, Tr("Choose the Folders for Extraction")));
  ElTreeLocal = NewFolderTree(page, "ElTreeLocal");
  v->addWidget(ElTreeLocal, 1);
  auto* row = new QHBoxLayout;
  btLocalAdd = Named(new QPushButton(Tr("Add folder or file..."), page), "btLocalAdd");
  row->addWidget(btLocalAdd);
  btLocalRemove = Named(new QPushButton(Tr("Remove from list"), page), "btLocalRemove");
  btLocalRemove->setEnabled(false);
  row->addWidget(btLocalRemove);
  row->addStretch();
  v->addLayout(row);
  return page;
}

void TfrmOEMain::ConnectHandlers() {
  auto on = [this](QPushButton* b, void (TfrmOEMain::*handler)()) {
    connect(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
  };
  on(btAbout, &TfrmOEMain::btAboutClick);
  on(btToTray, &TfrmOEMain::btToTrayClick);
  on(btHelp, &TfrmOEMain::btHelpClick);
  on(btBack, &TfrmOEMain::btBackClick);
  on(btNext, &TfrmOEMain::btNextClick);
  on(btCancel, &TfrmOEMain::btCancelClick);
  on(btOpenMails, &TfrmOEMain::btOpenMailsClick);
  connect(pmnuItemHelp, &QAction::triggered, this, [this] { pmnuItemHelpClick(); });
  connect(pmnuItemHelpReportaproblem, &QAction::triggered, this,
          [this] { pmnuItemHelpReportaproblemClick(); });
  connect(pmnuItemHelpSendaSuggestion, &QAction::triggered, this,
          [this] { pmnuItemHelpSendaSuggestionClick(); });

  connect(rbOEChooseProfile, &QRadioButton::clicked, this, [this] { rbOEChooseProfileClick(); });
  connect(rbOEChooseFolder, &QRadioButton::clicked, this, [this] { rbOEChooseFolderClick(); });
  on(btChooseOECustomFolder, &TfrmOEMain::btChooseOECustomFolderClick);
  on(btSaveDir, &TfrmOEMain::btSaveDirClick);
  on(Button2, &TfrmOEMain::Button2Click);

  for (QPushButton* b : {btFolderSelectAll, btOutlookSelectAll})
    on(b, &TfrmOEMain::btFolderSelectAllClick);
  for (QPushButton* b : {btFolderUnselectAll, btOutlookUnSelectAll})
    on(b, &TfrmOEMain::btFolderUnselectAllClick);
  for (QPushButton* b : {btFolderInverse, btOutlookInverse})
    on(b, &TfrmOEMain::btFolderInverseClick);
  for (QPushButton* b : {btFind, btOutlookFind}) on(b, &TfrmOEMain::btFindClick);
  for (QPushButton* b : {btFindNext, btOutlookFindNext}) on(b, &TfrmOEMain::btFindNextClick);
  on(btLocalAdd, &TfrmOEMain::btLocalAddClick);
  on(btLocalRemove, &TfrmOEMain::btLocalRemoveClick);
  connect(ElTreeLocal, &QTreeWidget::currentItemChanged, this, [this] { UpdateLocalRemove(); });
  for (QTreeWidget* t : {ElTreeOE, ElTreeOutLook, ElTreeNS, ElTreeLocal})
    connect(t, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { ElTreeOEDblClick(item); });

  on(btIncludeExtAdd, &TfrmOEMain::btIncludeExtAddClick);
  on(btIncludeExtEdit, &TfrmOEMain::btIncludeExtEditClick);
  on(btIncludeExtDelete, &TfrmOEMain::btIncludeExtDeleteClick);
  on(btExcludeExtAdd, &TfrmOEMain::btExcludeExtAddClick);
  on(btExcludeExtEdit, &TfrmOEMain::btExcludeExtEditClick);
  on(btExcludeExtDelete, &TfrmOEMain::btExcludeExtDeleteClick);
  connect(lbIncludeExtensions, &QListWidget::itemDoubleClicked, this,
          [this] { btIncludeExtEditClick(); });
  connect(lbExcludeExtensions, &QListWidget::itemDoubleClicked, this,
          [this] { btExcludeExtEditClick(); });

  connect(rbNSChooseProfile, &QRadioButton::clicked, this, [this] { rbNSChooseFolderClick(); });
  connect(rbNSChooseFolder, &QRadioButton::clicked, this, [this] { rbNSChooseFolderClick(); });
  on(btChooseNSCustomFolder, &TfrmOEMain::btChooseNSCustomFolderClick);

  connect(elTreeStatus, &QTreeWidget::itemDoubleClicked, this, [this] { elTreeStatusDblClick(); });
  connect(ctrayApps, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason r) {
            if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick)
              ctrayAppsClick();
          });
}

// ---- life of the window ------------------------------------------------------

void TfrmOEMain::FormCreate() {
  setWindowTitle(Q(kProductTitle));
  // The About box comes first, before the main window is shown.
  desktop_.ShowAbout(nullptr);
  // The manual opens beside the wizard; a missing one says nothing.
  if (const std::string help = HelpFilePath(); FileExists(help))
    desktop_.OpenPath(QString::fromStdString(help));
  // First start: the shipped completion sound.
  try {
    if (store_.ReadString("Software\\Quillbox", "StartValue") != "1.0") {
      store_.WriteString("Software\\Quillbox", "StartValue", "1.0");
      txtWavFile->setText(QString::fromStdString(ProgramDataDir() + "/OnOK.WAV"));
    }
  } catch (const std::exception&) {
    // A damaged value or a store that cannot be written keeps the defaults.
  }
  IncludeExtList.clear();
  ExcludeExtList.clear();
  RunFolderList.clear();
  StopRequested = 0;
  ShowPage(Welcome);
  Running = false;
  SetIdleButtons(true);
  if (options_.PstOutlook) outlookProvider_.emplace(ole::PstApplicationFactory({}, true));
  InitRunControl();
  InitExtensionLists();
  if (options_.IdlePriority) SetIdlePriority(store_);
}

void TfrmOEMain::FormShow() {
  RestoreSettings();
}

void TfrmOEMain::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The stored values are applied once, when the window first appears;
  // coming back from the notification area keeps what the user set since.
  if (!shownOnce_) {
    shownOnce_ = true;
    FormShow();
    // The manual's viewer may have come up meanwhile: the keyboard stays here.
    raise();
    activateWindow();
  }
}

void TfrmOEMain::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  SaveSettings();
  StoreExtensionLists();
  for (QTreeWidget* tree : {ElTreeOE, ElTreeOutLook, ElTreeNS, ElTreeLocal}) tree->clear();
  RunFolderList.clear();
  IncludeExtList.clear();
  ExcludeExtList.clear();
}

void TfrmOEMain::closeEvent(QCloseEvent* event) {
  bool canClose = true;
  FormCloseQuery(canClose);
  if (canClose)
    event->accept();
  else
    event->ignore();
}

void TfrmOEMain::reject() {
  close();
}

void TfrmOEMain::FormCloseQuery(bool& canClose) {
  if (Running) {
    RunningCloseQuery(canClose);
    return;
  }
  canClose = desktop_.Confirm(this, Tr("Do you really want to close the program ?"));
}

void TfrmOEMain::btCancelClick() {
  close();
}

void TfrmOEMain::btAboutClick() {
  desktop_.ShowAbout(this);
}

void TfrmOEMain::btHelpClick() {
  pmnuHelp->popup(btHelp->mapToGlobal(QPoint(0, btHelp->height())));
}

void TfrmOEMain::pmnuItemHelpClick() {
  // A missing manual is not reported.
  const std::string help = HelpFilePath();
  if (FileExists(help)) desktop_.OpenPath(QString::fromStdString(help));
}

void TfrmOEMain::pmnuItemHelpReportaproblemClick() {
  desktop_.OpenPath(Q(kSupportUrl));
}

void TfrmOEMain::pmnuItemHelpSendaSuggestionClick() {
  desktop_.OpenPath(Q(kSupportUrl));
}

void TfrmOEMain::SetIdleButtons(bool onWelcome) {
  btBack->setEnabled(!onWelcome);
  btNext->setEnabled(true);
  btHelp->show();
  btToTray->hide();
}

QString TfrmOEMain::CurrentPageName() const {
  QWidget* page = nbOE->currentWidget();
  return page ? page->objectName() : QString();
}

QWidget* TfrmOEMain::Page(const QString& name) const {
  for (int i = 0; i < nbOE->count(); ++i)
    if (nbOE->widget(i)->objectName() == name) return nbOE->widget(i);
  return nullptr;
}

void TfrmOEMain::ShowPage(QWidget* page) {
  if (!page) return;
  nbOE->setCurrentWidget(page);
  if (QWidget* first = FirstControl(page)) first->setFocus(Qt::OtherFocusReason);
}

QWidget* TfrmOEMain::FirstControl(QWidget* page) const {
  if (page == Welcome) return grpSource->checkedButton() ? grpSource->checkedButton() : rbOE;
  if (page == OEChoose)
    return rbOEChooseFolder->isChecked() ? static_cast<QWidget*>(rbOEChooseFolder)
                                         : elOEProfileList;
  if (page == OEFolderSelect) return ElTreeOE;
  if (page == OutlookChoose) return ElTreeOutLook;
  if (page == Options) return cbUseDate;
  if (page == Options2) return cbUseFullFilename;
  if (page == Processing) return elTreeStatus;
  if (page == NetscapeChoose)
    return rbNSChooseFolder->isChecked() ? static_cast<QWidget*>(rbNSChooseFolder)
                                         : elNSProfileList;
  if (page == NSFolderSelect) return ElTreeNS;
  if (page == LocalFolderSelect) return ElTreeLocal;
  return nullptr;
}

}  // namespace qb::wiz
