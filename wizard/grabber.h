// "Quillbox - Grabbed Emails": the window behind "View Grabbed Emails" that
// shows the e-mail addresses collected by the runs, saves them to a text
// file and empties the list.
#pragma once

#include <QDialog>
#include <string>

#include "platform/i18n.h"
#include "web/addresses.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace qb::wiz {

class IDesktop;

class TfrmOEGrabber : public QDialog {
  Q_OBJECT

 public:
  // The list is read from listPath when the window is made; the window is
  // made afresh each time it is opened.
  TfrmOEGrabber(IDesktop& desktop, QWidget* parent = nullptr,
                std::string listPath = DefaultGrabbedAddressesPath());

  // Reads the stored list again and shows it.
  void Reload();
  int Count() const { return book_.Count(); }

  // Button handlers, public for tests.
  void btSaveAsClick();
  void btDeleteAllClick();
  void btCloseClick();

  QLabel* lbNumEmails = nullptr;
  QListWidget* lbEmails = nullptr;
  QPushButton* btSaveAs = nullptr;
  QPushButton* btDeleteAll = nullptr;
  QPushButton* btClose = nullptr;

  static constexpr const char* kSaveFilter = N_("Text Files (*.txt)|*.txt|All Files|*.*");

 private:
  void ShowList();

  IDesktop& desktop_;
  TAddressBook book_;
};

}  // namespace qb::wiz
