#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/naming.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/safefile.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

const TDateTime kDate = EncodeDate(2003, 9, 21) + EncodeTime(10, 30, 0);

TNamingOptions Options(int layout, bool full, const std::string& dest = "/d") {
  TNamingOptions o;
  o.DestinationDir = dest;
  o.Source = TSourceKind::OutlookExpress;
  o.Layout = layout;
  o.FullFileName = full;
  return o;
}

TEST(CleanNamePart, TrimsReplacesForbiddenCharactersAndDoubleDots) {
  EXPECT_EQ(CleanNamePart("  Re: a/b \t"), "Re_ a_b");
  EXPECT_EQ(CleanNamePart("a\\b:c>d<e*f\"g?h|i"), "a_b_c_d_e_f_g_h_i");
  EXPECT_EQ(CleanNamePart(".."), "_");
  EXPECT_EQ(CleanNamePart("..."), "_.");
  EXPECT_EQ(CleanNamePart("...."), "__");
  EXPECT_EQ(CleanNamePart("../../x"), "____x");
  // Control characters inside go the way of the other unsafe characters.
  EXPECT_EQ(CleanNamePart("\x01\x1f x \x7f"), "x _");
  EXPECT_EQ(CleanNamePart("a\x1b[31mb\r\nc\td"), "a_[31mb__c_d");
  EXPECT_EQ(CleanNamePart(""), "");
}

TEST(FormatDatePart, YearMonthDayWithTwoDigitMonthAndDay) {
  EXPECT_EQ(FormatDatePart(kDate), "2003.09.21");
  EXPECT_EQ(FormatDatePart(EncodeDate(1999, 12, 1)), "1999.12.01");
  EXPECT_EQ(FormatDatePart(0), "1899.12.30");
  // Values no calendar holds fall back to day 0 instead of misbehaving.
  EXPECT_EQ(FormatDatePart(1e300), "1899.12.30");
  EXPECT_EQ(FormatDatePart(std::nan("")), "1899.12.30");
}

struct LayoutCase {
  int Layout;
  const char* Directory;  // below /d/outlookExpress/
  const char* Prefix;     // with the full-file-name option
};

TEST(BuildTargetPath, EveryLayoutWithAndWithoutFullFileName) {
  const LayoutCase cases[] = {
      {0, "2003.09.21/Offer/", "2003.09.21 - Offer - "},
      {1, "2003.09.21/bob@x.org/Offer/", "2003.09.21 - bob@x.org - Offer - "},
      {2, "bob@x.org/2003.09.21/", "bob@x.org - 2003.09.21 - "},
      {3, "bob@x.org/Offer/2003.09.21/", "bob@x.org - Offer - 2003.09.21 - "},
      {4, "Offer/2003.09.21/bob@x.org/", "Offer - 2003.09.21 - bob@x.org - "},
      {5, "Offer/bob@x.org/2003.09.21/", "Offer - bob@x.org - 2003.09.21 - "},
      {6, "2003.09.21/", "2003.09.21 - "},
      {99, "2003.09.21/Offer/", "2003.09.21 - Offer - "},  // unknown: layout 0
  };
  for (const LayoutCase& c : cases) {
    const TTargetPath plain =
        BuildTargetPath("Offer", " bob@x.org ", kDate, Options(c.Layout, false));
    EXPECT_EQ(plain.Directory, std::string("/d/outlookExpress/") + c.Directory) << c.Layout;
    EXPECT_EQ(plain.Prefix, "") << c.Layout;
    const TTargetPath full = BuildTargetPath("Offer", "bob@x.org", kDate, Options(c.Layout, true));
    EXPECT_EQ(full.Directory, "/d/outlookExpress/") << c.Layout;
    EXPECT_EQ(full.Prefix, c.Prefix) << c.Layout;
  }
}

TEST(BuildTargetPath, RootPerSourceAndTrailingSeparator) {
  TNamingOptions o = Options(6, false, "/dest/");
  o.Source = TSourceKind::Outlook;
  EXPECT_EQ(BuildTargetPath("", "", kDate, o).Directory, "/dest/outlook/2003.09.21/");
  EXPECT_EQ(RootDirectory("/x", TSourceKind::OutlookExpress), "/x/outlookExpress/");
}

TEST(BuildTargetPath, EmptyPartsLeaveNoEmptyLevel) {
  EXPECT_EQ(BuildTargetPath("", "s", kDate, Options(0, false)).Directory,
            "/d/outlookExpress/2003.09.21/");
  // Date, then three separators, which the doubled-separator rule makes two.
  EXPECT_EQ(BuildTargetPath("  ", "", kDate, Options(1, false)).Directory,
            "/d/outlookExpress/2003.09.21//");
  EXPECT_EQ(BuildTargetPath("", "", kDate, Options(1, true)).Prefix, "2003.09.21 -  - ");
}

TEST(BuildTargetPath, SubjectsThatLookLikePathsStayOneLevel) {
  EXPECT_EQ(BuildTargetPath("Re: a/b", "", kDate, Options(0, false)).Directory,
            "/d/outlookExpress/2003.09.21/Re_ a_b/");
  EXPECT_EQ(BuildTargetPath("..", "", kDate, Options(4, false)).Directory,
            "/d/outlookExpress/_/2003.09.21/");
  EXPECT_EQ(BuildTargetPath("../../x", "..\\..", kDate, Options(5, false)).Directory,
            "/d/outlookExpress/____x/___/2003.09.21/");
}

TEST(BuildTargetPath, NamesAreUtf8OrConvertedFromTheCodePage) {
  SetSystemCodePage("CP1252");
  // "Café" as Windows-1252 bytes, and the same word already in UTF-8.
  EXPECT_EQ(BuildTargetPath("Caf\xE9", "", kDate, Options(4, false)).Directory,
            "/d/outlookExpress/Caf\xC3\xA9/2003.09.21/");
  EXPECT_EQ(BuildTargetPath("Caf\xC3\xA9", "", kDate, Options(4, false)).Directory,
            "/d/outlookExpress/Caf\xC3\xA9/2003.09.21/");
  // Each part is judged on its own: a UTF-8 sender beside a 1252 subject.
  EXPECT_EQ(BuildTargetPath("\x80uro", "J\xC3\xB6rg", kDate, Options(5, false)).Directory,
            "/d/outlookExpress/\xE2\x82\xACuro/J\xC3\xB6rg/2003.09.21/");
  SetSystemCodePage("");
}

TEST(AttachmentName, ExtensionAndBaseName) {
  EXPECT_EQ(SplitAttachmentName("archive.tar.gz").Extension, ".gz");
  EXPECT_EQ(SplitAttachmentName("archive.tar.gz").Base, "archive.tar");
  EXPECT_EQ(SplitAttachmentName("README").Extension, "");
  EXPECT_EQ(SplitAttachmentName("README").Base, "README");
  EXPECT_EQ(SplitAttachmentName("C:\\dir.x\\file").Extension, "");
  EXPECT_EQ(SplitAttachmentName("C:\\dir\\report.doc").Base, "report");
  EXPECT_EQ(SplitAttachmentName("a/b.c/d.txt").Base, "d");
  EXPECT_EQ(SplitAttachmentName("x:y.pdf").Base, "y");
  // The first occurrence of the extension text goes, as the rule says.
  EXPECT_EQ(SplitAttachmentName("a.b.a.b").Base, "a.a.b");
}

TEST(AttachmentName, FilePath) {
  const TTargetPath plain{"/d/outlookExpress/2003.09.21/Offer/", "", "", {}};
  EXPECT_EQ(AttachmentFilePath(plain, "report.doc"),
            "/d/outlookExpress/2003.09.21/Offer/report.doc");
  EXPECT_EQ(AttachmentFilePath(plain, "..\\..\\evil.exe"),
            "/d/outlookExpress/2003.09.21/Offer/evil.exe");
  EXPECT_EQ(AttachmentFilePath(plain, "a..b.txt"), "/d/outlookExpress/2003.09.21/Offer/a_b.txt");
  EXPECT_EQ(AttachmentFilePath(plain,
                               "\x1b]0;x\x07"
                               "ev\nil.t\x1bt"),
            "/d/outlookExpress/2003.09.21/Offer/]0;x_ev_il.t_t");
  const TTargetPath full{"/d/outlookExpress/", "2003.09.21 - Offer - ", "", {}};
  EXPECT_EQ(AttachmentFilePath(full, "report.doc"),
            "/d/outlookExpress/2003.09.21 - Offer - report.doc");
  SetSystemCodePage("CP1252");
  EXPECT_EQ(AttachmentFilePath(plain, "r\xE9sum\xE9.doc"),
            "/d/outlookExpress/2003.09.21/Offer/r\xC3\xA9sum\xC3\xA9.doc");
  EXPECT_EQ(AttachmentFilePath(plain, "r\xC3\xA9sum\xC3\xA9.doc"),
            "/d/outlookExpress/2003.09.21/Offer/r\xC3\xA9sum\xC3\xA9.doc");
  SetSystemCodePage("");
}

bool ValidUtf8(const std::string& s) {
  return ToUtf8Edge(s) == s;
}

TEST(AttachmentName, NamesTooLongForTheFileSystemAreShortened) {
  const std::string cyrillic = [] {
    std::string s;
    for (int i = 0; i < 74; ++i) s += "\xD0\x96";  // 148 bytes
    return s;
  }();
  const std::string name120 = std::string(116, 'n') + ".pdf";
  struct Case {
    std::string Subject, FileName;
    bool Full;
    int N;
    std::string Tail;      // the name ends in this
    std::string Contains;  // and holds this whole
  } cases[] = {
      {"S", std::string(300, 'a') + ".pdf", false, 1, ".pdf", std::string(251, 'a')},
      {"S", std::string(300, 'a') + ".pdf", true, 2, "a (2).pdf", "2003.09.21 - S - aaa"},
      // Subject before the attachment's own name.
      {cyrillic, name120, true, 1, name120, "2003.09.21 - \xD0\x96"},
      {cyrillic, name120, true, 3, std::string(116, 'n') + " (3).pdf", "2003.09.21 - "},
      {"S", std::string(150, '\xE9') + ".doc", false, 1, ".doc", "\xC3\xA9\xC3\xA9"},
      {"S", "x." + std::string(300, 'e'), false, 1, "", "x.eee"},
  };
  SetSystemCodePage("CP1252");
  for (const Case& c : cases) {
    const TTargetPath t = BuildTargetPath(c.Subject, "", kDate, Options(0, c.Full));
    const std::string name = AttachmentFileName(t, c.FileName, c.N);
    EXPECT_LE(name.size(), 255u) << name;
    EXPECT_GE(name.size(), 250u) << name;
    EXPECT_TRUE(ValidUtf8(name)) << name;
    EXPECT_EQ(name.substr(name.size() - c.Tail.size()), c.Tail) << name;
    EXPECT_NE(name.find(c.Contains), std::string::npos) << name;
  }
  SetSystemCodePage("");
  // A directory level holds at most 255 bytes too, cut between characters.
  const TTargetPath deep = BuildTargetPath(cyrillic + cyrillic, "", kDate, Options(0, false));
  EXPECT_EQ(deep.Directory,
            "/d/outlookExpress/2003.09.21/" + (cyrillic + cyrillic).substr(0, 254) + "/");
}

TEST(IsExtensionWanted, ExcludeListAndMissingExtension) {
  const std::vector<std::string> exclude{".EXE", ".BAT"};
  EXPECT_TRUE(IsExtensionWanted("report.doc", exclude));
  EXPECT_FALSE(IsExtensionWanted("x.exe", exclude));
  EXPECT_FALSE(IsExtensionWanted("X.Exe", exclude));
  EXPECT_FALSE(IsExtensionWanted("README", {}));
  EXPECT_FALSE(IsExtensionWanted("dir.d\\README", {}));
  EXPECT_TRUE(IsExtensionWanted("archive.tar.gz", exclude));
  EXPECT_FALSE(IsExtensionWanted("run.exe ", exclude)) << "blanks around the extension go";
  EXPECT_TRUE(IsExtensionWanted("odd.", {}));
}

// Writing --------------------------------------------------------------------

struct WriteLog {
  std::vector<std::string> Lines;
  std::vector<std::string> Written;
  int Pauses = 0;
  TWriteReport Report() {
    TWriteReport r;
    r.MessageNumber = "4";
    r.Folder = "Inbox.dbx";
    r.Pause = [this] { ++Pauses; };
    r.Log = [this](const std::string& l) { Lines.push_back(l); };
    r.Written = [this](const std::string& p) { Written.push_back(p); };
    return r;
  }
};

TAttachmentToWrite Bytes(const std::string& name, const std::string& data) {
  return {name, [data](const std::string& path) { return SaveBytesToFile(path, data); }};
}

TEST(WriteAttachments, WritesWantedFilesAndSkipsTheRest) {
  test::TempDir dest;
  WriteLog log;
  const TTargetPath t = BuildTargetPath("Offer", "bob", kDate, Options(0, false, dest.Path()));
  const int n = WriteAttachments(t, {".EXE"},
                                 {Bytes("report.doc", "R"), Bytes("x.EXE", "X"),
                                  Bytes("README", "-"), Bytes("archive.tar.gz", "G")},
                                 log.Report());
  EXPECT_EQ(n, 2);
  EXPECT_EQ(log.Pauses, 2);
  EXPECT_TRUE(log.Lines.empty());
  EXPECT_EQ(test::ListTree(dest.Path()),
            (std::vector<std::string>{"outlookExpress/2003.09.21/Offer/archive.tar.gz",
                                      "outlookExpress/2003.09.21/Offer/report.doc"}));
  EXPECT_EQ(test::ReadFile(dest / "outlookExpress/2003.09.21/Offer/report.doc"), "R");
}

TEST(WriteAttachments, NamesTakenByOtherBytesGoOnToTheNextFreeNumber) {
  test::TempDir dest;
  const TTargetPath t = BuildTargetPath("", "", kDate, Options(6, true, dest.Path()));
  test::WriteFile(dest / "outlookExpress/2003.09.21 - x.txt", "the user's own");
  const std::vector<TAttachmentToWrite> files{Bytes("a/x.txt", "1"), Bytes("b\\x.txt", "2"),
                                              Bytes("x.txt", "1"), Bytes("y.txt", "")};
  // The second run over the same message writes nothing new and still counts
  // every file as there.
  for (int run = 0; run < 2; ++run) {
    WriteLog log;
    EXPECT_EQ(WriteAttachments(t, {}, files, log.Report()), 4) << run;
    EXPECT_TRUE(log.Lines.empty()) << run;
    EXPECT_EQ(log.Written,
              (std::vector<std::string>{
                  t.Directory + "2003.09.21 - x (2).txt", t.Directory + "2003.09.21 - x (3).txt",
                  t.Directory + "2003.09.21 - x (2).txt", t.Directory + "2003.09.21 - y.txt"}));
    EXPECT_EQ(test::ListTree(dest.Path()),
              (std::vector<std::string>{
                  "outlookExpress/2003.09.21 - x (2).txt", "outlookExpress/2003.09.21 - x (3).txt",
                  "outlookExpress/2003.09.21 - x.txt", "outlookExpress/2003.09.21 - y.txt"}));
  }
  EXPECT_EQ(test::ReadFile(dest / "outlookExpress/2003.09.21 - x.txt"), "the user's own");
  EXPECT_EQ(test::ReadFile(dest / "outlookExpress/2003.09.21 - x (2).txt"), "1");
  EXPECT_EQ(test::ReadFile(dest / "outlookExpress/2003.09.21 - x (3).txt"), "2");
}

TEST(WriteAttachments, DirectoryThatCannotBeCreatedStopsTheMessage) {
  test::TempDir dest;
  test::WriteFile(dest / "outlookExpress", "a file where the root should be");
  WriteLog log;
  int failed = 0;
  TWriteReport report = log.Report();
  report.Failed = [&] { ++failed; };
  const TTargetPath t = BuildTargetPath("S", "", kDate, Options(0, false, dest.Path()));
  EXPECT_EQ(WriteAttachments(
                t, {}, {Bytes("a.txt", "1"), Bytes("README", "-"), Bytes("b.txt", "2")}, report),
            0);
  EXPECT_EQ(log.Lines, std::vector<std::string>{"Unable to Create Directory - " + t.Directory});
  EXPECT_EQ(log.Pauses, 0);
  EXPECT_EQ(failed, 2) << "every wanted attachment of the message";
}

TEST(WriteAttachments, FileThatCannotBeWrittenIsLoggedAndTheNextOneTried) {
  test::TempDir dest;
  const TTargetPath t = BuildTargetPath("S", "", kDate, Options(0, false, dest.Path()));
  ForceDirectories(t.Directory + "a.txt");  // a directory in the way: the next name
  WriteLog log;
  int failed = 0;
  TWriteReport report = log.Report();
  report.Failed = [&] { ++failed; };
  TAttachmentToWrite throwing{
      "c.txt", [](const std::string&) -> bool { throw std::runtime_error("decoder failed"); }};
  TAttachmentToWrite refusing{"d.txt", [](const std::string&) { return false; }};
  const int n = WriteAttachments(
      t, {}, {Bytes("a.txt", "1"), throwing, refusing, Bytes("b.txt", "2")}, report);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(failed, 2);
  EXPECT_EQ(log.Lines,
            (std::vector<std::string>{
                "Unable to Save Attachment " + t.Directory + "c.txt of Message(4) in Inbox.dbx",
                "Unable to Save Attachment " + t.Directory + "d.txt of Message(4) in Inbox.dbx"}));
  EXPECT_EQ(log.Written,
            (std::vector<std::string>{t.Directory + "a (2).txt", t.Directory + "b.txt"}));
  EXPECT_EQ(test::ListTree(dest.Path()),
            (std::vector<std::string>{"outlookExpress/2003.09.21/S/a (2).txt",
                                      "outlookExpress/2003.09.21/S/b.txt"}));
}

TEST(WriteAttachments, SymbolicLinksBelowTheDestinationAreNeverFollowed) {
  // A link at the file's name is passed over like any name that is taken;
  // a link at a directory level fails the directory.
  struct Case {
    const char* LinkAt;  // below dest
    const char* LinkTo;  // below outside
    bool DirectoryFails;
  } cases[] = {
      {"outlookExpress/2003.09.21/S/a.txt", "victim.txt", false},
      {"outlookExpress/2003.09.21/S/a.txt", "new.txt", false},  // dangling
      {"outlookExpress/2003.09.21/S", "", true},
      {"outlookExpress/2003.09.21", "", true},
      {"outlookExpress", "", true},
  };
  for (const Case& c : cases) {
    test::TempDir outer;
    const std::string dest = outer / "dest";
    const std::string outside = outer / "outside";
    test::WriteFile(outside + "/victim.txt", "untouched");
    const std::string at = dest + "/" + c.LinkAt;
    const std::string to = outside + "/" + c.LinkTo;
    ForceDirectories(at.substr(0, at.rfind('/')));
    ASSERT_EQ(::symlink(to.c_str(), at.c_str()), 0);
    const TTargetPath t = BuildTargetPath("S", "", kDate, Options(0, false, dest));
    WriteLog log;
    int failed = 0;
    TWriteReport report = log.Report();
    report.Failed = [&] { ++failed; };
    EXPECT_EQ(WriteAttachments(t, {}, {Bytes("a.txt", "new bytes")}, report),
              c.DirectoryFails ? 0 : 1)
        << c.LinkAt;
    EXPECT_EQ(failed, c.DirectoryFails ? 1 : 0) << c.LinkAt;
    if (c.DirectoryFails) {
      EXPECT_EQ(log.Lines, std::vector<std::string>{"Unable to Create Directory - " + t.Directory})
          << c.LinkAt;
    } else {
      EXPECT_EQ(log.Lines, std::vector<std::string>{}) << c.LinkAt;
      EXPECT_EQ(log.Written, std::vector<std::string>{t.Directory + "a (2).txt"}) << c.LinkAt;
      EXPECT_EQ(test::ReadFile(t.Directory + "a (2).txt"), "new bytes");
      char target[4096] = {};
      ASSERT_GT(::readlink(at.c_str(), target, sizeof target - 1), 0);
      EXPECT_EQ(std::string(target), to) << "the link stays as it was";
    }
    EXPECT_EQ(test::ListTree(outside), std::vector<std::string>{"victim.txt"}) << c.LinkAt;
    EXPECT_EQ(test::ReadFile(outside + "/victim.txt"), "untouched") << c.LinkAt;
  }
}

TEST(WriteAttachments, ADirectoryThatCannotBeMadeIsToldOncePerRun) {
  test::TempDir dest;
  test::WriteFile(dest / "outlookExpress", "a file where the root should be");
  std::set<std::string> told;
  WriteLog log;
  TWriteReport report = log.Report();
  report.FirstDirectoryFailure = [&](const std::string& d) { return told.insert(d).second; };
  const TTargetPath t = BuildTargetPath("S", "", kDate, Options(6, false, dest.Path()));
  for (int message = 0; message < 3; ++message)
    EXPECT_EQ(WriteAttachments(t, {}, {Bytes("a.txt", "1"), Bytes("b.txt", "2")}, report), 0);
  EXPECT_EQ(log.Lines, std::vector<std::string>{"Unable to Create Directory - " + t.Directory});
}

TEST(WriteAttachments, ANameOfDotsAloneHasNoExtension) {
  for (const char* name : {".", ".."}) {
    EXPECT_EQ(SplitAttachmentName(name).Extension, "") << name;
    EXPECT_FALSE(IsExtensionWanted(name, {})) << name;
    test::TempDir dest;
    WriteLog log;
    const TTargetPath t = BuildTargetPath("S", "", kDate, Options(0, false, dest.Path()));
    EXPECT_EQ(WriteAttachments(t, {}, {Bytes(name, "x"), Bytes("b.txt", "2")}, log.Report()), 1);
    EXPECT_EQ(log.Lines, std::vector<std::string>{}) << name;
  }
}

TEST(WriteAttachments, DestinationThatIsItselfALinkIsUsed) {
  test::TempDir outer;
  ForceDirectories(outer / "disk");
  ASSERT_EQ(::symlink((outer / "disk").c_str(), (outer / "Attachments").c_str()), 0);
  WriteLog log;
  const TTargetPath t = BuildTargetPath("S", "", kDate, Options(0, false, outer / "Attachments"));
  const std::string longName = std::string(300, 'l') + ".pdf";
  EXPECT_EQ(WriteAttachments(t, {}, {Bytes("a.txt", "A"), Bytes(longName, "L")}, log.Report()), 2);
  EXPECT_TRUE(log.Lines.empty());
  EXPECT_EQ(
      test::ListTree(outer / "disk"),
      (std::vector<std::string>{"outlookExpress/2003.09.21/S/a.txt",
                                "outlookExpress/2003.09.21/S/" + std::string(251, 'l') + ".pdf"}));
}

TEST(WriteAttachments, AWriteCutShortLeavesNoFileUnderAnyName) {
  test::TempDir dest;
  const TTargetPath t = BuildTargetPath("S", "", kDate, Options(0, false, dest.Path()));
  // A file system that takes 4096 bytes per file: a larger write fails.
  WriteLog log;
  int failed = 0;
  TWriteReport report = log.Report();
  report.Failed = [&] { ++failed; };
  int n = 0;
  {
    test::FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.Set());
    n = WriteAttachments(
        t, {}, {Bytes("huge.zip", std::string(100000, 'z')), Bytes("small.txt", "s")}, report);
  }
  EXPECT_EQ(n, 1);
  EXPECT_EQ(failed, 1);
  EXPECT_EQ(log.Lines, std::vector<std::string>{"Unable to Save Attachment " + t.Directory +
                                                "huge.zip of Message(4) in Inbox.dbx"});
  // No partial file, and no temporary either.
  EXPECT_EQ(test::ListTree(dest.Path()),
            std::vector<std::string>{"outlookExpress/2003.09.21/S/small.txt"});
}

// Streamed attachments arrive in pieces; one whose temporary is taken away
// while it is written (a virus scanner) leaves a report instead; one whose
// stream fails is logged.
TEST(WriteAttachments, StreamedFilesInPiecesReportsAndFailures) {
  test::TempDir dest;
  const TTargetPath t = BuildTargetPath("S", "", kDate, Options(0, false, dest.Path()));
  const auto streamed = [](const std::string& name, std::function<bool(const TWriteBytes&)> f) {
    TAttachmentToWrite a;
    a.FileName = name;
    a.Stream = std::move(f);
    return a;
  };
  const auto pieces = [](const TWriteBytes& write) {
    return write("one ", 4) && write("two ", 4) && write("three", 5);
  };
  const auto scanner = [&](const TWriteBytes& write) {
    for (const auto& e : std::filesystem::directory_iterator(t.Directory))
      if (e.path().filename().string().rfind(".qb-", 0) == 0) std::filesystem::remove(e.path());
    return write("MZ", 2);
  };
  WriteLog log;
  // Only a named temporary can be taken away.
  TPendingFile::UnnamedAllowed = false;
  const int n = WriteAttachments(t, {},
                                 {streamed("a.pdf", pieces), streamed("Setup.exe ", scanner),
                                  streamed("c.doc", [](const TWriteBytes&) { return false; })},
                                 log.Report());
  TPendingFile::UnnamedAllowed = true;
  EXPECT_EQ(n, 2);
  EXPECT_EQ(test::ReadFile(dest / "outlookExpress/2003.09.21/S/a.pdf"), "one two three");
  EXPECT_EQ(test::ReadFile(dest / "outlookExpress/2003.09.21/S/virus_report.txt"),
            "Setup.exe cannot be opened.\r\nThis is generally due to virus protection software "
            "suspecting a virus in the attachment.\r\nThe contents of the attachment has been "
            "stripped.");
  EXPECT_EQ(log.Lines, std::vector<std::string>{"Unable to Save Attachment " + t.Directory +
                                                "c.doc of Message(4) in Inbox.dbx"});
  EXPECT_EQ(test::ListTree(dest.Path()).size(), 2u) << "no temporary is left";
}

// A run killed while it writes a file leaves nothing in the target
// directory: the file has no name until it is placed.
TEST(WriteAttachments, AKilledWriterLeavesNoTemporary) {
  test::TempDir dest;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TSafeDir dir;
    if (!dir.Open(dest.Path(), "S", true)) ::_exit(2);
    TPendingFile file(dir);
    if (!file.IsOpen() || !file.Write("half", 4)) ::_exit(2);
    ::_exit(file.TempName().empty() ? 0 : 1);  // killed: no destructor runs
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_NE(WEXITSTATUS(status), 2);
  if (WEXITSTATUS(status) == 1) GTEST_SKIP() << "no files without a name on this file system";
  EXPECT_TRUE(test::ListTree(dest.Path()).empty());
}

TEST(WriteAttachments, NothingIsWrittenOutsideTheDestination) {
  test::TempDir outer;
  const std::string dest = outer / "dest";
  const char* subjects[] = {"..", "../../x", "..\\..\\..", "/etc", ".", "...", " .. "};
  const char* names[] = {"../../../up.txt", "..",      "...", ".\\.\\..txt", "..\\..\\..\\x.txt",
                         "/abs/path.txt",   "a\0b.txt"};
  int written = 0;
  for (int layout = 0; layout <= 6; ++layout) {
    for (bool full : {false, true}) {
      for (const char* s : subjects) {
        std::vector<TAttachmentToWrite> atts;
        for (const char* n : names) atts.push_back(Bytes(n, "x"));
        atts.push_back(Bytes(std::string("nul\0/../..x.txt", 15), "x"));
        WriteLog log;
        written += WriteAttachments(BuildTargetPath(s, s, kDate, Options(layout, full, dest)), {},
                                    atts, log.Report());
      }
    }
  }
  EXPECT_GT(written, 0);
  for (const std::string& f : test::ListTree(outer.Path()))
    EXPECT_EQ(f.rfind("dest/outlookExpress/", 0), 0u) << f;
}

}  // namespace
}  // namespace qb
