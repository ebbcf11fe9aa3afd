#include "wizard/runview.h"

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTreeWidget>

#include "wizard/oMain.h"

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
  static const QString text = QStringLiteral("unknown");
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
  list.setHeaderLabels({QStringLiteral("Mail Folder"), QStringLiteral("Total"),
                        QStringLiteral("Msgs"), QStringLiteral("Extracted"),
                        QStringLiteral("Status")});
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
    : log_(log), status_(status), progress_(progress), rows_(rows) {}

void TRunView::AddLog(const std::string& line) {
  log_.appendPlainText(UiText(line));
}

void TRunView::SetStatusText(const std::string& text) {
  statusText_ = text;
  status_.setText(UiText(text));
}

void TRunView::SetProgressMax(int count) {
  progress_.setMaximum(count == 0 ? 1 : count);
  progress_.setValue(0);
}

void TRunView::SetProgressPosition(int value) {
  progress_.setValue(value);
}

void TRunView::ShowFolderRow(int folderIndex) {
  QTreeWidgetItem* row = rows_.topLevelItem(folderIndex);
  if (!row) return;
  rows_.scrollToItem(row);
  rows_.setCurrentItem(row);
}

void TRunView::UpdateFolderRow(const std::string& folderName, int folderIndex, int status,
                               int extracted, int messages, int total) {
  QTreeWidgetItem* row = rows_.topLevelItem(folderIndex);
  if (!row) return;
  SetImage(*row, status);
  row->setText(colFolder, UiText(folderName));
  row->setText(colTotal, QString::number(total));
  row->setText(colMsgs, QString::number(messages));
  row->setText(colExtracted, QString::number(extracted));
  row->setText(colStatus, UiText(TFolderStatus::DisplayText(status)));
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
