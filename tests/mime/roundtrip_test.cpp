// Messages composed with FillRawMail parse back to what was put in.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "mime/MoxMsg.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

std::string Binary(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + seed * 7) & 0xFF);
  return s;
}

// (encoding, with HTML, attachments: 0 none, 1 plain, 2 inline)
class RoundTrip : public ::testing::TestWithParam<std::tuple<TTextEncoding, bool, int>> {
 protected:
  void TearDown() override { EXPECT_TRUE(test::ListTree(tmp_.Path()).empty()); }
  test::TempDir tmp_;
  test::ScopedEnv env_{"TMPDIR", tmp_.Path()};
};

TEST_P(RoundTrip, ComposeAndParseBack) {
  const auto [encoding, withHtml, attachments] = GetParam();
  TMoxMsg out;
  out.TextEncoding = encoding;
  out.UserName = "Joe Sender";
  out.From = "joe@x.org";
  out.ReplyTo = "reply@x.org";
  out.SendToList.Add({"Ann Example", "ann@y.org"});
  out.SendToList.Add({"", "bob@z.org"});
  out.CCList.Add({"Cy", "cy@z.org"});
  // Encoded words are written as they are (8bit, QP) or made by the
  // composer (base64), and decoded on the way back.
  out.Subject = encoding == teBase64 ? "Caf\xE9 cr\xE8me" : "=?iso-8859-1?Q?Caf=E9_cr=E8me?=";
  out.DateText = "Tue, 3 Jun 2003 14:05:06 +0200";
  out.Text = {"Hello Ann,", "", "a line with = and \xE9 and a long tail " + std::string(90, 'x'),
              "  indented", "bye"};
  if (withHtml) out.HTML = {"<html><body>", "<p>caf\xE9 =3D</p>", "</body></html>"};
  if (attachments) {
    for (int i = 0; i < 2; ++i) {
      TAttachedFile& a = out.Attachments.Add("file" + std::to_string(i) + ".bin");
      a.Body().Assign(Binary(1000 + i * 77, i));
      a.IsInline = attachments == 2;
      if (i == 0) a.ContentID = "part0@x";
    }
  }
  out.ExtraHeaders = {"X-Extra: yes"};
  out.FillRawMail();
  ASSERT_FALSE(out.RawMail.empty());

  TMoxMsg in;
  in.LoadRawMail(JoinLines(out.RawMail));
  in.ParseRawMail();
  // The words name ISO-8859-1: the subject comes back converted to UTF-8.
  EXPECT_EQ(in.Subject, "Caf\xC3\xA9 cr\xC3\xA8me");
  EXPECT_EQ(in.FromAddress, "joe@x.org");
  EXPECT_EQ(in.FromName, "Joe Sender");
  EXPECT_EQ(in.ReplyToAddress, "reply@x.org");
  ASSERT_EQ(in.SendToList.Count(), 2);
  EXPECT_EQ(in.SendToList.Items(0).Name, "Ann Example");
  EXPECT_EQ(in.SendToList.Items(0).Address, "ann@y.org");
  EXPECT_EQ(in.SendToList.Items(1).Address, "bob@z.org");
  ASSERT_EQ(in.CCList.Count(), 1);
  EXPECT_EQ(in.CCList.Items(0).Address, "cy@z.org");
  EXPECT_EQ(in.DateText, out.DateText);
  EXPECT_EQ(FormatIsoDateTime(in.Date), "2003-06-03 14:05:06");
  EXPECT_EQ(in.MimeVersion, "1.0");
  EXPECT_EQ(in.Text, out.Text);
  EXPECT_EQ(in.HTML, out.HTML);
  ASSERT_EQ(in.Attachments.Count(), attachments ? 2 : 0);
  for (int i = 0; i < in.Attachments.Count(); ++i) {
    EXPECT_EQ(in.Attachments[i].FileName, out.Attachments[i].FileName);
    EXPECT_EQ(in.Attachments[i].Bytes(), out.Attachments[i].Bytes());
  }
  if (attachments == 2) {
    EXPECT_EQ(in.Attachments[0].ContentID, "part0@x");
    EXPECT_EQ(in.Attachments[1].ContentID, "file1.bin");
  }
}

INSTANTIATE_TEST_SUITE_P(All, RoundTrip,
                         ::testing::Combine(::testing::Values(te8Bit, teBase64, teQP),
                                            ::testing::Bool(), ::testing::Values(0, 1, 2)));

TEST(FillRawMail, HeaderLayoutAndErrors) {
  TMoxMsg m;
  m.From = "joe@x.org";
  m.SendToList.Add({"A", "a@x"});
  m.SendToList.Add({"", "b@x"});
  m.Priority = prHighest;
  m.XMailer = "Quillbox";
  m.Text = {".dot"};
  m.FillRawMail();
  TStringList& r = m.RawMail;
  EXPECT_EQ(r[0].rfind("Message-ID: <MOX", 0), 0u);
  EXPECT_EQ(r[1], "From: \"joe\" <joe@x.org>");
  EXPECT_EQ(r[2], "To: \"A\" <a@x>,");
  EXPECT_EQ(r[3], "\t<b@x>");
  auto has = [&](const std::string& l) { return std::find(r.begin(), r.end(), l) != r.end(); };
  EXPECT_TRUE(has("X-Priority: 1"));
  EXPECT_TRUE(has("X-Mailer: Quillbox"));
  EXPECT_TRUE(has("Content-Transfer-Encoding: 8Bit"));
  EXPECT_TRUE(has("..dot"));

  TMoxMsg noAt;
  noAt.From = "joe";
  noAt.SendToList.Add({"", "a@x"});
  noAt.RawMail = {"old"};
  try {
    noAt.FillRawMail();
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "\"From\" address not complete.");
  }
  EXPECT_TRUE(noAt.RawMail.empty());
  TMoxMsg noTo;
  noTo.From = "joe@x";
  try {
    noTo.FillRawMail();
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "No e-mail addresses in the SendTo field.");
  }
}

}  // namespace
}  // namespace qb
