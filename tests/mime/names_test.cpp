// Attachment names and subjects as current mail programs write them, with
// every mend on and, for comparison, with the old rules (Legacy).
#include <gtest/gtest.h>

#include <string>

#include "mime/MoxMsg.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

struct TNameCase {
  const char* what;
  TStringList header;  // the attachment part's header lines
  const char* name;    // with every mend
  const char* legacy;  // with the old rules
};

TEST(AttachmentNames, AsMailProgramsWriteThem) {
  test::TempDir tmp;
  test::ScopedEnv env("TMPDIR", tmp.Path());
  const TNameCase cases[] = {
      {"RFC 2231 UTF-8",
       {"Content-Type: application/pdf",
        "Content-Disposition: attachment; filename*=UTF-8''%E2%82%AC%20rates.pdf"},
       "\xE2\x82\xAC rates.pdf",
       "=UTF-8''%E2%82%AC%20rates.pdf"},
      {"RFC 2231 continuations on folded lines",
       {"Content-Type: application/pdf", "Content-Disposition: attachment;",
        "\tfilename*0*=UTF-8''Gr%C3%BC%C3%9Fe%20aus%20;", "\tfilename*1*=Berlin.pdf"},
       "Gr\xC3\xBC\xC3\x9F"
       "e aus Berlin.pdf",
       "0=UTF-8''Gr%C3%BC%C3%9Fe%20aus%20"},
      {"RFC 2047 name beside an RFC 2231 filename",
       {"Content-Type: application/pdf; name=\"=?UTF-8?B?w5xiZXJzaWNodC5wZGY=?=\"",
        "Content-Disposition: attachment; filename*=UTF-8''%C3%9Cbersicht.pdf"},
       "\xC3\x9C"
       "bersicht.pdf",
       "=UTF-8''%C3%9Cbersicht.pdf"},
      {"quoted value holding \";\"",
       {"Content-Type: application/pdf",
        "Content-Disposition: attachment; filename=\"Q3; final.pdf\""},
       "Q3; final.pdf",
       "Q3"},
      {"\"name\" inside the type",
       {"Content-Type: application/x-rename-me; name=\"real.bin\""},
       "real.bin",
       "me"},
      {"continuations out of order, one of them plain",
       {"Content-Type: text/plain; charset=us-ascii",
        "Content-Disposition: attachment; filename*2=\".txt\"; filename*1*=%20two;",
        " filename*0*=utf-8'en'one"},
       "one two.txt",
       "2=.txt"},
      {"RFC 2231 in ISO-8859-1",
       {"Content-Type: application/octet-stream",
        "Content-Disposition: attachment; filename*=iso-8859-1'de'Fr%F6sche.txt"},
       "Fr\xC3\xB6sche.txt",
       "=iso-8859-1'de'Fr%F6sche.txt"},
      {"percent not followed by hex digits",
       {"Content-Type: application/octet-stream",
        "Content-Disposition: attachment; filename*=UTF-8''100%zz%4.pdf"},
       "100%zz%4.pdf",
       "=UTF-8''100%zz%4.pdf"},
      {"RFC 2231 name on the Content-Type line only",
       {"Content-Type: application/pdf; name*=UTF-8''%E2%82%AC.pdf"},
       "\xE2\x82\xAC.pdf",
       "=UTF-8''%E2%82%AC.pdf"},
      {"escaped quotes in a quoted value",
       {"Content-Type: text/plain",
        "Content-Disposition: attachment; filename=\"a \\\"b; c\\\".txt\""},
       "a b; c.txt",
       "a b"},
      {"RFC 2231 form wins over the plain one",
       {"Content-Type: application/pdf",
        "Content-Disposition: attachment; filename=\"old.pdf\"; filename*=UTF-8''new.pdf"},
       "new.pdf",
       "old.pdf"},
      {"broken RFC 2231 form falls back to the plain one",
       {"Content-Type: application/pdf",
        "Content-Disposition: attachment; filename*=x-unknown''a%FF.pdf; filename=\"plain.pdf\""},
       "plain.pdf",
       "=x-unknown''a%FF.pdf"},
      {"an empty filename keeps the name",
       {"Content-Type: application/pdf; name=\"kept.pdf\"",
        "Content-Disposition: attachment; filename=\"\""},
       "kept.pdf",
       "Sub"},
      {"only a filename on the Content-Type line (old lookup kept)",
       {"Content-Type: image/gif; filename=\"x; y.gif\""},
       "x; y.gif",
       "x"},
      {"unquoted value still ends at \";\"",
       {"Content-Type: application/octet-stream; name=a.bin;b"},
       "a.bin",
       "a.bin"},
  };
  for (const bool legacy : {false, true}) {
    for (const TNameCase& c : cases) {
      TMoxMsg m;
      if (legacy) m.ParserOptions = TMimeParserOptions::Legacy();
      m.RawMail = {"Subject: Sub", "MIME-Version: 1.0", "Content-Type: multipart/mixed; boundary=b",
                   "", "--b"};
      m.RawMail.insert(m.RawMail.end(), c.header.begin(), c.header.end());
      for (const char* l : {"Content-Transfer-Encoding: base64", "", "YQ==", "--b--"})
        m.RawMail.push_back(l);
      m.ParseRawMail();
      ASSERT_EQ(m.Attachments.Count(), 1) << c.what;
      EXPECT_EQ(m.Attachments[0].FileName, legacy ? c.legacy : c.name)
          << c.what << (legacy ? " (legacy)" : "");
      EXPECT_EQ(m.Attachments[0].Bytes(), "a") << c.what;
    }
  }
  EXPECT_TRUE(test::ListTree(tmp.Path()).empty()) << "temporary files left behind";
}

// Unstructured values (the Subject and the name of a saved embedded message
// made from its Subject) keep their ";"; structured ones are still cut.
TEST(AttachmentNames, UnstructuredValuesKeepSemicolons) {
  test::TempDir tmp;
  test::ScopedEnv env("TMPDIR", tmp.Path());
  struct {
    const char* subject;
    const char* inner;
    const char* expectSubject;
    const char* expectEml;
    bool legacy;
  } cases[] = {
      {"Meeting; agenda (draft)", "Minutes; v2", "Meeting; agenda (draft)", "Minutes; v2.eml",
       false},
      {"a;b; c ;d;", "=?UTF-8?Q?x;_y?=", "a;b; c ;d;", "x; y.eml", false},
      {"Meeting; agenda (draft)", "Minutes; v2", "Meeting", "Minutes.eml", true},
  };
  for (const auto& c : cases) {
    TMoxMsg m;
    if (c.legacy) m.ParserOptions = TMimeParserOptions::Legacy();
    m.RawMail = {std::string("Subject: ") + c.subject,
                 "MIME-Version: 1.0",
                 "Content-Type: multipart/mixed; boundary=b",
                 "Content-Transfer-Encoding: 7bit; x",
                 "",
                 "--b",
                 "Content-Type: message/rfc822; x=\"y\"",
                 "",
                 std::string("Subject: ") + c.inner,
                 "",
                 "inner",
                 "--b--"};
    m.ParseRawMail();
    EXPECT_EQ(m.Subject, c.expectSubject);
    EXPECT_EQ(m.ContentType, "MULTIPART/MIXED");
    EXPECT_EQ(m.TransferEncoding, "7BIT");
    ASSERT_EQ(m.Attachments.Count(), 1) << c.subject;
    EXPECT_EQ(m.Attachments[0].FileName, c.expectEml);
  }
}

}  // namespace
}  // namespace qb
