#include "wizard/grabber.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <stdexcept>

#include "platform/codepage.h"
#include "wizard/desktop.h"
#include "wizard/uitext.h"

namespace qb::wiz {

TfrmOEGrabber::TfrmOEGrabber(IDesktop& desktop, QWidget* parent, std::string listPath)
    : QDialog(parent), desktop_(desktop), book_(std::move(listPath)) {
  setObjectName("frmOEGrabber");
  setWindowTitle(Tr("Quillbox - Grabbed Emails"));
  setFixedSize(346, 335);
  setModal(true);

  lbNumEmails = new QLabel(Tr("Number of Emails :"), this);
  lbNumEmails->setObjectName("lbNumEmails");
  lbEmails = new QListWidget(this);
  lbEmails->setObjectName("lbEmails");
  lbEmails->setSelectionMode(QAbstractItemView::ExtendedSelection);
  btSaveAs = new QPushButton(Tr("Save As"), this);
  btSaveAs->setObjectName("btSaveAs");
  btDeleteAll = new QPushButton(Tr("Delete All"), this);
  btDeleteAll->setObjectName("btDeleteAll");
  btClose = new QPushButton(Tr("Close"), this);
  btClose->setObjectName("btClose");
  btClose->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btSaveAs);
  buttons->addWidget(btDeleteAll);
  buttons->addStretch();
  buttons->addWidget(btClose);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lbNumEmails);
  layout->addWidget(lbEmails, 1);
  layout->addLayout(buttons);

  connect(btSaveAs, &QPushButton::clicked, this, [this] { btSaveAsClick(); });
  connect(btDeleteAll, &QPushButton::clicked, this, [this] { btDeleteAllClick(); });
  connect(btClose, &QPushButton::clicked, this, [this] { btCloseClick(); });

  Reload();
}

void TfrmOEGrabber::Reload() {
  if (!book_.Load())
    desktop_.ShowError(this, Tr("Cannot read %1.").arg(QString::fromStdString(book_.Path())));
  ShowList();
}

void TfrmOEGrabber::ShowList() {
  lbNumEmails->setText(Tr("Number of Emails : %1").arg(book_.Count()));
  lbEmails->clear();
  for (const std::string& a : book_.Addresses())
    lbEmails->addItem(QString::fromStdString(ToUtf8Edge(a)));
  const bool any = book_.Count() > 0;
  btSaveAs->setEnabled(any);
  btDeleteAll->setEnabled(any);
}

void TfrmOEGrabber::btSaveAsClick() {
  const std::optional<QString> file =
      desktop_.SaveFile(this, Tr("Save the Grabbed Emails"), Tr(kSaveFilter), "GrabbedEmails.txt");
  if (!file || file->isEmpty()) return;
  try {
    book_.SaveTo(file->toStdString());
  } catch (const std::exception& e) {
    desktop_.ShowError(this, QString::fromStdString(ToUtf8Edge(e.what())));
  }
}

void TfrmOEGrabber::btDeleteAllClick() {
  if (!desktop_.Confirm(this, Tr("Delete all grabbed e-mail addresses?"))) return;
  TAddressBook empty(book_.Path());
  try {
    empty.Save();
  } catch (const std::exception& e) {
    desktop_.ShowError(this, QString::fromStdString(ToUtf8Edge(e.what())));
    return;
  }
  book_.Clear();
  ShowList();
}

void TfrmOEGrabber::btCloseClick() {
  accept();
}

}  // namespace qb::wiz
