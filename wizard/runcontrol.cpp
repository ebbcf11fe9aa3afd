// A run seen from the window: starting the worker with the job built from
// the window's state, the worker's reports, the finishing steps, the close
// question while running, the notification area and the status list's
// double click.
#include "wizard/runcontrol.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSystemTrayIcon>
#include <QTreeWidget>

#include "maildir/localworker.h"
#include "mbox/mboxworker.h"
#include "oestore/oOExpressThrd.h"
#include "outlook/oOutlookThrd.h"
#include "platform/datetime.h"
#include "platform/i18n.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "wizard/desktop.h"
#include "wizard/oMain.h"
#include "wizard/periphery.h"
#include "wizard/uitext.h"

namespace qb::wiz {

template <>
void TPartDeleter<TRunState>::operator()(TRunState* p) const {
  delete p;
}

TRunState::TRunState(TfrmOEMain& w)
    : View(*w.txtLogs, *w.lbOEStatus, *w.pbOE, *w.elTreeStatus),
      Animation(*w.aniImage),
      TrayAvailable([] { return QSystemTrayIcon::isSystemTrayAvailable(); }),
      window_(w) {}

TRunState::~TRunState() {
  // A window taken down without its close question (the program ending
  // otherwise) still lets a run end first: the worker reports into it.
  if (window_.Running) {
    window_.StopRequested.store(1);
    while (window_.Running)
      QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

namespace {

const char* const kStopQuestion = N_("Program is Extracting attachments. Do you want to stop it ?");
const char* const kFinishedText = N_("Finished with Extraction.");

enum class TSource { OutlookExpress, Outlook, Mozilla, Thunderbird, LocalMail };

TDateTime DateOf(const QDateEdit& picker) {
  const QDate d = picker.date();
  return EncodeDate(d.year(), d.month(), d.day());
}

std::vector<std::string> Entries(const QListWidget& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.count(); ++i) out.push_back(FromUi(list.item(i)->text()));
  return out;
}

// The one place where a run's worker is made and started: it frees itself
// when it ends and RunFinished is its termination handler. False when the
// worker could not be made.
bool StartWorker(TfrmOEMain& window, TSource source, const TExtractionJob& job) {
  TThread* worker = nullptr;
  try {
    if (source == TSource::OutlookExpress)
      worker = new TOEExtracter(job);
    else if (source == TSource::Outlook)
      worker = new TOutlookExtracter(job);
    else if (source == TSource::LocalMail)
      worker = new TLocalMailExtracter(job);
    else
      worker = new TMboxExtracter(
          job, source == TSource::Thunderbird ? TMailFamily::Thunderbird : TMailFamily::Mozilla);
  } catch (const std::exception& e) {
    window.AddLog(e.what());
    return false;
  }
  worker->FreeOnTerminate = true;
  worker->OnTerminate = [&window](TThread& ended) {
    if (const auto* run = dynamic_cast<const TExtractionWorker*>(&ended))
      window.RunState->Summary = run->Summary();
    window.RunFinished();
  };
  worker->Resume();
  return true;
}

}  // namespace

void TfrmOEMain::InitRunControl() {
  RunState.reset(new TRunState(*this));
  SetUpStatusList(*elTreeStatus);
  txtLogs->setReadOnly(true);
  txtLogs->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtLogs->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtLogs->setUndoRedoEnabled(false);
  lbOEStatus->setWordWrap(true);
  lbOEStatus->setText(Tr("Ready..."));
  pbOE->setRange(0, 100);
  pbOE->setValue(0);
}

// ---- starting a run ---------------------------------------------------------

namespace {

// The folder below the destination of a run over other mail folders: the
// kind of what is ticked when it is all of one kind, else "maildir/".
TSourceKind LocalSourceKind(QTreeWidget* tree) {
  std::optional<TMailPathKind> kind;
  for (TFolderItem* item : AllFolderItems(tree)) {
    if (!item->Ticked() || !item->Local || item->Local->Kind == TMailPathKind::None) continue;
    if (kind && *kind != item->Local->Kind) return TSourceKind::Maildir;
    kind = item->Local->Kind;
  }
  if (kind == TMailPathKind::Mbox) return TSourceKind::Mbox;
  if (kind == TMailPathKind::EmlFolder) return TSourceKind::Eml;
  return TSourceKind::Maildir;
}

void BeginRun(TfrmOEMain& w, QTreeWidget* tree, TSource source) {
  // The ticked folders of every level, a parent before its children.
  w.RunFolderList.clear();
  for (TFolderItem* item : AllFolderItems(tree))
    if (item->Ticked()) w.RunFolderList.push_back(item->JobFolder());

  std::vector<std::string> names;
  for (const TJobFolder& f : w.RunFolderList) names.push_back(f.Name);
  w.RunState->View.Discard();
  FillStatusList(*w.elTreeStatus, names);

  // Painted before the worker starts.
  w.ShowPage(w.Processing);
  QApplication::processEvents();

  w.Running = true;
  w.StopRequested.store(0);

  TExtractionJob job;
  job.View = &w;
  job.StopRequested = &w.StopRequested;
  job.Folders = w.RunFolderList;
  job.IncludeExt = w.IncludeExtList;
  job.ExcludeExt = w.ExcludeExtList;
  job.AllFiles = w.rbAllDoc->isChecked();
  job.SkipDuplicates = w.cbSkipDuplicates->isChecked();
  job.HarvestAddresses = w.cbGetEmails->isChecked();
  job.StoreFolder = w.StoreFolder;
  job.Layout = w.LayoutIndex();
  job.UseDateInterval = w.cbUseDate->isChecked();
  job.DateFrom = DateOf(*w.dtpFrom);
  job.DateTo = DateOf(*w.dtpTo);
  job.FullFileName = w.cbUseFullFilename->isChecked();
  job.DownloadLinks = w.cbGetEmbbededImages->isChecked();
  job.DestinationDir = w.DestinationDir();
  // The link download reads the extension controls as they stand; they do
  // not change during a run.
  job.LinkLists.SelectedOnly = w.rbSelectedDoc->isChecked();
  job.LinkLists.IncludeEntries = Entries(*w.lbIncludeExtensions);
  job.LinkLists.ExcludeEntries = Entries(*w.lbExcludeExtensions);
  job.PauseMs = w.WizardOptions().PauseMs;
  if (source == TSource::LocalMail) job.SourceKind = LocalSourceKind(tree);
  // The report goes into the destination, named after the run's start.
  w.RunState->Summary = {};
  w.RunState->Report.reset();
  if (w.cbWriteReport->isChecked()) {
    auto report = std::make_unique<TReportFile>();
    if (report->Open(job.DestinationDir)) {
      w.RunState->ReportName = ReportFileBaseName(Now());
      w.RunState->Report = std::move(report);
      job.Report = w.RunState->Report.get();
    } else {
      w.AddNotice(Translate("The report of the run could not be written."));
    }
  }

  w.RunState->SourceTree = tree;
  w.RunState->Animation.Start();
  // A run that cannot start ends at once, so the window returns to idle.
  if (!StartWorker(w, source, job)) w.RunFinished();
}

}  // namespace

void TfrmOEMain::ProcessOEExtraction() {
  BeginRun(*this, ElTreeOE, TSource::OutlookExpress);
}

void TfrmOEMain::ProcessOutlookExtraction() {
  BeginRun(*this, ElTreeOutLook, TSource::Outlook);
}

void TfrmOEMain::ProcessNSExtraction() {
  BeginRun(*this, ElTreeNS, rbNS->isChecked() ? TSource::Mozilla : TSource::Thunderbird);
}

void TfrmOEMain::ProcessLocalExtraction() {
  BeginRun(*this, ElTreeLocal, TSource::LocalMail);
}

// ---- the worker's reports -------------------------------------------------------

void TfrmOEMain::AddLog(const std::string& line) {
  RunState->View.AddLog(line);
}

void TfrmOEMain::AddNotice(const std::string& text) {
  RunState->View.AddNotice(text);
}

void TfrmOEMain::SetStatusText(const std::string& text) {
  StatusText = text;
  RunState->View.SetStatusText(text);
}

void TfrmOEMain::SetProgressMax(int count) {
  RunState->View.SetProgressMax(count);
}

void TfrmOEMain::SetProgressPosition(int value) {
  RunState->View.SetProgressPosition(value);
}

void TfrmOEMain::ShowFolderRow(int folderIndex) {
  RunState->View.ShowFolderRow(folderIndex);
}

void TfrmOEMain::UpdateFolderRow(const std::string& folderName, int folderIndex, int status,
                                 int extracted, int messages, int total) {
  RunState->View.UpdateFolderRow(folderName, folderIndex, status, extracted, messages, total);
}

// ---- the end of a run -----------------------------------------------------------

void TfrmOEMain::RunFinished() {
  // Everything the worker reported is on screen before the closing line.
  RunState->View.Flush();
  btBack->setEnabled(true);
  btNext->setEnabled(true);
  btNext->setText(Tr("Finish"));
  Running = false;
  btHelp->show();
  btToTray->hide();
  // The status line in the user's language (the log line as written), and
  // what the run had to tell beside the log stays in sight.
  if (RunState->Report) {
    if (RunState->Report->Finish(RunState->ReportName, ".csv").empty())
      AddNotice(Translate("The report of the run could not be written."));
    RunState->Report.reset();
  }
  const QString notices = RunState->View.NoticeSummary();
  const std::string summary = SummaryLine(RunState->Summary);
  lbOEStatus->setText(Tr(kFinishedText) + QLatin1Char(' ') + QString::fromStdString(summary) +
                      (notices.isEmpty() ? QString() : QLatin1Char('\n') + notices));
  lbOEStatus->setToolTip(lbOEStatus->text());
  AddLog(kFinishedText);
  // The summary closes the log, after every line of the run.
  AddLog(summary);
  RunState->View.Flush();

  // The folder records live in the tree items and in RunFolderList; both go.
  if (RunState->SourceTree) RunState->SourceTree->clear();
  RunState->SourceTree = nullptr;
  RunFolderList.clear();
  ElTreeOE->clear();
  ElTreeOutLook->clear();
  IncludeExtList.clear();
  ExcludeExtList.clear();

  // A window put away during the run comes back by itself.
  if (ctrayApps->isVisible() || RunState->Minimised) ctrayAppsClick();
  RunState->Animation.Stop();

  Desktop().OpenPath(QString::fromStdString(DestinationDir()));

  const std::string wav = Trim(FromUi(txtWavFile->text()));
  txtWavFile->setText(QString::fromStdString(wav));
  if (!wav.empty() && FileExists(wav)) Desktop().PlaySound(QString::fromStdString(wav));
}

// ---- closing while a run is active ------------------------------------------------

void TfrmOEMain::RunningCloseQuery(bool& canClose) {
  canClose = false;
  // A second request while the stop is awaited changes nothing.
  if (RunState->Stopping) return;
  if (!Desktop().Confirm(this, Tr(kStopQuestion))) return;

  RunState->Stopping = true;
  StopRequested.store(1);
  const QString waiting = Tr("Trying to Stop...Please wait...");
  frmProgress->ShowProgress(Tr("Stopping..."), waiting);
  // The worker's pending reports and finally RunFinished run in here.
  while (Running) {
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    frmProgress->SetStatus(waiting);
  }
  frmProgress->HideProgress();
  RunState->Stopping = false;
  canClose = true;
}

// ---- the notification area -------------------------------------------------------

void TfrmOEMain::btToTrayClick() {
  if (RunState->TrayAvailable()) {
    hide();
    ctrayApps->setToolTip(QString::fromLatin1(kProductName));
    ctrayApps->show();
  } else {
    // No notification area to come back from: minimise instead.
    RunState->Minimised = true;
    showMinimized();
  }
}

void TfrmOEMain::ctrayAppsClick() {
  ctrayApps->hide();
  RunState->Minimised = false;
  showNormal();
  raise();
  activateWindow();
}

void TfrmOEMain::elTreeStatusDblClick() {
  Desktop().OpenPath(QString::fromStdString(Trim(FromUi(txtOEDir->text()))));
}

}  // namespace qb::wiz
