// Every message of the reference mail corpus parses: no crash, no hang, no
// sanitizer report, and every temporary file is removed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "mime/MoxMsg.h"
#include "tests/mime/mbox_split.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> MailFiles() {
  std::vector<fs::path> files;
  fs::path root = fs::path(test::RefDataDir()) / "mail";
  if (!fs::is_directory(root)) return files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file() && e.path().filename() != "SOURCES.md") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(ReferenceCorpus, EveryMessageParses) {
  std::vector<fs::path> files = MailFiles();
  if (files.empty()) GTEST_SKIP() << "reference mail corpus not found";
  test::TempDir tmp;
  test::ScopedEnv env("TMPDIR", tmp.Path());
  int messages = 0, attachments = 0, errors = 0;
  for (const auto& f : files) {
    std::string data = test::ReadFile(f.string());
    for (const std::string& raw : test::SplitMbox(data)) {
      ++messages;
      TMoxMsg m;
      m.ClearRawMail();
      m.LoadRawMail(raw);
      try {
        m.ParseRawMail();
      } catch (const std::runtime_error& e) {
        // Only the uuencode decoder raises, with its one message.
        EXPECT_STREQ(e.what(), "Oops...") << f;
        ++errors;
      }
      EXPECT_TRUE(m.RawMail.empty()) << f;
      attachments += m.Attachments.Count();
      for (int i = 0; i < m.Attachments.Count(); ++i) {
        const std::string& name = m.Attachments[i].FileName;
        EXPECT_EQ(name.find_first_of("\\/:*?\"<>|"), std::string::npos) << f << ": " << name;
      }
    }
  }
  EXPECT_GT(messages, 600);
  EXPECT_GT(attachments, 500);
  EXPECT_LT(errors, 10);
  EXPECT_TRUE(test::ListTree(tmp.Path()).empty()) << "temporary files left behind";
}

// The path-traversal names of the corpus lose their separators.
TEST(ReferenceCorpus, TraversalNamesStayPlain) {
  fs::path dir = fs::path(test::RefDataDir()) / "mail" / "php-mime-mail-parser";
  if (!fs::exists(dir / "m0027")) GTEST_SKIP() << "reference mail corpus not found";
  for (const char* name : {"m0027", "m0124"}) {
    TMoxMsg m;
    m.LoadRawMail(test::ReadFile((dir / name).string()));
    m.ParseRawMail();
    for (int i = 0; i < m.Attachments.Count(); ++i) {
      const std::string& f = m.Attachments[i].FileName;
      EXPECT_EQ(f.find('/'), std::string::npos) << f;
      EXPECT_NE(f, "..");
    }
  }
}

}  // namespace
}  // namespace qb
