// The collected e-mail addresses: what a message gives, how addresses are
// cleaned and compared, and the list kept between runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"
#include "tests/support/testsupport.h"
#include "web/addresses.h"

namespace qb {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(GrabbedAddresses, CleanAddress) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"  Ann@Example.org ", "Ann@Example.org"},
      {"<bob@example.org>", "bob@example.org"},
      {"\"<bob@example.org>\"", "bob@example.org"},
      {"mailto:carol@example.org?subject=Hi%20there", "carol@example.org"},
      {"MAILTO:dave%40example.org", "dave@example.org"},
      {"eve@example.org?", "eve@example.org"},
      {"", ""},
      {"undisclosed-recipients:;", ""},
      {"no-at-sign", ""},
      {"@example.org", ""},
      {"frank@", ""},
      {"two words@example.org", ""},
      {"a@b@example.org", ""},
      {"a,b@example.org", ""},
      {"tab\t@example.org", ""},
      {"%zz@example.org", "%zz@example.org"},
  };
  for (const auto& c : cases) EXPECT_EQ(CleanAddress(c.in), c.out) << c.in;
}

TEST(GrabbedAddresses, MessageGivesFromToCcAndHtmlMailtoTargets) {
  TMoxMsg m;
  m.LoadRawMail(
      "From: \"Ann Smith\" <ann@example.org>\r\n"
      "To: bob@example.org, \"Carol\" <carol@example.org>\r\n"
      "Cc: Dave <dave@example.org>\r\n"
      "Bcc: hidden@example.org\r\n"
      "Reply-To: reply@example.org\r\n"
      "Subject: hello\r\n"
      "MIME-Version: 1.0\r\n"
      "Content-Type: multipart/alternative; boundary=\"b\"\r\n"
      "\r\n"
      "--b\r\n"
      "Content-Type: text/plain\r\n"
      "\r\n"
      "write to plain@example.org\r\n"
      "--b\r\n"
      "Content-Type: text/html\r\n"
      "\r\n"
      "<p><a href=\"mailto:eve@example.org?subject=x\">Eve</a>\r\n"
      "<a href=\"MAILTO:frank@example.org,gina@example.org\">both</a>\r\n"
      "<a href=\"http://example.org/\">web</a></p>\r\n"
      "--b--\r\n");
  m.ParseRawMail();
  EXPECT_THAT(
      MessageAddresses(m),
      ElementsAre("ann@example.org", "bob@example.org", "carol@example.org", "dave@example.org",
                  "eve@example.org", "frank@example.org", "gina@example.org"));
}

TEST(GrabbedAddresses, HarvestedAcrossRunsWithoutRepeats) {
  test::TempDir dir;
  const std::string path = dir / "deep/Quillbox/GrabbedEmails.txt";
  {
    TAddressHarvester run(path);
    run.AddAddress("Ann@Example.org");
    run.AddAddress("ann@example.org");
    run.AddAddress("not an address");
    run.AddAddress("bob@example.org");
    EXPECT_THAT(run.Pending(), ElementsAre("Ann@Example.org", "bob@example.org"));
    EXPECT_TRUE(run.Flush());
    EXPECT_THAT(run.Pending(), IsEmpty());
  }
  EXPECT_EQ(test::ReadFile(path), "Ann@Example.org\nbob@example.org\n");
  {
    // The second run flushes when it goes away.
    TAddressHarvester run(path);
    run.AddAddress("BOB@example.org");
    run.AddAddress("carol@example.org");
  }
  TAddressBook book(path);
  ASSERT_TRUE(book.Load());
  EXPECT_THAT(book.Addresses(),
              ElementsAre("Ann@Example.org", "bob@example.org", "carol@example.org"));

  // "Delete All" while a run is going: the run adds only its own finds.
  TAddressHarvester run(path);
  run.AddAddress("dave@example.org");
  book.Clear();
  book.Save();
  EXPECT_TRUE(run.Flush());
  ASSERT_TRUE(book.Load());
  EXPECT_THAT(book.Addresses(), ElementsAre("dave@example.org"));

  book.SaveTo(dir / "saved.txt");
  EXPECT_EQ(test::ReadFile(dir / "saved.txt"), "dave@example.org\n");
}

TEST(GrabbedAddresses, StoredListToleratesItsOwnDamageAndIsNeverLost) {
  test::TempDir dir;
  const std::string path = dir / "GrabbedEmails.txt";
  test::WriteFile(path, "\r\n  a@example.org \r\nA@EXAMPLE.ORG\n\nb@example.org");
  TAddressBook book(path);
  ASSERT_TRUE(book.Load());
  EXPECT_THAT(book.Addresses(), ElementsAre("a@example.org", "b@example.org"));

  // A folder where the list cannot be written: the finds stay pending and
  // nothing is thrown.
  TAddressHarvester stuck(dir / "missing/dir/is/a/file/x.txt");
  test::WriteFile(dir / "missing", "a file where a folder should be");
  stuck.AddAddress("c@example.org");
  EXPECT_FALSE(stuck.Flush());
  EXPECT_THAT(stuck.Pending(), ElementsAre("c@example.org"));

  // A list that exists but cannot be read is not overwritten.
  if (::geteuid() != 0) {
    ::chmod(path.c_str(), 0);
    TAddressHarvester run(path);
    run.AddAddress("d@example.org");
    EXPECT_FALSE(run.Flush());
    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(book.Load());
    EXPECT_EQ(book.Count(), 2);
  }
}

}  // namespace
}  // namespace qb
