// A run: starting the worker, its reports into the Processing page, the
// finishing steps, the close question while running and the tray.
//
// For now a run only prepares its folder rows and finishes at once; the
// worker, the animation and the tray come with the run control.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include "wizard/desktop.h"
#include "wizard/oMain.h"

namespace qb::wiz {

struct TRunState {};

template <>
void TPartDeleter<TRunState>::operator()(TRunState* p) const {
  delete p;
}

void TfrmOEMain::InitRunControl() {}

void TfrmOEMain::ProcessOEExtraction() {
  RunFolderList.clear();
  for (TFolderItem* item : AllFolderItems(ElTreeOE))
    if (item->Ticked()) RunFolderList.push_back(item->JobFolder());
  elTreeStatus->clear();
  for (const TJobFolder& f : RunFolderList)
    new QTreeWidgetItem(elTreeStatus,
                        {UiText(f.Name), QStringLiteral("unknown"), QStringLiteral("unknown"),
                         QStringLiteral("unknown"), UiText(TFolderStatus::DisplayText(fsWaiting))});
  ShowPage(Processing);
  RunFinished();
}

void TfrmOEMain::ProcessOutlookExtraction() {
  RunFolderList.clear();
  for (TFolderItem* item : AllFolderItems(ElTreeOutLook))
    if (item->Ticked()) RunFolderList.push_back(item->JobFolder());
  ShowPage(Processing);
  RunFinished();
}

void TfrmOEMain::RunFinished() {
  btBack->setEnabled(true);
  btNext->setEnabled(true);
  btNext->setText(QStringLiteral("Finish"));
  Running = false;
  btHelp->show();
  btToTray->hide();
  lbOEStatus->setText(QStringLiteral("Finished with Extraction."));
  txtLogs->appendPlainText(QStringLiteral("Finished with Extraction."));
  ElTreeOE->clear();
  ElTreeOutLook->clear();
  RunFolderList.clear();
  IncludeExtList.clear();
  ExcludeExtList.clear();
}

void TfrmOEMain::RunningCloseQuery(bool& canClose) {
  canClose = false;
}

void TfrmOEMain::btToTrayClick() {}
void TfrmOEMain::ctrayAppsClick() {}
void TfrmOEMain::elTreeStatusDblClick() {}

void TfrmOEMain::AddLog(const std::string& line) {
  txtLogs->appendPlainText(UiText(line));
}
void TfrmOEMain::SetStatusText(const std::string& text) {
  StatusText = text;
  lbOEStatus->setText(UiText(text));
}
void TfrmOEMain::SetProgressMax(int count) {
  pbOE->setMaximum(count > 0 ? count : 1);
  pbOE->setValue(0);
}
void TfrmOEMain::SetProgressPosition(int value) {
  pbOE->setValue(value);
}
void TfrmOEMain::ShowFolderRow(int) {}
void TfrmOEMain::UpdateFolderRow(const std::string&, int, int, int, int, int) {}

}  // namespace qb::wiz
