// The wizard's run beside quillbox-cli extract on the same synthetic store
// of 20,000 messages at pause 0: the wall time of each, their ratio, and how
// late the window's event loop got during the wizard's run (a timer ticking
// every 2 ms notes how much later than due each tick arrives).
//
// The messages are small (a few lines and, for four in five, one attachment
// of about a kilobyte), so the figures show the cost of the reports and the
// window's handling of them rather than decoding.
//
//   scripts/bench-wizard-run      (builds and runs this program)
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "oestore/dbxwriter.h"
#include "platform/keystore.h"
#include "wizard/fakedesktop.h"
#include "wizard/oMain.h"

namespace {

constexpr int kMessages = 20000;
constexpr int kFolders = 10;
constexpr int kTickMs = 2;

std::string Message(int i) {
  std::string m =
      "From: \"Sender " + std::to_string(i % 97) + "\" <sender" + std::to_string(i % 97) +
      "@example.com>\r\nTo: sam@example.org\r\nSubject: " + "Message number " + std::to_string(i) +
      "\r\nDate: Mon, 5 Jan 2004 10:00:00 +0100\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"=b\"\r\n\r\n";
  m += "--=b\r\nContent-Type: text/plain\r\n\r\nA short body of message " + std::to_string(i) +
       ".\r\n";
  if (i % 5 != 0) {
    m += "--=b\r\nContent-Type: text/plain; name=\"note" + std::to_string(i) +
         ".txt\"\r\nContent-Disposition: attachment; filename=\"note" + std::to_string(i) +
         ".txt\"\r\n\r\n";
    for (int l = 0; l < 16; ++l)
      m += "Line " + std::to_string(l) + " of the note of " + std::to_string(i) + ".\r\n";
  }
  return m + "--=b--\r\n";
}

std::size_t CountFiles(const std::string& dir) {
  std::size_t n = 0;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file()) ++n;
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  const char* tmp = std::getenv("TMPDIR");
  std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/qbwizbench.XXXXXX";
  if (!::mkdtemp(base.data())) return 1;
  const std::string store = base + "/store";
  std::filesystem::create_directories(store);

  // The store: a folders file and ten message files.
  std::vector<qb::TDbxSynthFolder> folders;
  for (int f = 0; f < kFolders; ++f) {
    qb::TDbxSynthFolder folder;
    folder.Id = 100 + f;
    folder.ParentId = 0;
    folder.Name = "Folder " + std::to_string(f);
    folder.FileName = "Folder" + std::to_string(f) + ".dbx";
    for (int n = 0; n < kMessages / kFolders; ++n) {
      qb::TDbxSynthMessage m;
      m.Text = Message(f * (kMessages / kFolders) + n);
      folder.Messages.push_back(std::move(m));
    }
    folders.push_back(std::move(folder));
  }
  qb::WriteDbxStore(store, folders);

  // The command line, log to a file as a user would keep it.
  QProcess cli;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_DATA_HOME", QString::fromStdString(base + "/appdata-cli"));
  env.insert("XDG_CONFIG_HOME", QString::fromStdString(base + "/config"));
  cli.setProcessEnvironment(env);
  cli.setStandardOutputFile(QString::fromStdString(base + "/cli.log"));
  cli.setStandardErrorFile(QProcess::nullDevice());
  QElapsedTimer clock;
  clock.start();
  cli.start(QStringLiteral(QB_CLI_PATH),
            {"extract", "--store", QString::fromStdString(store), "--dest",
             QString::fromStdString(base + "/out-cli"), "--no-full-file-name", "--layout", "0",
             "--pause-ms", "0"});
  cli.waitForFinished(-1);
  const double cliSeconds = clock.nsecsElapsed() / 1e9;

  // The wizard, walked through its pages with the keyboard's Next.
  ::setenv("XDG_DATA_HOME", (base + "/appdata-wiz").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
  qb::TKeyStore keys(base + "/config/Quillbox/registry.reg");
  qb::wiz::TFakeDesktop desktop;
  qb::wiz::TWizardOptions options;
  options.IdlePriority = false;
  options.PauseMs = 0;
  qb::wiz::TfrmOEMain w(desktop, keys, options);
  w.show();
  w.rbOE->setChecked(true);
  w.btNext->click();
  w.rbOEChooseFolder->setChecked(true);
  w.txtOECustomFolder->setText(QString::fromStdString(store));
  w.btNext->click();  // folders
  w.btNext->click();  // options
  w.btNext->click();  // options 2
  w.txtOEDir->setText(QString::fromStdString(base + "/out-wiz"));
  w.cbUseFullFilename->setChecked(false);
  w.rb_DA_SU_OF->setChecked(true);

  QEventLoop loop;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  tick.setInterval(kTickMs);
  QElapsedTimer since;
  std::vector<qint64> lateness;  // microseconds
  QObject::connect(&tick, &QTimer::timeout, [&] {
    const qint64 us = since.nsecsElapsed() / 1000;
    since.start();
    lateness.push_back(std::max<qint64>(0, us - kTickMs * 1000));
    if (!w.Running) loop.quit();
  });
  clock.start();
  w.btNext->click();  // the run starts
  since.start();
  tick.start();
  loop.exec();
  const double wizSeconds = clock.nsecsElapsed() / 1e9;
  tick.stop();

  std::sort(lateness.begin(), lateness.end());
  auto pct = [&](double p) {
    return lateness.empty() ? 0.0
                            : lateness[std::min(lateness.size() - 1,
                                                static_cast<std::size_t>(p * lateness.size()))] /
                                  1000.0;
  };
  const std::size_t cliFiles = CountFiles(base + "/out-cli");
  const std::size_t wizFiles = CountFiles(base + "/out-wiz");
  std::printf("messages                    %d in %d folders\n", kMessages, kFolders);
  std::printf("files written               cli %zu, wizard %zu\n", cliFiles, wizFiles);
  std::printf("log lines in the window     %d\n", w.txtLogs->document()->blockCount());
  std::printf("quillbox-cli extract        %.2f s\n", cliSeconds);
  std::printf("wizard run                  %.2f s\n", wizSeconds);
  std::printf("ratio wizard / cli          %.2f\n", wizSeconds / cliSeconds);
  std::printf(
      "event-loop lateness (2 ms timer, %zu ticks): median %.2f ms, p99 %.2f ms, "
      "worst %.2f ms\n",
      lateness.size(), pct(0.5), pct(0.99), lateness.empty() ? 0.0 : lateness.back() / 1000.0);

  std::error_code ec;
  std::filesystem::remove_all(base, ec);
  return cliFiles == wizFiles ? 0 : 1;
}
