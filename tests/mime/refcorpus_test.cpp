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

// A message whose text is taken over decodes its attachments only when they
// are written, in pieces, to the same names and bytes as decoding at once.
TEST(ReferenceCorpus, DeferredDecodingWritesTheSameFiles) {
  std::vector<fs::path> files = MailFiles();
  if (files.empty()) GTEST_SKIP() << "reference mail corpus not found";
  test::TempDir tmp;
  test::ScopedEnv env("TMPDIR", tmp.Path());
  std::size_t compared = 0;
  for (const auto& f : files) {
    for (const std::string& raw : test::SplitMbox(test::ReadFile(f.string()))) {
      TMoxMsg now, later;
      // Lines loaded into RawMail have lost their line ends, so text is
      // compared as the old rule joins it.
      now.ParserOptions.TextAttachmentsKeepBytes = false;
      later.ParserOptions.TextAttachmentsKeepBytes = false;
      // Decoded when written, a bad uuencoded block fails its file only.
      later.ParserOptions.BadUuencodeLosesOnlyItsFile = false;
      now.LoadRawMail(raw);
      later.TakeRawText(raw);
      const auto parses = [](TMoxMsg& m) {
        try {
          m.ParseRawMail();
          return true;
        } catch (const std::runtime_error&) {
          return false;
        }
      };
      ASSERT_EQ(parses(now), parses(later)) << f;
      EXPECT_EQ(now.RawSize, later.RawSize) << f;
      EXPECT_EQ(now.Subject, later.Subject) << f;
      EXPECT_EQ(now.Text, later.Text) << f;
      EXPECT_EQ(now.HTML, later.HTML) << f;
      ASSERT_EQ(now.Attachments.Count(), later.Attachments.Count()) << f;
      for (int i = 0; i < now.Attachments.Count(); ++i) {
        ASSERT_TRUE(later.Attachments[i].IsDeferred()) << f;
        std::string written;
        later.Attachments[i].WriteDecoded([&](const char* data, std::size_t size) {
          written.append(data, size);
          return true;
        });
        // "rfc822-XXXXXXXX.eml" names are drawn at random.
        if (now.Attachments[i].FileName.rfind("rfc822-", 0) != 0) {
          EXPECT_EQ(later.Attachments[i].FileName, now.Attachments[i].FileName) << f;
        }
        EXPECT_EQ(written, now.Attachments[i].Bytes()) << f << ": " << now.Attachments[i].FileName;
        compared += written.size();
      }
    }
  }
  EXPECT_GT(compared, 1000000u);
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
