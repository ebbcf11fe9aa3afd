// The scanner and the link filters on a real message nobody here wrote: the
// mutt announcement in the reference mail corpus (HTML part in plain 8-bit,
// CR LF lines).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <algorithm>

#include "platform/paths.h"
#include "tests/support/testsupport.h"
#include "web/linkdownload.h"

namespace qb {
namespace {

using ::testing::ElementsAre;

std::string MuttMessage() {
  return test::RefDataDir() + "/mail/mime4j/mimetools-testmsgs/2002_06_12_doublebound.msg";
}

TEST(ReferenceMail, AnchorsOfTheMuttAnnouncement) {
  if (!FileExists(MuttMessage())) GTEST_SKIP() << "reference mail corpus not present";
  const std::string text = test::ReadFile(MuttMessage());
  TStringList links;
  TLinkDownloader::GetHyperlinks(text, links);
  ASSERT_EQ(links.size(), 64u);
  EXPECT_EQ(links.front(), "http://www.mutt.org/links.html#mirrors");
  EXPECT_EQ(std::count(links.begin(), links.end(), "#features"), 1);

  // The wizard's shipped exclude list.
  TExtensionListsSnapshot lists;
  lists.ExcludeEntries = {"VBS", "VB",   "JS",    "COM", "BAT", "PIF",  "BIN", "DLL", "EXE", "SCR",
                          "HTM", "HTML", "SHTML", "PHP", "ASP", "ASPX", "PL",  "CGI", "EML", "CFM"};
  TLinkDownloadOptions options;
  options.UrlListPath = "/nonexistent/URLList.txt";
  TLinkDownloader downloader(lists, options);
  downloader.GetDownloadLinks(text, links);
  // "links.html#mirrors" passes: its extension is ".HTML#MIRRORS". The
  // php3 link with a "/" in its query has no extension once the query
  // counts, and directories, host names and bare paths never pass.
  EXPECT_THAT(
      links,
      ElementsAre("http://www.mutt.org/links.html#mirrors",
                  "http://www.mutt.org/doc/manual.html.tar.gz",
                  "http://www.mutt.org/doc/manual.txt", "http://www.mutt.org/doc/manual.txt.gz",
                  "http://www.mutt.org/links.html#config", "http://www.mutt.org/doc/PGP-Notes.txt",
                  "http://www.deja.com/dnquery.xp?query=%7Eg%20comp.mail.mutt",
                  "http://www.linuxnovice.org/main_software.php3?VIEW=VIEW&amp;t_id=146",
                  "http://www.linuxnovice.org/main_software.php3?VIEW=VIEW&amp;t_id=164",
                  "http://www.linuxcare.com/viewpoints/ap-of-the-wk/03-31-00.epl"));
  EXPECT_EQ(LinkTargetName(links[6]), "dnquery.xp");
  EXPECT_EQ(LinkTargetName(links[7]), "main_software.php3");
}

}  // namespace
}  // namespace qb
