// The run's own state inside the main window (TfrmOEMain::RunState): the
// report handlers, the busy animation, the UI-thread dispatcher of the
// workers and what the finish and the tray need to remember.
#pragma once

#include <functional>
#include <memory>

#include "engine/runsummary.h"
#include "wizard/qtdispatcher.h"
#include "wizard/runview.h"

class QTreeWidget;

namespace qb::wiz {

class TfrmOEMain;

struct TRunState {
  explicit TRunState(TfrmOEMain& window);
  ~TRunState();
  TRunState(const TRunState&) = delete;
  TRunState& operator=(const TRunState&) = delete;

  TQtDispatcher Dispatcher;
  TRunView View;
  TBusyAnimation Animation;
  // The folder tree the current or last run was started from.
  QTreeWidget* SourceTree = nullptr;
  // True while the close question waits for a stopping run.
  bool Stopping = false;
  // To Tray minimised the window (no notification area on this desktop).
  bool Minimised = false;
  // Whether the desktop has a notification area; tests replace it.
  std::function<bool()> TrayAvailable;
  // What the last run did, taken from its worker as it ended.
  TRunSummary Summary;
  // The report of the current run, when one is written, and its name.
  std::unique_ptr<TReportFile> Report;
  std::string ReportName;

 private:
  TfrmOEMain& window_;
};

}  // namespace qb::wiz
