// quillbox-cli extract as a user runs it, on the sample store of
// make-sample-store: the log on stdout, the tree and bytes written, the
// options of the job, the destination check, identities and Ctrl-C.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "platform/paths.h"
#include "tests/app/cli_runner.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

const std::string kSep(86, '-');

using test::CliResult;

class ExtractCli : public ::testing::Test {
 protected:
  ExtractCli() {
    const CliResult r = Run({"make-sample-store", Store()});
    EXPECT_EQ(r.Status, 0) << r.Err;
  }

  // Runs the program with its history and key store inside the test's
  // directory and the C locale's dates.
  CliResult Run(const std::vector<std::string>& args) {
    return test::RunCli(
        args,
        {{"LC_ALL", "C"}, {"XDG_DATA_HOME", dir / "appdata"}, {"XDG_CONFIG_HOME", dir / "config"}});
  }
  CliResult Extract(std::vector<std::string> more) {
    std::vector<std::string> args = {"extract", "--store", Store(), "--dest", dir / "out"};
    args.insert(args.end(), more.begin(), more.end());
    return Run(args);
  }

  std::string Store() const { return dir / "store"; }
  std::string Out() const { return dir / "out/outlookExpress"; }
  std::vector<std::string> Tree() const { return test::ListTree(Out()); }

  test::TempDir dir;
};

std::string Log(const std::vector<std::string>& middle,
                const std::string& option = "    Extract All Message Attachments") {
  std::string s = "Starting With Options :\n" + option + "\n" + kSep + "\n";
  for (const auto& l : middle) s += l + "\n";
  return s;
}

const std::vector<std::string> kFolderLines = {
    "Reading Messages from Inbox.dbx ...",      "Attachments from 2 Messages are extracted",
    "Reading Messages from Work.dbx ...",       "Attachments from 2 Messages are extracted",
    "Reading Messages from Photos.dbx ...",     "Attachments from 1 Message is extracted",
    "Reading Messages from Sent Items.dbx ...", "Finished extracting all folders."};

TEST_F(ExtractCli, DefaultsExactLogTreeAndBytes) {
  const CliResult r = Extract({});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, Log(kFolderLines));
  // Layout 6 with full file names; the program stays out (shipped exclude
  // list), the uuencoded file is decoded.
  EXPECT_EQ(Tree(), (std::vector<std::string>{"2003.09.22 - figures.csv", "2003.09.22 - report.pdf",
                                              "2003.09.23 - notes.txt", "2003.10.02 - plan.rtf",
                                              "2003.10.03 - minutes.txt", "2003.10.11 - beach.bmp",
                                              "2003.10.11 - sunset.png"}));
  EXPECT_EQ(
      test::ReadFile(Out() + "/2003.10.03 - minutes.txt"),
      "Minutes, 3 October 2003\r\n\r\nPresent: Ann, Bob, Sam.\r\nThe budget is approved.\r\n");
  EXPECT_EQ(test::ReadFile(Out() + "/2003.09.22 - figures.csv"),
            "quarter,revenue,costs\r\nQ1,1200,800\r\nQ2,1350,820\r\nQ3,1500,870\r\n");
  EXPECT_EQ(test::ReadFile(Out() + "/2003.10.11 - sunset.png").substr(1, 3), "PNG");
  EXPECT_EQ(test::ReadFile(Out() + "/2003.09.22 - report.pdf").rfind("%PDF-1.4\n", 0), 0u);
  // Not a terminal: plain status lines, then the rows.
  EXPECT_NE(r.Err.find("\nInbox : Processing Message 4 of 4 ...\n"), std::string::npos);
  EXPECT_NE(r.Err.find("\nInbox : Extracting attachments from message 3 of 4 ...\n"),
            std::string::npos);
  EXPECT_NE(r.Err.find("folder\tInbox\t4\t2\t3\tFinished\n"), std::string::npos);
  EXPECT_NE(r.Err.find("folder\tSent Items\t0\t0\t0\tFinished\n"), std::string::npos);
  EXPECT_EQ(r.Err.find('\r'), std::string::npos);
  EXPECT_TRUE(FileExists(dir / "appdata/Quillbox/OE/OEMailData.ini"));
}

// The fixture's make-sample-store runs, yet --help does not offer it.
TEST_F(ExtractCli, SampleStoreCommandIsHiddenFromHelp) {
  const CliResult help = Run({"--help"});
  EXPECT_EQ(help.Status, 0);
  EXPECT_NE(help.Out.find("extract"), std::string::npos);
  EXPECT_EQ(help.Out.find("make-sample-store"), std::string::npos) << help.Out;
  EXPECT_TRUE(DirectoryExists(Store()));
}

TEST_F(ExtractCli, LayoutFolderAndListOptions) {
  CliResult r = Extract({"--layout", "1", "--no-full-file-name", "--folder", "Inbox.dbx",
                         "--exclude", "", "--pause-ms", "0"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out,
            Log({"Reading Messages from Inbox.dbx ...", "Attachments from 2 Messages are extracted",
                 "Finished extracting all folders."}));
  EXPECT_EQ(Tree(),
            (std::vector<std::string>{"2003.09.22/ann@example.com/Quarterly report/figures.csv",
                                      "2003.09.22/ann@example.com/Quarterly report/report.pdf",
                                      "2003.09.23/bob@example.net/Tool you asked for/notes.txt",
                                      "2003.09.23/bob@example.net/Tool you asked for/setup.exe"}));

  std::filesystem::remove_all(dir / "out");
  r = Extract({"--selected-only", "--include", "pdf, .BMP", "--exclude", "csv"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Tree(),
            (std::vector<std::string>{"2003.09.22 - report.pdf", "2003.10.11 - beach.bmp"}));

  std::filesystem::remove_all(dir / "out");
  r = Extract({"--layout", "0", "--full-file-name", "--folder", "Photos.dbx"});
  EXPECT_EQ(Tree(), (std::vector<std::string>{"2003.10.11 - Holiday pictures - beach.bmp",
                                              "2003.10.11 - Holiday pictures - sunset.png"}));
}

TEST_F(ExtractCli, DateIntervalAndSkipDuplicates) {
  CliResult r = Extract({"--date-from", "2003-09-23", "--date-to", "2003-10-02"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out.substr(0, r.Out.find(kSep)),
            "Starting With Options :\n    Extract All Message Attachments\n"
            "    Messages received between : 09/23/2003 and 10/02/2003\n");
  EXPECT_EQ(Tree(), (std::vector<std::string>{"2003.09.23 - notes.txt", "2003.10.02 - plan.rtf"}));

  // Everything read before is passed over; the counts of the rows stay.
  std::filesystem::remove_all(dir / "out");
  r = Extract({"--skip-duplicates"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Tree(), (std::vector<std::string>{"2003.09.22 - figures.csv", "2003.09.22 - report.pdf",
                                              "2003.10.03 - minutes.txt", "2003.10.11 - beach.bmp",
                                              "2003.10.11 - sunset.png"}));
  EXPECT_NE(r.Out.find("    Ignore Previously Extracted Attachments\n"), std::string::npos);
  EXPECT_NE(r.Err.find("folder\tInbox\t4\t1\t2\tFinished\n"), std::string::npos);
}

TEST_F(ExtractCli, DestinationThatCannotBeCreated) {
  test::WriteFile(dir / "file", "x");
  const CliResult r = Run({"extract", "--store", Store(), "--dest", dir / "file/out"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err,
            "Unable to Create the Destination directory.\r\n\r\nPlease select a new directory\n");
}

TEST_F(ExtractCli, UsageErrors) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"extract", "--dest", dir / "out"},
           {"extract", "--store", Store(), "--identity", "Main", "--dest", dir / "out"},
           {"extract", "--store", Store()},
           {"extract", "--store", Store(), "--dest", dir / "out", "--layout", "7"},
           {"extract", "--store", Store(), "--dest", dir / "out", "--date-from", "2003-02-30"},
           {"extract", "--store", Store(), "--dest", dir / "out", "--date-from", "21.09.2003"},
           {"extract", "--store", Store(), "--dest", dir / "out", "--date-from", "2003-10-02",
            "--date-to", "2003-09-01"},
           {"extract", "--store", Store(), "--dest", dir / "out", "--pause-ms", "-1"},
           {"extract", "--store", Store(), "--dest", dir / "out", "--source", "nntp"},
           {"extract", "--identity", "Nobody", "--dest", dir / "out"},
       }) {
    const CliResult r = Run(args);
    EXPECT_EQ(r.Status, 1) << args.back();
    EXPECT_EQ(r.Out, "");
    EXPECT_NE(r.Err, "");
  }
  EXPECT_FALSE(DirectoryExists(dir / "out"));
}

TEST_F(ExtractCli, MessagesInTheUsersLanguageLogLinesAsWritten) {
  struct Case {
    const char* Language;
    std::string Usage, Status;
    std::string Synopsis;  // of extract --help
    std::string Error;     // a reader's error, from the message catalogue
    std::string Import;    // a .reg file's damage, with its line
  };
  const std::string missing = dir / "none/folders.dbx";
  const std::string bad = dir / "bad.reg";
  test::WriteFile(bad, "REGEDIT4\n\n[HKEY_NOWHERE\\X]\n");
  for (const Case& c :
       {Case{"de", "quillbox-cli: --dest fehlt\nAufruf: quillbox-cli extract ",
             "\nAlle Ordner wurden extrahiert.\n",
             "Aufruf: quillbox-cli extract (--store VERZ | --identity NAME) --dest VERZ "
             "[--folder DATEI]...",
             "quillbox-cli: Die Datei „" + missing + "“ lässt sich nicht öffnen. ",
             "Zeile 3: unbekannter Stammschlüssel \"HKEY_NOWHERE\"; nichts wurde importiert"},
        Case{"fr", "quillbox-cli: --dest manquant\nusage\u00a0: quillbox-cli extract ",
             "\nExtraction de tous les dossiers terminée.\n",
             "usage\u00a0: quillbox-cli extract (--store RÉP | --identity NOM) --dest RÉP "
             "[--folder FICHIER]...",
             "quillbox-cli: Impossible d'ouvrir le fichier «\u00a0" + missing + "\u00a0». ",
             "ligne 3\u00a0: clé racine inconnue \"HKEY_NOWHERE\"\u00a0; rien n'a été importé"}}) {
    // LANGUAGE alone chooses, the C locale notwithstanding.
    const std::vector<std::pair<std::string, std::string>> env = {
        {"LC_ALL", "C"},
        {"LANGUAGE", c.Language},
        {"XDG_DATA_HOME", dir / "appdata"},
        {"XDG_CONFIG_HOME", dir / "config"}};
    const CliResult usage = test::RunCli({"extract", "--store", Store()}, env);
    EXPECT_EQ(usage.Err.rfind(c.Usage, 0), 0u) << usage.Err;
    const CliResult help = test::RunCli({"extract", "--help"}, env);
    EXPECT_EQ(help.Out.rfind(c.Synopsis, 0), 0u) << help.Out;
    const CliResult error = test::RunCli({"folders", dir / "none"}, env);
    EXPECT_EQ(error.Err.rfind(c.Error, 0), 0u) << error.Err;
    const CliResult import = test::RunCli({"import-registry", bad}, env);
    EXPECT_NE(import.Err.find(c.Import), std::string::npos) << import.Err;
    const CliResult run =
        test::RunCli({"extract", "--store", Store(), "--dest", dir / c.Language}, env);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Err.find(c.Status), std::string::npos) << run.Err;
    EXPECT_NE(run.Out.find("\nFinished extracting all folders.\n"), std::string::npos) << run.Out;
  }
}

TEST_F(ExtractCli, IdentityNamesTheStore) {
  // The key store as an import of a Windows export would leave it.
  test::WriteFile(dir / "config/Quillbox/registry.reg", test::IdentityRegistryExport(Store()));
  const CliResult ids = Run({"identities"});
  ASSERT_EQ(ids.Status, 0) << ids.Err;
  ASSERT_EQ(ids.Out, "Main Identity\t" + Store() + "\n");
  const CliResult r = Run(
      {"extract", "--identity", "Main Identity", "--dest", dir / "out", "--folder", "Photos.dbx"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(Tree(),
            (std::vector<std::string>{"2003.10.11 - beach.bmp", "2003.10.11 - sunset.png"}));
}

// A damaged store is no success: exit status 3, a log line telling how many
// messages were lost, the folder's row in error and the reader's notice.
TEST_F(ExtractCli, ADamagedStoreSaysHowManyMessagesWereLost) {
  const std::string whole = test::ReadFile(Store() + "/Inbox.dbx");
  struct Case {
    const char* What;
    std::string Image;
    const char* Lines;   // what the log has for Inbox
    const char* Row;     // the Inbox row on stderr
    const char* Notice;  // the notice on stderr
  };
  std::string more = whole;
  more.replace(196, 4, std::string("\xE7\x03\x00\x00", 4));  // item count 999
  const Case cases[] = {
      {"header announces more", more,
       "Unable to Read 995 of 999 Messages from Inbox.dbx\n"
       "Attachments from 2 Messages are extracted\n",
       "folder\tInbox\t4\t2\t3\tError\n",
       "quillbox-cli: Inbox.dbx: skipped damaged parts: item count 999 in the header, 4 in the "
       "tree\n"},
      {"cut short", whole.substr(0, whole.size() / 2),
       "Unable to Read 4 of 4 Messages from Inbox.dbx\n", "folder\tInbox\t0\t0\t0\tError\n",
       "quillbox-cli: Inbox.dbx: skipped damaged parts: 2 links to no tree node; item count 4 in "
       "the header, 0 in the tree\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    test::WriteFile(Store() + "/Inbox.dbx", c.Image);
    const CliResult r = Extract({"--folder", "Inbox.dbx"});
    EXPECT_EQ(r.Status, 3) << r.Err;
    EXPECT_EQ(r.Out, Log({"Reading Messages from Inbox.dbx ..."}) + c.Lines +
                         "Finished extracting all folders.\n");
    EXPECT_NE(r.Err.find(c.Row), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find(c.Notice), std::string::npos) << r.Err;
  }
  test::WriteFile(Store() + "/Inbox.dbx", whole);
  const CliResult sound = Extract({"--folder", "Inbox.dbx"});
  EXPECT_EQ(sound.Status, 0) << sound.Err;
  EXPECT_EQ(sound.Err.find("skipped damaged parts"), std::string::npos) << sound.Err;
}

// Ctrl-C stops the run after the current message; during a long pause it
// ends the pause at once.
TEST_F(ExtractCli, CtrlCStopsTheRun) {
  for (const char* pause : {"300", "20000"}) {
    SCOPED_TRACE(pause);
    test::TempDir io;
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::freopen((io / "out").c_str(), "w", stdout);
      std::freopen((io / "err").c_str(), "w", stderr);
      ::setenv("XDG_DATA_HOME", (dir / "appdata").c_str(), 1);
      ::execl(QB_CLI_PATH, QB_CLI_PATH, "extract", "--store", Store().c_str(), "--dest",
              (dir / "out").c_str(), "--pause-ms", pause, static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Wait until the first folder is being read, then press Ctrl-C. The
    // line comes at once although the worker then sits in a long pause.
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (FileExists(io / "out") &&
          test::ReadFile(io / "out").find("Reading Messages") != std::string::npos)
        break;
    }
    const auto pressed = std::chrono::steady_clock::now();
    EXPECT_LT(pressed - started, std::chrono::seconds(3));
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    // Generous: a pause that ran out would take 20 seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, std::chrono::seconds(5));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    const std::string out = test::ReadFile(io / "out");
    EXPECT_EQ(out.substr(out.size() - 17), "Stopped by User.\n");
    EXPECT_EQ(out.find("Reading Messages from Photos.dbx"), std::string::npos);
  }
}

// A disk that fills up mid-run (a file-size limit here): no file is left
// cut short under its name, the log names each failed write, the run ends
// with status 3, and a rerun with the skip choice recovers every file.
TEST_F(ExtractCli, AFullDiskLeavesNoPartFileAndARerunWithSkipRecoversAll) {
  ASSERT_EQ(Extract({}).Status, 0);
  std::map<std::string, std::string> whole;
  for (const std::string& name : Tree()) whole[name] = test::ReadFile(Out() + "/" + name);
  std::filesystem::remove_all(dir / "out");
  std::filesystem::remove_all(dir / "appdata");

  CliResult cut;
  {
    test::FileSizeLimit limit(2048);
    ASSERT_TRUE(limit.Set());
    cut = Extract({});
  }

  EXPECT_EQ(cut.Status, 3) << cut.Err;
  // The photos do not fit: their message fails where the disk first says
  // no (decoding or saving), and the log says so.
  EXPECT_TRUE(cut.Out.find("Unable to Save Attachment " + Out() + "/2003.10.11 - beach.bmp") !=
                  std::string::npos ||
              cut.Out.find("Error opening Messages (0) in Photos.dbx") != std::string::npos)
      << cut.Out;
  const std::vector<std::string> left = Tree();
  EXPECT_LT(left.size(), whole.size());
  for (const std::string& name : left) {
    ASSERT_TRUE(whole.count(name)) << name;  // no temporary left behind either
    EXPECT_EQ(test::ReadFile(Out() + "/" + name), whole[name]) << name;
  }

  const CliResult again = Extract({"--skip-duplicates"});
  EXPECT_EQ(again.Status, 0) << again.Err;
  EXPECT_EQ(Tree().size(), whole.size());
  for (const auto& [name, bytes] : whole) EXPECT_EQ(test::ReadFile(Out() + "/" + name), bytes);
}

// A run that finished but left a wanted file unwritten, or a folder
// unopened, ends with status 3; its log is unchanged.
TEST_F(ExtractCli, ExitStatusThreeWhenSomethingWantedWasNotDone) {
  test::WriteFile(dir / "out/outlookExpress", "a file where a directory belongs");
  CliResult r = Extract({"--folder", "Inbox.dbx"});
  EXPECT_EQ(r.Status, 3) << r.Err;
  EXPECT_NE(r.Out.find("Unable to Create Directory - "), std::string::npos);
  EXPECT_NE(r.Out.find("Finished extracting all folders."), std::string::npos);

  ::unlink((dir / "out/outlookExpress").c_str());
  r = Extract({"--folder", "Inbox.dbx", "--folder", "Missing.dbx"});
  EXPECT_EQ(r.Status, 3) << r.Err;
  EXPECT_NE(r.Out.find("Errror opening Missing.dbx"), std::string::npos);

  r = Extract({"--folder", "Inbox.dbx"});
  EXPECT_EQ(r.Status, 0) << r.Err;

  // No history can be kept where a file stands in for its folder.
  std::filesystem::remove_all(dir / "appdata");
  test::WriteFile(dir / "appdata", "");
  r = Extract({"--folder", "Inbox.dbx"});
  EXPECT_EQ(r.Status, 3);
  EXPECT_NE(r.Err.find("the history could not be kept"), std::string::npos) << r.Err;
}

}  // namespace
}  // namespace qb
