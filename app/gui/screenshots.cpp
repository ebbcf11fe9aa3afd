// quillbox-screenshots DIR: renders every page of the wizard, filled with a
// small sample store, to DIR/<page>.png. Runs on any Qt platform, the
// offscreen one included; dialogs are answered by the scripted desktop.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "oestore/dbxwriter.h"
#include "outlook/fakeoutlook.h"
#include "platform/i18n.h"
#include "platform/keystore.h"
#include "wizard/fakedesktop.h"
#include "wizard/oMain.h"
#include "wizard/uitext.h"

namespace {

using qb::wiz::TfrmOEMain;

bool Save(TfrmOEMain& window, const QString& dir, const char* name) {
  QApplication::processEvents();
  const QString file = dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
  if (!window.grab().save(file)) {
    std::fprintf(stderr, "quillbox-screenshots: cannot write %s\n", qPrintable(file));
    return false;
  }
  std::printf("%s\n", qPrintable(file));
  return true;
}

// A folder with count messages, each carrying one small attachment.
qb::TDbxSynthFolder Folder(int id, int parent, const char* name, const char* file, int count = 0) {
  qb::TDbxSynthFolder f;
  f.Id = id;
  f.ParentId = parent;
  f.Name = name;
  f.FileName = file;
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    qb::TDbxSynthMessage m;
    m.Subject = std::string(name) + " " + n;
    m.Text = "From: Ann Example <ann@example.org>\r\nTo: you@example.org\r\nSubject: " + m.Subject +
             "\r\nDate: Mon, 17 May 2004 10:00:00 +0000\r\nMIME-Version: 1.0\r\n"
             "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
             "Content-Type: text/plain\r\n\r\nSee the attached notes.\r\n--b\r\n"
             "Content-Type: text/plain; name=\"notes-" +
             n +
             ".txt\"\r\n"
             "Content-Disposition: attachment; filename=\"notes-" +
             n +
             ".txt\"\r\n\r\n"
             "Notes number " +
             n + "\r\n--b--\r\n";
    f.Messages.push_back(m);
  }
  return f;
}

void MaildirFolder(const std::string& dir, int messages) {
  for (const char* sub : {"cur", "new", "tmp"})
    std::filesystem::create_directories(dir + "/" + sub);
  for (int i = 1; i <= messages; ++i)
    std::ofstream(dir + "/cur/17000000" + std::to_string(i) + ".M1P1.host:2,S")
        << "Subject: " << i << "\n\n.\n";
}

// The page of other mail folders: a home directory with ~/Maildir and
// Evolution's local folders, and an mbox file and a folder of saved
// messages added by hand.
bool SaveLocalFolderSelect(TfrmOEMain& window, qb::wiz::TFakeDesktop& desktop, const QString& out,
                           const std::string& work) {
  const std::string home = work + "/home/ann";
  MaildirFolder(home + "/Maildir", 3);
  for (const char* name : {".Archive", ".Lists", ".Lists.Debian", ".Sent"})
    MaildirFolder(home + "/Maildir/" + name, 2);
  const std::string evolution = home + "/.local/share/evolution/mail/local";
  MaildirFolder(evolution, 2);
  MaildirFolder(evolution + "/.Drafts", 1);
  MaildirFolder(evolution + "/.Outbox", 1);
  std::filesystem::create_directories(home + "/Downloads/Takeout/Mail");
  const std::string takeout =
      home + "/Downloads/Takeout/Mail/All mail Including Spam and Trash.mbox";
  std::ofstream(takeout) << "From x@y Mon May 17 10:00:00 2004\nSubject: 1\n\n.\n";
  std::filesystem::create_directories(home + "/Saved messages");
  std::ofstream(home + "/Saved messages/Invoice.eml") << "Subject: Invoice\n\n.\n";

  const std::string oldHome = qgetenv("HOME").toStdString();
  qputenv("HOME", home.c_str());
  qunsetenv("XDG_DATA_HOME");
  window.rbLocalMail->setChecked(true);
  window.btNext->click();
  desktop.FileAnswers = {QString::fromStdString(takeout),
                         QString::fromStdString(home + "/Saved messages")};
  window.btLocalAdd->click();
  window.btLocalAdd->click();
  const auto items = qb::wiz::AllFolderItems(window.ElTreeLocal);
  for (qb::wiz::TFolderItem* item : items)
    if (item->text(0) == QStringLiteral("Lists")) item->SetTicked(true);
  const bool ok = Save(window, out, "LocalFolderSelect");
  qputenv("HOME", oldHome.c_str());
  window.btBack->click();
  window.rbOE->setChecked(true);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  qb::HonourLanguageVariable();  // LANGUAGE picks the window's language
  qb::wiz::FollowCatalogueLanguage();
  if (argc != 2) {
    std::fprintf(stderr, "usage: quillbox-screenshots DIR\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);

  // A sample store with a few folders, and two identities.
  const std::string work =
      (std::filesystem::temp_directory_path() / "quillbox-screenshots").string();
  std::filesystem::remove_all(work);
  const std::string storeDir = work + "/Main Identity";
  qb::WriteDbxStore(
      storeDir,
      {Folder(1, 0, "Inbox", "Inbox.dbx", 6), Folder(2, 1, "Invoices", "Invoices.dbx", 4),
       Folder(3, 1, "Photos", "Photos.dbx", 5), Folder(4, 0, "Sent Items", "Sent Items.dbx", 3),
       Folder(5, 0, "Deleted Items", "Deleted Items.dbx", 2),
       Folder(6, 0, "Drafts", "Drafts.dbx")});
  qb::TKeyStore store;
  const char* guids[] = {"{1B9B6B1E-0C6A-4A57-9E02-7D1A5B0E4A11}",
                         "{7F2C4D90-3E5B-4B8C-A1D2-5C6E7F8A9B22}"};
  store.WriteString(std::string("Identities\\") + guids[0], "Username", "Main Identity");
  store.WriteString(
      std::string("Identities\\") + guids[0] + "\\Software\\Microsoft\\Outlook Express\\5.0",
      "Store Root", storeDir);
  store.WriteString(std::string("Identities\\") + guids[1], "Username", "Holidays");

  // Outlook: one store with its mail folders.
  auto outlook = std::make_shared<qb::ole::TFakeOutlook>();
  qb::ole::TFakeFolder& pst = outlook->AddStore("Personal Folders");
  pst.AddFolder("Inbox").AddFolder("Projects");
  pst.AddFolder("Sent Items");
  pst.AddFolder("Archive");
  qb::ole::TScopedOutlookProvider useOutlook(outlook->Factory());

  qb::wiz::TFakeDesktop desktop;
  qb::wiz::TWizardOptions options;
  options.PstOutlook = false;
  options.OutlookInitialWaitMs = 0;
  options.IdlePriority = false;
  options.PauseMs = 40;  // slow enough to show the run half way
  TfrmOEMain window(desktop, store, options);
  // Paths as a user's installation shows them, not the build machine's.
  window.txtOEDir->setText(QStringLiteral("/home/ann/Attachments/"));
  window.txtWavFile->setText(QStringLiteral("/usr/share/quillbox/OnOK.WAV"));
  window.show();

  bool ok = Save(window, out, "Welcome");
  window.btNext->click();
  ok &= Save(window, out, "OEChoose");
  window.btNext->click();
  ok &= Save(window, out, "OEFolderSelect");
  window.btNext->click();
  ok &= Save(window, out, "Options");
  window.btNext->click();
  ok &= Save(window, out, "Options2");
  // A run half way, then finished.
  window.txtOEDir->setText(QString::fromStdString(work + "/Attachments/"));
  window.cbGetEmbbededImages->setChecked(false);
  window.btNext->click();
  for (QElapsedTimer t; !t.isValid() || t.elapsed() < 1500;) {
    if (!t.isValid()) t.start();
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  ok &= Save(window, out, "Processing");
  while (window.Running) QApplication::processEvents(QEventLoop::AllEvents, 20);
  ok &= Save(window, out, "Finished");
  window.btBack->click();
  window.btNext->click();
  window.btNext->click();
  window.btNext->click();
  for (int i = 0; i < 4; ++i) window.btBack->click();
  window.rbOutlook->setChecked(true);
  window.btNext->click();
  ok &= Save(window, out, "OutlookChoose");
  window.btBack->click();
  window.rbOE->setChecked(true);
  window.ShowPage(window.NetscapeChoose);
  ok &= Save(window, out, "NetscapeChoose");
  window.ShowPage(window.NSFolderSelect);
  ok &= Save(window, out, "NSFolderSelect");
  window.ShowPage(window.Welcome);
  ok &= SaveLocalFolderSelect(window, desktop, out, work);
  window.ShowPage(window.Welcome);
  if (!std::getenv("QB_KEEP")) std::filesystem::remove_all(work);
  return ok ? 0 : 1;
}
