#include "wizard/qtdesktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

#include "wizard/periphery.h"
#include "wizard/uitext.h"

namespace qb::wiz {

namespace {

// Message texts are written with CR LF line breaks; Qt wants LF alone.
QString DisplayText(const QString& text) {
  QString t = text;
  t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return t;
}

QString BoxCaption(QWidget* parent) {
  if (parent && !parent->window()->windowTitle().isEmpty()) return parent->window()->windowTitle();
  return QStringLiteral("Quillbox");
}

// A file dialog that also takes the directory it shows: choosing with no
// entry selected takes the directory itself, a directory selected is opened,
// a file selected is taken.
class TFileOrDirectoryDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;
  QString Chosen;

 protected:
  void accept() override {
    const QStringList files = selectedFiles();
    if (files.size() != 1) return;
    const QFileInfo info(files.first());
    if (info.isDir() && QDir(info.absoluteFilePath()) == directory()) {
      Chosen = info.absoluteFilePath();
      QDialog::accept();
    } else if (info.isDir()) {
      setDirectory(info.absoluteFilePath());
    } else if (info.exists()) {
      Chosen = info.absoluteFilePath();
      QDialog::accept();
    }
  }
};

}  // namespace

QString QtFileFilter(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : patterns)
      if (p == QStringLiteral("*.*")) p = QStringLiteral("*");
    out << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
  }
  return out.join(QStringLiteral(";;"));
}

void TQtDesktop::ShowError(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Critical, BoxCaption(parent), DisplayText(text), QMessageBox::Ok,
                  parent);
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

bool TQtDesktop::Confirm(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Question, BoxCaption(parent), DisplayText(text),
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

std::optional<QString> TQtDesktop::InputText(QWidget* parent, const QString& caption,
                                             const QString& prompt, const QString& initial) {
  bool ok = false;
  const QString text =
      QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, initial, &ok);
  if (!ok) return std::nullopt;
  return text;
}

std::optional<QString> TQtDesktop::BrowseDirectory(QWidget* parent, const QString& caption,
                                                   const QString& initial) {
  const QString dir = QFileDialog::getExistingDirectory(parent, caption, initial);
  if (dir.isEmpty()) return std::nullopt;
  return dir;
}

std::optional<QString> TQtDesktop::OpenFile(QWidget* parent, const QString& caption,
                                            const QString& filter, const QString& initial) {
  const QString file = QFileDialog::getOpenFileName(parent, caption, initial, QtFileFilter(filter));
  if (file.isEmpty()) return std::nullopt;
  return file;
}

std::optional<QString> TQtDesktop::OpenFileOrDirectory(QWidget* parent, const QString& caption,
                                                       const QString& filter,
                                                       const QString& initial) {
  TFileOrDirectoryDialog dialog(parent, caption, initial, QtFileFilter(filter));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setLabelText(QFileDialog::Accept, Tr("&Choose"));
  if (dialog.exec() != QDialog::Accepted || dialog.Chosen.isEmpty()) return std::nullopt;
  return dialog.Chosen;
}

std::optional<QString> TQtDesktop::SaveFile(QWidget* parent, const QString& caption,
                                            const QString& filter, const QString& initial) {
  const QString file = QFileDialog::getSaveFileName(parent, caption, initial, QtFileFilter(filter));
  if (file.isEmpty()) return std::nullopt;
  return file;
}

void TQtDesktop::OpenPath(const QString& pathOrUrl) {
  const QUrl url =
      pathOrUrl.contains(QStringLiteral("://")) ? QUrl(pathOrUrl) : QUrl::fromLocalFile(pathOrUrl);
  QDesktopServices::openUrl(url);
}

void TQtDesktop::PlaySound(const QString& file) {
  if (SoundPlayer) SoundPlayer(file);
}

void TQtDesktop::ShowAbout(QWidget* parent) {
  TfrmAbout about(parent);
  about.exec();
}

}  // namespace qb::wiz
