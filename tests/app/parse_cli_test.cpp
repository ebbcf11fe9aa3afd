// quillbox-cli parse, run on message files as a user would run it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/cli_runner.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

using test::CliResult;
CliResult RunParse(std::vector<std::string> args, const std::string& tmpdir) {
  args.insert(args.begin(), "parse");
  return test::RunCli(args, {{"TMPDIR", tmpdir}});
}

TEST(ParseCli, PrintsFieldsAndAttachments) {
  test::TempDir dir;
  test::WriteFile(dir / "m.eml",
                  "From: \"Jo\" <jo@x.org>\r\n"
                  "Subject: =?iso-8859-1?Q?Caf=E9?=\r\n"
                  "Date: Tue, 3 Jun 2003 14:05:06 +0200\r\n"
                  "MIME-Version: 1.0\r\n"
                  "Content-Type: multipart/mixed; boundary=b\r\n"
                  "\r\n"
                  "--b\r\n"
                  "Content-Type: text/plain\r\n"
                  "\r\n"
                  "one\r\n"
                  "two\r\n"
                  "--b\r\n"
                  "Content-Type: application/pdf; name=\"a.pdf\"\r\n"
                  "Content-Transfer-Encoding: base64\r\n"
                  "\r\n"
                  "YWJj\r\n"
                  "--b--\r\n");
  CliResult r = RunParse({dir / "m.eml"}, dir.Path());
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out,
            "From\t\"Jo\" <jo@x.org>\n"
            "FromAddress\tjo@x.org\n"
            "Subject\tCaf\xC3\xA9\n"  // the encoded word converted to UTF-8
            "Date\t2003-06-03 14:05:06\n"
            "Text-Lines\t2\n"
            "HTML-Lines\t0\n"
            "Attachment\t3\tba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\t"
            "a.pdf\tapplication/pdf\n");
  EXPECT_EQ(test::ListTree(dir.Path()), std::vector<std::string>{"m.eml"});
}

TEST(ParseCli, ErrorAfterTheLinesGathered) {
  test::TempDir dir;
  test::WriteFile(dir / "bad.eml",
                  "Subject: uu\n"
                  "MIME-Version: 1.0\n"
                  "Content-Type: application/octet-stream; name=x.bin\n"
                  "Content-Transfer-Encoding: x-uuencode\n"
                  "\n"
                  "begin 644 x.bin\n"
                  "#abc\n"
                  "end\n");
  CliResult r = RunParse({dir / "bad.eml"}, dir.Path());
  EXPECT_EQ(r.Status, 1);
  // Without a From header, From is the first header line after five
  // characters (meant for an mbox "From " line).
  EXPECT_EQ(r.Out,
            "From\tct: uu\n"
            "FromAddress\t\n"
            "Subject\tuu\n"
            "Date\t0\n"
            "Text-Lines\t0\n"
            "HTML-Lines\t0\n"
            "Attachment\t0\te3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\t"
            "x.bin\tapplication/octet-stream\n"
            "Error\tOops...\n");
}

TEST(ParseCli, UsageAndUnreadableFile) {
  test::TempDir dir;
  EXPECT_EQ(RunParse({}, dir.Path()).Status, 1);
  CliResult r = RunParse({dir / "missing.eml"}, dir.Path());
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "");
  EXPECT_NE(r.Err.find("missing.eml"), std::string::npos);
}

}  // namespace
}  // namespace qb
