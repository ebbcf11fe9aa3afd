// Parsing raw messages: header fields, dates, bodies, attachments, naming,
// nesting and uuencoded blocks.
#include <gtest/gtest.h>

#include <string>

#include "mime/MoxMsg.h"
#include "mime/base64stream.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

class Parse : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(test::ListTree(tmp_.Path()).empty()) << "temporary files left behind";
  }
  // Parses a message given as lines.
  void Run(const TStringList& lines) {
    m_.RawMail = lines;
    m_.ParseRawMail();
  }
  test::TempDir tmp_;
  test::ScopedEnv env_{"TMPDIR", tmp_.Path()};
  TMoxMsg m_;
};

TEST(ParseDate, FormsAndYears) {
  TDateTime d;
  std::string z;
  ParseDate("Tue, 3 Jun 2003 14:05:06 +0200", d, z);
  EXPECT_EQ(FormatIsoDateTime(d), "2003-06-03 14:05:06");
  EXPECT_EQ(z, "+0200");
  struct {
    const char* in;
    const char* out;
  } years[] = {{"1 Jan 03 10:00", "2003-01-01 10:00:00"},
               {"1 Jan 50 10:00", "2050-01-01 10:00:00"},
               {"1 Jan 51 10:00", "1951-01-01 10:00:00"},
               {"1 Jan 99 10:00", "1999-01-01 10:00:00"},
               {"\"Mon, 12 dec 1999 23:59, +0100\"", "1999-12-12 23:59:00"}};
  for (auto& y : years) {
    ParseDate(y.in, d, z);
    EXPECT_EQ(FormatIsoDateTime(d), y.out) << y.in;
  }
  ParseDate("12 Dec 1999 25:99:00 GMT", d, z);  // a bad time counts as midnight
  EXPECT_EQ(FormatIsoDateTime(d), "1999-12-12 00:00:00");
  EXPECT_EQ(z, "GMT");
  for (const char* bad : {"", "no digits", "31 Feb 2003 10:00", "x 1", "1 Foo 2003", "1 Jan",
                          "1 Jan 2003x", "99999999999999 Jan 2003"}) {
    ParseDate(bad, d, z);
    EXPECT_EQ(d, 0) << bad;
    EXPECT_EQ(z, "") << bad;
  }
}

TEST_F(Parse, HeaderFields) {
  Run({"From sender@x.org Mon Jan  1 00:00:00 2001", "From: =?iso-8859-1?Q?J=F6rg?= <jorg@x.org>",
       "Sender: \"Team, A\" <team@x.org>", "Message-ID: <id@x>", "Reply-To: r@x.org",
       "Delivered-To: d@x.org", "To: a@x.org,", "\tB <b@x.org>", "CC: c@x.org",
       "Date: Tue, 3 Jun 2003 14:05:06 +0200", "Subject: one; two", "MIME-Version:  1.0 ",
       "Content-Type: Text/Plain; charset=x", "", "body"});
  // The encoded word is converted from its charset to UTF-8.
  EXPECT_EQ(m_.From, "J\xC3\xB6rg <jorg@x.org>");
  EXPECT_EQ(m_.FromAddress, "jorg@x.org");
  EXPECT_EQ(m_.FromName, "J\xC3\xB6rg");
  EXPECT_EQ(m_.Sender, "\"\" <team@x.org>");
  EXPECT_EQ(m_.MessageID, "<id@x>");
  EXPECT_EQ(m_.ReplyToAddress, "r@x.org");
  EXPECT_EQ(m_.DeliveredTo, "d@x.org");
  ASSERT_EQ(m_.SendToList.Count(), 2);
  EXPECT_EQ(m_.SendToList.Items(1).Name, "B");
  ASSERT_EQ(m_.CCList.Count(), 1);
  EXPECT_EQ(m_.DateText, "Tue, 3 Jun 2003 14:05:06 +0200");
  EXPECT_EQ(m_.TimeZone, "+0200");
  EXPECT_EQ(m_.Subject, "one; two");  // an unstructured value keeps its ";"
  EXPECT_EQ(m_.MimeVersion, "1.0");
  EXPECT_EQ(m_.ContentType, "TEXT/PLAIN");
  EXPECT_EQ(m_.TransferEncoding, "7BIT");
  EXPECT_EQ(m_.Headers.size(), 13u);
  EXPECT_EQ(m_.Text, (TStringList{"body"}));
  EXPECT_TRUE(m_.RawMail.empty());
}

TEST_F(Parse, FromFallsBackToTheFirstLineAndRawSizeCountsCrLf) {
  Run({"From someone", "X: y", "", "a"});
  EXPECT_EQ(m_.From, "someone");
  EXPECT_EQ(m_.RawSize, 14 + 6 + 2 + 3);
  EXPECT_EQ(m_.ContentType, "");
  TMoxMsg keep;
  keep.ClearRawMailAfterParse = false;
  keep.RawMail = {"Subject: s", "", "a"};
  keep.ParseRawMail();
  EXPECT_EQ(keep.RawSize, 0);
  EXPECT_EQ(keep.RawMail.size(), 3u);
}

TEST_F(Parse, AlternativeGivesTextAndHtml) {
  Run({"MIME-Version: 1.0", "Content-Type: multipart/alternative; boundary=\"b\"", "", "pre", "--b",
       "Content-Type: text/plain", "Content-Transfer-Encoding: quoted-printable", "",
       "caf=E9 soft=", "break", "--b", "Content-Type: text/html",
       "Content-Transfer-Encoding: base64", "", "PHA+aGk8L3A+DQo8L2h0bWw+", "--b--  ", "epilogue"});
  EXPECT_EQ(m_.Text, (TStringList{"caf\xE9 softbreak"}));
  EXPECT_EQ(m_.HTML, (TStringList{"<p>hi</p>", "</html>"}));
  EXPECT_EQ(m_.Attachments.Count(), 0);
}

TEST_F(Parse, NamedAttachmentsAndNaming) {
  Run({"Subject: Holiday",
       "MIME-Version: 1.0",
       "Content-Type: multipart/mixed; boundary=b",
       "",
       "--b",
       "Content-Type: image/png; name=\"a:b?c.png\"",
       "Content-Transfer-Encoding: base64",
       "",
       "YW",
       "Jj",
       "--b",
       "Content-Type: application/pdf; name=\"ignored.pdf\"",
       "Content-Disposition: attachment; filename=\"real.pdf\"",
       "Content-Transfer-Encoding: base64",
       "",
       "eHl6",
       "--b",
       "Content-Type: image/jpeg",
       "Content-Transfer-Encoding: base64",
       "Content-ID: <img1@x>",
       "",
       "YQ==",
       "--b",
       "Content-Type: text/plain; name=\"notes.txt\"",
       "",
       "line1",
       "line2",
       "--b",
       "Content-Type: text/plain; name=\"inline.txt\"",
       "Content-Disposition: inline",
       "",
       "inline body",
       "--b",
       "Content-Type: application/zip",
       "Content-Transfer-Encoding: quoted-printable",
       "",
       "PK=00=",
       "--b",
       "Content-Type: application/x-thing",
       "",
       "seven bit",
       "--b--"});
  ASSERT_EQ(m_.Attachments.Count(), 5);
  EXPECT_EQ(m_.Attachments[0].FileName, "abc.png");
  EXPECT_EQ(m_.Attachments[0].Bytes(), "abc");
  EXPECT_EQ(m_.Attachments[1].FileName, "real.pdf");
  EXPECT_EQ(m_.Attachments[1].Bytes(), "xyz");
  EXPECT_EQ(m_.Attachments[2].FileName, "Holiday.jpg");
  EXPECT_EQ(m_.Attachments[2].ContentID, "img1@x");
  EXPECT_EQ(m_.Attachments[2].ContentType, "image/jpeg");
  EXPECT_EQ(m_.Attachments[3].FileName, "notes.txt");
  EXPECT_EQ(m_.Attachments[3].Bytes(), "line1\r\nline2");
  EXPECT_EQ(m_.Attachments[4].FileName, "Holiday");
  EXPECT_EQ(m_.Attachments[4].Bytes(), std::string("PK\0", 3));
  EXPECT_EQ(m_.Text, (TStringList{"inline body", "seven bit"}));
}

TEST_F(Parse, UnnamedImageWithoutSubjectAndEncodedFileName) {
  Run({"MIME-Version: 1.0",
       "Content-Type: multipart/mixed; boundary=b",
       "",
       "--b",
       "Content-Type: image/gif",
       "Content-Transfer-Encoding: base64",
       "",
       "YQ==",
       "--b",
       "Content-Type: application/octet-stream; name==?utf-8?B?w6lk?=.bin",
       "Content-Transfer-Encoding: base64",
       "",
       "YQ==",
       "--b",
       "Content-Type: text/plain",
       "Content-Disposition: inline; filename=\"x.txt\"",
       "",
       "upper-case INLINE: body text",
       "--b",
       "Content-Type: image/png",
       "Content-Disposition: inline; filename=\"lower.png\"",
       "Content-Transfer-Encoding: base64",
       "",
       "YQ==",
       "--b--"});
  ASSERT_EQ(m_.Attachments.Count(), 3);
  EXPECT_EQ(m_.Attachments[0].FileName, ".gif");
  EXPECT_EQ(m_.Attachments[1].FileName,
            "\xC3\xA9"
            "d.bin");
  EXPECT_EQ(m_.Attachments[2].FileName, "lower.png");
  EXPECT_EQ(m_.Text, (TStringList{"upper-case INLINE: body text"}));
}

TEST_F(Parse, HtmlAsAttachment) {
  m_.HTMLAsAttachment = true;
  Run({"Subject: Page", "MIME-Version: 1.0", "Content-Type: text/html",
       "Content-Transfer-Encoding: quoted-printable", "", "<b>=3D</b>"});
  EXPECT_EQ(m_.HTML, (TStringList{"<b>=3D</b>"}));  // still encoded
  ASSERT_EQ(m_.Attachments.Count(), 1);
  EXPECT_EQ(m_.Attachments[0].FileName, "Page.html");
  // The content as stored: lines of RawMail have no break after the last.
  EXPECT_EQ(m_.Attachments[0].Bytes(), "<b>=</b>");
}

TEST_F(Parse, EmbeddedMessages) {
  Run({"Subject: outer",
       "MIME-Version: 1.0",
       "Content-Type: multipart/mixed; boundary=b",
       "",
       "--b",
       "Content-Type: message/rfc822",
       "",
       "Subject: Inner one",
       "",
       "inner text",
       "--b",
       "Content-Type: message/rfc822",
       "",
       "Subject: ",
       "",
       "x",
       "--b",
       "Content-Type: message/rfc822",
       "Content-Disposition: inline",
       "",
       "Subject: merged",
       "MIME-Version: 1.0",
       "Content-Type: multipart/mixed; boundary=c",
       "",
       "--c",
       "Content-Type: text/plain",
       "",
       "merged text",
       "--c",
       "Content-Type: application/octet-stream; name=in.bin",
       "Content-Transfer-Encoding: base64",
       "",
       "YQ==",
       "--c--",
       "--b--"});
  ASSERT_EQ(m_.Attachments.Count(), 3);
  EXPECT_EQ(m_.Attachments[0].FileName, "Inner one.eml");
  EXPECT_EQ(m_.Attachments[0].Bytes(), "Subject: Inner one\r\n\r\ninner text");
  const std::string& gen = m_.Attachments[1].FileName;
  ASSERT_EQ(gen.size(), 7u + 8u + 4u) << gen;
  EXPECT_EQ(gen.substr(0, 7), "rfc822-");
  EXPECT_EQ(gen.find_first_not_of("0123456789ABCDEF", 7), 15u);
  EXPECT_EQ(m_.Attachments[2].FileName, "in.bin");
  EXPECT_EQ(m_.Text, (TStringList{"merged text"}));
}

TEST_F(Parse, DelimiterQuirks) {
  // The line after a delimiter is content even when it is a delimiter; a
  // part without a blank line is all header; the preamble is dropped.
  Run({"MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=b", "", "preamble", "--b",
       "--b", "", "first", "--b", "", "second", "--b--", "", "--b", "", "after close"});
  EXPECT_EQ(m_.Text, (TStringList{"first", "second"}));
}

TEST_F(Parse, MultipartWithoutBoundaryContributesNothing) {
  Run({"MIME-Version: 1.0", "Content-Type: multipart/mixed", "", "a", "b", "", "c"});
  EXPECT_TRUE(m_.Text.empty());
  EXPECT_EQ(m_.Attachments.Count(), 0);
}

TEST_F(Parse, UUBlocksInNonMimeText) {
  Run({"Subject: uu", "", "Hello", "begin 644 \"a.txt\"", "#86)C", "", "`", "end", "middle",
       "begin 0644 four.txt", "#86)C", "`", "end", "bye"});
  ASSERT_EQ(m_.Attachments.Count(), 1);
  EXPECT_EQ(m_.Attachments[0].FileName, "a.txt");
  EXPECT_EQ(m_.Attachments[0].Bytes(), "abc");
  EXPECT_EQ(m_.Text,
            (TStringList{"Hello", "middle", "begin 0644 four.txt", "#86)C", "`", "end", "bye"}));
}

TEST_F(Parse, UUBlockWithoutEndMarkStaysText) {
  Run({"Subject: uu", "", "begin 644 a.txt", "#86)C", "end"});
  EXPECT_EQ(m_.Attachments.Count(), 0);
  EXPECT_EQ(m_.Text.size(), 3u);
}

TEST_F(Parse, ManyUUBlocksAreAllExtracted) {
  TStringList lines{"Subject: uu", ""};
  for (int i = 0; i < 300; ++i)
    for (const char* l : {"text", "begin 644 f.bin", "#86)C", "`", "end"}) lines.push_back(l);
  Run(lines);
  EXPECT_EQ(m_.Attachments.Count(), 300);
  EXPECT_EQ(m_.Text.size(), 300u);
}

TEST_F(Parse, BadUUCharacterRaisesAndKeepsWhatWasFound) {
  m_.RawMail = {"Subject: s",
                "MIME-Version: 1.0",
                "Content-Type: multipart/mixed; boundary=b",
                "",
                "--b",
                "Content-Type: text/plain",
                "",
                "before",
                "--b",
                "Content-Type: application/octet-stream; name=x.uu",
                "Content-Transfer-Encoding: x-uuencode",
                "",
                "begin 644 x.uu",
                "#abc",
                "end",
                "--b",
                "Content-Type: text/plain",
                "",
                "after",
                "--b--"};
  try {
    m_.ParseRawMail();
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Oops...");
  }
  EXPECT_EQ(m_.Subject, "s");
  EXPECT_EQ(m_.Text, (TStringList{"before"}));
  ASSERT_EQ(m_.Attachments.Count(), 1);
  EXPECT_EQ(m_.Attachments[0].Bytes(), "");
}

TEST_F(Parse, LargeBodyOfATakenTextIsKeptAsAViewInItsPlace) {
  // Copied as a string a line, this body would cost some 19 MB.
  std::string big;
  for (int i = 0; i < 600000; ++i) big += "x\r\n";
  const std::string uu = "begin 644 f.txt\r\n#86)C\r\n`\r\nend\r\n";
  const std::string head = "From: a@b.c\r\nSubject: s\r\n";
  for (const std::string& raw :
       {head + "\r\nhello\r\n" + uu + big,
        head + "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nhello\r\n" + big}) {
    TMoxMsg copied, viewed;
    copied.LoadRawMail(raw);
    copied.ParseRawMail();
    viewed.TakeRawText(raw);
    viewed.ParseRawMail();
    EXPECT_EQ(viewed.TextBody(), copied.TextBody());
    EXPECT_EQ(viewed.TextBody().substr(0, 10), "hello\r\nx\r\n");
    EXPECT_EQ(copied.Text.size(), 600001u);
    EXPECT_LE(viewed.Text.size(), 1u) << "the large body is not copied";
    EXPECT_EQ(viewed.Attachments.Count(), copied.Attachments.Count());
  }
}

TEST_F(Parse, SecondParseAppends) {
  TStringList msg{"Subject: a", "To: x@y", "", "text"};
  Run(msg);
  Run(msg);
  EXPECT_EQ(m_.Text.size(), 2u);
  EXPECT_EQ(m_.SendToList.Count(), 2);
}

TEST_F(Parse, LinesWithBreaksInsideAreSplitFirst) {
  m_.RawMail = {"Subject: s\r\n\r\nline1\rline2"};
  m_.ParseRawMail();
  EXPECT_EQ(m_.Text, (TStringList{"line1", "line2"}));
}

// The first "Content-Type:" line (no blank) is not multipart, a later
// "Content-Type: " line is: the part is handled once, as a leaf.
TEST_F(Parse, PartThatIsOnlyMultipartForOneKeyIsALeaf) {
  Run({"MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=b", "", "--b",
       "Content-Type:text/plain", "Content-Type: multipart/mixed; boundary=c", "", "body",
       "--b--"});
  EXPECT_EQ(m_.Text, (TStringList{"body"}));
  TMoxMsg m;
  m.LoadRawMail(test::ReadFile(test::TestDataDir("mime") +
                               "/content-type-without-blank-before-multipart-recursion.eml"));
  EXPECT_NO_THROW(m.ParseRawMail());
}

// Thousands of nested multiparts and embedded messages: past the depth
// limit a part is one leaf; nothing overflows the stack.
TEST_F(Parse, DeepNestingIsCutAtTheLimit) {
  for (const bool rfc822 : {false, true}) {
    constexpr int kLevels = 5000;
    TStringList lines{"Subject: deep", "MIME-Version: 1.0"};
    for (int i = 0; i < kLevels; ++i) {
      if (rfc822) {
        lines.push_back("Content-Type: message/rfc822");
        lines.push_back("");
        lines.push_back("Subject: level");
      } else {
        lines.push_back("Content-Type: multipart/mixed; boundary=\"b" + std::to_string(i) + "\"");
        lines.push_back("");
        lines.push_back("--b" + std::to_string(i));
      }
    }
    lines.push_back("Content-Type: application/octet-stream; name=deep.bin");
    lines.push_back("Content-Transfer-Encoding: base64");
    lines.push_back("");
    lines.push_back("YQ==");
    TMoxMsg m;
    m.RawMail = lines;
    ASSERT_NO_THROW(m.ParseRawMail());
    if (!rfc822) {
      EXPECT_EQ(m.Attachments.Count(), 0);
      EXPECT_FALSE(m.Text.empty());
    }
  }
  // Just below the limit the innermost part is still found.
  TStringList lines{"MIME-Version: 1.0"};
  for (int i = 0; i < TMoxMsg::kMaxNestingDepth - 1; ++i) {
    lines.push_back("Content-Type: multipart/mixed; boundary=\"b" + std::to_string(i) + "\"");
    lines.push_back("");
    lines.push_back("--b" + std::to_string(i));
  }
  lines.push_back("Content-Type: application/octet-stream; name=deep.bin");
  lines.push_back("Content-Transfer-Encoding: base64");
  lines.push_back("");
  lines.push_back("YQ==");
  Run(lines);
  ASSERT_EQ(m_.Attachments.Count(), 1);
  EXPECT_EQ(m_.Attachments[0].Bytes(), "a");
}

}  // namespace
}  // namespace qb
