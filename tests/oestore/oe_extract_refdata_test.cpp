// The Outlook Express worker on real stores that nobody here wrote: every
// attachment is written with the bytes an independent decoder gives
// (tests/data/oestore/extract_refdata_sha256.txt, made with undbx and
// Python's email package by extract_make_sha256.py).
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <set>
#include <sstream>
#include <utility>

#include "oestore/oOExpressThrd.h"
#include "platform/paths.h"
#include "tests/oestore/dbxtest_util.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

using TShaName = std::pair<std::string, std::string>;  // SHA-256, file name

// The attachments the independent decoder found in one store.
std::set<TShaName> Expected(const std::string& store) {
  std::ifstream in(test::TestDataDir("oestore") + "/extract_refdata_sha256.txt");
  std::set<TShaName> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t a = line.find('\t'), b = line.find('\t', a + 1);
    if (line.substr(a + 1, b - a - 1) == store) out.insert({line.substr(0, a), line.substr(b + 1)});
  }
  return out;
}

struct TRefRun {
  test::TempDir Dir;
  test::ScopedEnv DataHome{"XDG_DATA_HOME", Dir / "appdata"};
  test::RecordingView View;
  std::atomic<std::uint8_t> Stop{0};
  TExtractionJob Job;

  TRefRun(const std::string& store, const std::string& file, std::vector<std::string> exclude) {
    Job.StoreFolder = test::RefDataDir() + "/dbx/" + store;
    Job.DestinationDir = Dir / "out";
    Job.Folders = {{"Folder", file, "", ""}};
    Job.ExcludeExt = std::move(exclude);
    Job.PauseMs = 0;
    Job.View = &View;
    Job.StopRequested = &Stop;
  }
  void Run() {
    TOEExtracter worker(Job);
    worker.Resume();
    worker.WaitFor();
  }
  std::string Out() const { return Dir / "out/outlookExpress"; }
  // What was written: SHA-256 and the name after the date prefix.
  std::set<TShaName> Written() const {
    std::set<TShaName> out;
    for (const std::string& f : test::ListTree(Out())) {
      const std::size_t dash = f.find(" - ");
      out.insert({test::Sha256Hex(test::ReadFile(Out() + "/" + f)),
                  dash == std::string::npos ? f : f.substr(dash + 3)});
    }
    return out;
  }
};

bool HaveRefData() {
  return FileExists(test::RefDataDir() + "/dbx/iped/test_OutlookDBX.dbx");
}

TEST(OEExtractRefData, DbxconvertStoreGivesItsJpeg) {
  if (!HaveRefData()) GTEST_SKIP() << "reference stores not found";
  TRefRun run("dbxconvert", "test.dbx", {".EXE"});
  run.Run();
  EXPECT_EQ(test::ListTree(run.Out()), (std::vector<std::string>{"2016.09.12 - attachment.jpg"}));
  EXPECT_EQ(run.Written(), Expected("dbxconvert/test.dbx"));
  EXPECT_EQ(run.View.Rows[0].Total, 2);
  EXPECT_EQ(run.View.Rows[0].Messages, 1);
  EXPECT_EQ(run.View.Rows[0].Extracted, 1);
}

TEST(OEExtractRefData, IpedStoreGivesEveryAttachmentIncludingTheAttachedMessage) {
  if (!HaveRefData()) GTEST_SKIP() << "reference stores not found";
  TRefRun run("iped", "test_OutlookDBX.dbx", {});
  run.Run();
  const std::set<TShaName> expected = Expected("iped/test_OutlookDBX.dbx");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(run.Written(), expected);
  EXPECT_EQ(run.View.Rows[0].Total, 28);
  EXPECT_EQ(run.View.Rows[0].Extracted, static_cast<int>(expected.size()));
  EXPECT_EQ(run.View.Log.back(), "Finished extracting all folders.");
  // Every message was read: 28 records in the history besides "Program".
  std::ifstream in(run.Dir / "appdata/Quillbox/OE/OEMailData.ini");
  std::stringstream ss;
  ss << in.rdbuf();
  std::size_t sections = 0;
  for (std::size_t at = ss.str().find("\n["); at != std::string::npos;
       at = ss.str().find("\n[", at + 1))
    ++sections;
  EXPECT_EQ(sections, 28u);
}

TEST(OEExtractRefData, ShippedExcludeListKeepsTheAttachedMessageOut) {
  if (!HaveRefData()) GTEST_SKIP() << "reference stores not found";
  TRefRun run("iped", "test_OutlookDBX.dbx", {".EXE", ".EML", ".HTM"});
  run.Run();
  EXPECT_TRUE(test::ListTree(run.Out()).empty());
  EXPECT_EQ(run.View.Rows[0].Messages, 1);  // it still counts
  EXPECT_EQ(run.View.Rows[0].Extracted, 0);
}

}  // namespace
}  // namespace qb
