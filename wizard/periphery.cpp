#include "wizard/periphery.h"

#include <sys/resource.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/keystore.h"
#include "platform/paths.h"
#include "wizard/uitext.h"

namespace qb::wiz {

namespace {

// A stylised envelope with a paper clip, drawn into rect.
void PaintEmblem(QPainter& p, const QRectF& rect, const QColor& paper, const QColor& ink) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF env = rect.adjusted(rect.width() * 0.06, rect.height() * 0.22, -rect.width() * 0.06,
                                   -rect.height() * 0.12);
  p.setPen(QPen(ink, std::max(1.0, rect.width() / 28.0)));
  p.setBrush(paper);
  p.drawRoundedRect(env, env.width() * 0.06, env.width() * 0.06);
  QPainterPath flap;
  flap.moveTo(env.topLeft());
  flap.lineTo(env.center().x(), env.top() + env.height() * 0.55);
  flap.lineTo(env.topRight());
  p.setBrush(Qt::NoBrush);
  p.drawPath(flap);
  // The clip: two nested rounded loops over the top right corner.
  const double w = rect.width() * 0.16;
  const QRectF outer(env.right() - w * 2.2, rect.top() + rect.height() * 0.04, w,
                     rect.height() * 0.5);
  QPen clip(QColor(0xd0, 0x8a, 0x1e), std::max(1.5, rect.width() / 16.0));
  clip.setCapStyle(Qt::RoundCap);
  p.setPen(clip);
  p.drawRoundedRect(outer, w / 2, w / 2);
  p.restore();
}

}  // namespace

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(Tr("About Quillbox"));
  setModal(true);
  auto* layout = new QHBoxLayout(this);
  auto* art = new QLabel(this);
  art->setPixmap(ProductIcon().pixmap(64, 64));
  art->setAlignment(Qt::AlignTop);
  layout->addWidget(art);
  auto* column = new QVBoxLayout;
  auto* title = new QLabel(QStringLiteral("<b style='font-size:15pt'>Quillbox</b><br>") +
                               Tr("Version %1").arg(QLatin1String(kProductVersion)),
                           this);
  title->setObjectName(QStringLiteral("lbProduct"));
  column->addWidget(title);
  auto* words =
      new QLabel(Tr("Quillbox gathers the attachments of your mail folders and keeps them as "
                    "ordinary files, sorted into folders by date, sender or subject.\n\n"
                    "Your mail is only read, never changed."),
                 this);
  words->setWordWrap(true);
  words->setMinimumWidth(300);
  column->addWidget(words);
  btThanks = new QPushButton(Tr("Thanks"), this);
  btThanks->setObjectName(QStringLiteral("btThanks"));
  btThanks->setDefault(true);
  connect(btThanks, &QPushButton::clicked, this, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(btThanks);
  column->addLayout(row);
  layout->addLayout(column);
  setFixedSize(sizeHint());
}

TfrmProgress::TfrmProgress(QWidget* owner)
    : QWidget(nullptr,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      owner_(owner) {
  setObjectName(QStringLiteral("frmProgress"));
  // A window of its own, so that disabling the owner leaves it readable.
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* layout = new QVBoxLayout(this);
  lbStatus_ = new QLabel(this);
  lbStatus_->setObjectName(QStringLiteral("lbStatus"));
  lbStatus_->setMinimumWidth(280);
  lbStatus_->setAlignment(Qt::AlignCenter);
  layout->addWidget(lbStatus_);
}

void TfrmProgress::ShowProgress(const QString& caption, const QString& text) {
  setWindowTitle(caption);
  lbStatus_->setText(text);
  if (owner_) owner_->setEnabled(false);
  adjustSize();
  if (owner_) {
    const QRect r = owner_->frameGeometry();
    move(r.center() - rect().center());
  }
  show();
}

void TfrmProgress::SetStatus(const QString& text) {
  lbStatus_->setText(text);
}

QString TfrmProgress::Status() const {
  return lbStatus_->text();
}

void TfrmProgress::HideProgress() {
  hide();
  if (owner_) owner_->setEnabled(true);
}

QIcon ProductIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    PaintEmblem(p, QRectF(0, 0, size, size), QColor(0xfa, 0xf7, 0xef), QColor(0x2d, 0x4a, 0x7a));
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

QPixmap PictureStrip(int width, int height) {
  QPixmap pm(width, height);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, height);
  g.setColorAt(0, QColor(0x23, 0x3d, 0x6b));
  g.setColorAt(1, QColor(0x4f, 0x86, 0xb8));
  p.fillRect(pm.rect(), g);
  // A few faint envelopes drifting down the strip.
  const double s = width * 0.34;
  const QColor faint(255, 255, 255, 40);
  for (int i = 0; i < 5; ++i) {
    const double x = (i % 2 ? 0.52 : 0.12) * width;
    const double y = height * (0.45 + i * 0.11);
    PaintEmblem(p, QRectF(x, y, s, s), faint, QColor(255, 255, 255, 70));
  }
  PaintEmblem(p, QRectF(width * 0.18, height * 0.08, width * 0.64, width * 0.64),
              QColor(0xfa, 0xf7, 0xef), QColor(0x1b, 0x2c, 0x4d));
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.5);
  p.setFont(f);
  p.drawText(QRectF(0, height * 0.08 + width * 0.7, width, 30), Qt::AlignHCenter,
             QStringLiteral("Quillbox"));
  p.end();
  return pm;
}

std::string HelpFilePath() {
  return ProgramDataDir() + "/help/index.html";
}

void SetIdlePriority(TKeyStore& store) {
  try {
    store.WriteString("Software\\Quillbox", "debugThreadMode", "idle");
  } catch (const std::exception&) {
    // A store that cannot be written does not keep the program from starting.
  }
  // On Linux the nice value belongs to each thread: every thread running now
  // (the toolkit starts some of its own) is lowered, and threads started
  // later inherit it from the one that starts them.
  std::error_code ec;
  for (std::filesystem::directory_iterator it("/proc/self/task", ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string tid = it->path().filename().string();
    if (!tid.empty() && std::all_of(tid.begin(), tid.end(), ::isdigit))
      ::setpriority(PRIO_PROCESS, static_cast<id_t>(std::stoul(tid)), 19);
  }
  ::setpriority(PRIO_PROCESS, 0, 19);
}

}  // namespace qb::wiz
