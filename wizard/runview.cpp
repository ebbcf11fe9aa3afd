#include "wizard/runview.h"

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTreeWidget>

#include "wizard/oMain.h"
#include "wizard/uitext.h"

// Qt's resource initialiser lives outside any namespace.
static void InitRunArtwork() {
  Q_INIT_RESOURCE(runartwork);
}

namespace qb::wiz {

const std::vector<QIcon>& StatusImages() {
  static const std::vector<QIcon> images = [] {
    InitRunArtwork();
    std::vector<QIcon> v;
    for (const char* name : {"waiting", "done", "failed", "working"})
      v.emplace_back(QStringLiteral(":/quillbox/images/status-%1.png").arg(QLatin1String(name)));
    return v;
  }();
  return images;
}

const std::vector<QPixmap>& BusyFrames() {
  static const std::vector<QPixmap> frames = [] {
    InitRunArtwork();
    std::vector<QPixmap> v;
    for (int i = 0; i < 24; ++i)
      v.emplace_back(
          QStringLiteral(":/quillbox/images/busy-%1.png").arg(i, 2, 10, QLatin1Char('0')));
    return v;
  }();
  return frames;
}

namespace {

const QString& Unknown() {
  static const QString text = Tr("unknown");
  return text;
}

void SetImage(QTreeWidgetItem& row, int status) {
  const int image = TFolderStatus::ImageIndex(status);
  const auto& images = StatusImages();
  row.setIcon(colFolder,
              image >= 0 && image < static_cast<int>(images.size()) ? images[image] : QIcon());
}

}  // namespace

void SetUpStatusList(QTreeWidget& list) {
  list.setColumnCount(kStatusColumns);
  list.setHeaderLabels({Tr("Mail Folder"), Tr("Total"), Tr("Msgs"), Tr("Extracted"), Tr("Status")});
  list.setRootIsDecorated(false);
  list.setUniformRowHeights(true);
}

void FillStatusList(QTreeWidget& list, const std::vector<std::string>& folderNames) {
  list.clear();
  const QString waiting = UiText(TFolderStatus::DisplayText(fsWaiting));
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(folderNames.size()));
  for (const std::string& name : folderNames) {
    auto* row =
        new QTreeWidgetItem(QStringList{UiText(name), Unknown(), Unknown(), Unknown(), waiting});
    SetImage(*row, fsWaiting);
    rows.append(row);
  }
  list.addTopLevelItems(rows);
}

TRunView::TRunView(QPlainTextEdit& log, QLabel& status, QProgressBar& progress, QTreeWidget& rows)
    : log_(log), status_(status), progress_(progress), rows_(rows) {
  refresh_.setSingleShot(true);
  refresh_.setInterval(kRefreshMs);
  refresh_.callOnTimeout([this] { Flush(); });
}

void TRunView::Schedule() {
  if (!refresh_.isActive()) refresh_.start();
}

void TRunView::AddLog(const std::string& line) {
  lines_.append(UiText(line));
  Schedule();
}

void TRunView::AddNotice(const std::string& text) {
  // In its place among the log lines.
  FlushLines();
  const QString line = UiText(text);
  notices_.append(line);
  log_.appendHtml(QStringLiteral("<span style=\"color:#%1\">%2</span>")
                      .arg(kNoticeColour, 6, 16, QLatin1Char('0'))
                      .arg(line.toHtmlEscaped()));
}

QString TRunView::NoticeSummary() const {
  if (notices_.isEmpty()) return {};
  if (notices_.size() == 1) return notices_.front();
  return notices_.front() + Tr(" (%1 more in the log)").arg(notices_.size() - 1);
}

void TRunView::FlushLines() {
  if (lines_.isEmpty()) return;
  // One paragraph per line; one call for all of them.
  log_.appendPlainText(lines_.join(QLatin1Char('\n')));
  lines_.clear();
}

void TRunView::SetStatusText(const std::string& text) {
  status_text_ = UiText(text);
  Schedule();
}

void TRunView::SetProgressMax(int count) {
  progressMax_ = count == 0 ? 1 : count;
  progressPosition_ = 0;
  progressChanged_ = true;
  Schedule();
}

void TRunView::SetProgressPosition(int value) {
  progressPosition_ = value;
  progressChanged_ = true;
  Schedule();
}

void TRunView::ShowFolderRow(int folderIndex) {
  shownRow_ = folderIndex;
  Schedule();
}

void TRunView::UpdateFolderRow(const std::string& folderName, int folderIndex, int status,
                               int extracted, int messages, int total) {
  rowReports_[folderIndex] = {UiText(folderName), status, extracted, messages, total};
  Schedule();
}

void TRunView::Flush() {
  refresh_.stop();
  FlushLines();
  if (status_text_) {
    status_.setText(*status_text_);
    status_text_.reset();
  }
  if (progressChanged_) {
    progress_.setMaximum(progressMax_);
    progress_.setValue(progressPosition_);
    progressChanged_ = false;
  }
  for (const auto& [index, r] : rowReports_) {
    QTreeWidgetItem* row = rows_.topLevelItem(index);
    if (!row) continue;
    SetImage(*row, r.Status);
    row->setText(colFolder, r.Name);
    row->setText(colTotal, r.Total == kRowTotalUnknown ? QString() : QString::number(r.Total));
    row->setText(colMsgs, QString::number(r.Messages));
    row->setText(colExtracted, QString::number(r.Extracted));
    row->setText(colStatus, UiText(TFolderStatus::DisplayText(r.Status)));
  }
  rowReports_.clear();
  if (shownRow_ >= 0) {
    if (QTreeWidgetItem* row = rows_.topLevelItem(shownRow_)) {
      rows_.scrollToItem(row);
      rows_.setCurrentItem(row);
    }
    shownRow_ = -1;
  }
}

void TRunView::Discard() {
  refresh_.stop();
  lines_.clear();
  notices_.clear();
  status_text_.reset();
  progressChanged_ = false;
  rowReports_.clear();
  shownRow_ = -1;
}

TBusyAnimation::TBusyAnimation(QLabel& label, QObject* parent) : QObject(parent), label_(label) {
  timer_.setInterval(kFrameMs);
  QObject::connect(&timer_, &QTimer::timeout, this,
                   [this] { Show((frame_ + 1) % static_cast<int>(BusyFrames().size())); });
  Show(0);
}

void TBusyAnimation::Start() {
  Show(0);
  timer_.start();
}

void TBusyAnimation::Stop() {
  timer_.stop();
  Show(0);
}

void TBusyAnimation::Show(int frame) {
  frame_ = frame;
  label_.setPixmap(BusyFrames()[static_cast<size_t>(frame)]);
}

}  // namespace qb::wiz
