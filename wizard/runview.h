// The run page as a worker sees it: the reports of a run applied to the
// status list, the status line, the progress bar and the log, plus the busy
// animation and the status images.
//
// Every handler only sets a text, a number or a cell and returns, so a
// worker that reports for every message at full speed leaves the event loop
// free to paint and to answer the user.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/job.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QTreeWidget;

namespace qb::wiz {

// The four images of the status list: 0 waiting, 1 done, 2 stopped or
// failed, 3 working.
const std::vector<QIcon>& StatusImages();

// The 24 frames of the busy animation (32 by 32).
const std::vector<QPixmap>& BusyFrames();

// The columns of the status list, left to right.
enum TStatusColumn { colFolder = 0, colTotal, colMsgs, colExtracted, colStatus, kStatusColumns };

// Gives the status list its five column captions.
void SetUpStatusList(QTreeWidget& list);
// Clears the status list and adds one waiting row per folder: "unknown" in
// the number columns, the text and image of status 0.
void FillStatusList(QTreeWidget& list, const std::vector<std::string>& folderNames);

// The handlers note what a report changes and return; the widgets take the
// notes over at most every kRefreshMs (and at Flush), so a worker reporting
// thousands of times a second costs one repaint per refresh, not one per
// report.
class TRunView : public IRunView {
 public:
  TRunView(QPlainTextEdit& log, QLabel& status, QProgressBar& progress, QTreeWidget& rows);

  void AddLog(const std::string& line) override;
  // A log line of its own colour (kNoticeColour), kept for the end of the run.
  void AddNotice(const std::string& text) override;
  void SetStatusText(const std::string& text) override;
  void SetProgressMax(int count) override;
  void SetProgressPosition(int value) override;
  void ShowFolderRow(int folderIndex) override;
  void UpdateFolderRow(const std::string& folderName, int folderIndex, int status, int extracted,
                       int messages, int total) override;
  // The window repaints on its own clock: between two repaints only the
  // last status, position and row count, never a log line.
  TDelivery Delivery() const override { return TDelivery::Coalesce; }

  // Shows every report made so far.
  void Flush();
  // Drops what has not been shown yet (the log and the list are cleared).
  void Discard();

  // The notices of the run so far, in order (cleared by Discard).
  const QStringList& Notices() const { return notices_; }
  // The line the end of the run adds below "Finished with Extraction.":
  // the first notice, and how many more the log holds; "" when none.
  QString NoticeSummary() const;

  static constexpr int kRefreshMs = 40;
  // The colour of the notices in the log (a dark red).
  static constexpr unsigned kNoticeColour = 0xB00000;

 private:
  struct TRowReport {
    QString Name;
    int Status = 0, Extracted = 0, Messages = 0, Total = 0;
  };
  void Schedule();
  void FlushLines();

  QPlainTextEdit& log_;
  QLabel& status_;
  QProgressBar& progress_;
  QTreeWidget& rows_;
  QTimer refresh_;

  QStringList lines_;
  QStringList notices_;
  std::optional<QString> status_text_;
  bool progressChanged_ = false;
  int progressMax_ = 100, progressPosition_ = 0;
  std::map<int, TRowReport> rowReports_;
  int shownRow_ = -1;
};

// Plays the busy frames on a label, one every 166 ms; stopped, the label
// shows frame 0.
class TBusyAnimation : public QObject {
 public:
  explicit TBusyAnimation(QLabel& label, QObject* parent = nullptr);
  void Start();
  void Stop();
  bool IsRunning() const { return timer_.isActive(); }
  int Frame() const { return frame_; }

  static constexpr int kFrameMs = 166;

 private:
  void Show(int frame);

  QLabel& label_;
  QTimer timer_;
  int frame_ = 0;
};

}  // namespace qb::wiz
