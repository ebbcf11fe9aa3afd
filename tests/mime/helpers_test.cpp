// Header access, encoded words, quoted-printable, quotes and addresses,
// temporary names and the values made for composing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "mime/mimehelpers.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

TEST(Lines, SplitAtEveryKindOfBreakAndJoinWithCrLf) {
  EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd"), (TStringList{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitTextLines("a\r\n"), (TStringList{"a"}));
  EXPECT_EQ(SplitTextLines("a\n\r"), (TStringList{"a", ""}));  // LF, then a bare CR
  EXPECT_EQ(SplitTextLines("\r\n\r\n"), (TStringList{"", ""}));
  EXPECT_EQ(SplitTextLines(std::string("a\0b", 3)), (TStringList{std::string("a\0b", 3)}));
  EXPECT_TRUE(SplitTextLines("").empty());
  TStringList l{"x", "", "y"};
  EXPECT_EQ(JoinLines(l), "x\r\n\r\ny\r\n");
  EXPECT_EQ(SplitTextLines(JoinLines(l)), l);
}

// A text taken over as a line index gives the same lines as splitting it.
TEST(Lines, IndexOfATextGivesTheSplitLines) {
  for (const std::string& text :
       std::vector<std::string>{"a\r\nb\nc\rd", "a\r\n", "a\n\r", "\r\n\r\n", "\r\r\n", "\n", "x\r",
                                "", "a\rb\r\n\n", std::string("a\0b\n", 4)}) {
    const TStringList split = SplitTextLines(text);
    const TLineIndex index(text);
    const TLineSpan lines(index);
    ASSERT_EQ(lines.size(), split.size()) << text;
    EXPECT_TRUE(std::equal(lines.begin(), lines.end(), split.begin())) << text;
    if (!lines.empty()) {
      EXPECT_EQ(lines.subspan(1).size(), split.size() - 1);
    }
  }
}

TEST(FindHeader, FoldedLinesAreJoinedTrimmedWithoutSeparator) {
  TStringList h{"", "Subject: Hello", "  big\tworld", "\tagain", "To: x", "", "Subject: body"};
  std::string line = "unchanged";
  ASSERT_TRUE(FindHeader("SUBJECT: ", h, line));
  EXPECT_EQ(line, "Subject: Hellobig\tworldagain");
  EXPECT_TRUE(FindHeader("TO: ", h, line));
  EXPECT_EQ(line, "To: x");
}

TEST(FindHeader, StopsAtTheEmptyLineWhileFindHeaderInPartGoesOnUntilADelimiter) {
  TStringList part{"Content-Type: message/rfc822", "", "From: a@b", "Subject: inner", "", "body"};
  std::string line = "unchanged";
  EXPECT_FALSE(FindHeader("SUBJECT:", part, line));
  EXPECT_EQ(line, "unchanged");
  ASSERT_TRUE(FindHeaderInPart("SUBJECT:", part, line));
  EXPECT_EQ(line, "Subject: inner");
  TStringList cut{"Content-Type: message/rfc822", "", "--b", "Subject: later"};
  EXPECT_FALSE(FindHeaderInPart("SUBJECT:", cut, line));
  // A key with a trailing blank misses a header written without one.
  TStringList tight{"Subject:x"};
  EXPECT_FALSE(FindHeader("SUBJECT: ", tight, line));
}

TEST(HeaderValue, CutsAtSemicolonAndFindsKeysInsideOtherWords) {
  EXPECT_EQ(HeaderValue("SUBJECT: ", "Subject:  a; b "), "a");
  EXPECT_EQ(HeaderValue("SUBJECT: ", "To: x"), "");
  // "NAME" inside "filename" is found when there is no name parameter.
  EXPECT_EQ(HeaderValue("NAME", "Content-Type: image/gif; filename=\"x.gif\""), "=\"x.gif\"");
  EXPECT_EQ(HeaderValue("CONTENT-TYPE:", "content-type: Text/HTML ; charset=x"), "Text/HTML");
}

TEST(StripHeaderBlock, RemovesHeaderAndFollowingBlankLines) {
  TStringList l{"A: 1", "B: 2", "", "  ", "body", "", "more"};
  StripHeaderBlock(l);
  EXPECT_EQ(l, (TStringList{"body", "", "more"}));
  TStringList noBlank{"A: 1", "B: 2"};
  StripHeaderBlock(noBlank);
  EXPECT_TRUE(noBlank.empty());
}

TEST(ExtractBoundary, QuotedUnquotedAndMissing) {
  EXPECT_EQ(ExtractBoundary("Content-Type: multipart/mixed; boundary=\"a b=c\"; x=y"), "--a b=c");
  // A ";" inside the quotes still ends the boundary.
  EXPECT_EQ(ExtractBoundary("Content-Type: multipart/mixed; boundary=\"a;c\""), "--a");
  EXPECT_EQ(ExtractBoundary("Content-Type: multipart/mixed; BOUNDARY=abc; x=y"), "--abc");
  EXPECT_EQ(ExtractBoundary("Content-Type: multipart/mixed"), "");
  EXPECT_EQ(ExtractBoundary("Content-Type: multipart/mixed; boundary"), "");
  EXPECT_EQ(ExtractBoundary("Content-Type: multipart/mixed; boundary="), "");
  // At most 72 characters after the word are looked at.
  std::string longB(100, 'x');
  EXPECT_EQ(ExtractBoundary("boundary=" + longB), "--" + std::string(71, 'x'));
}

TEST(DecodeHeaderWords, QAndBWordsWithoutCharsetConversion) {
  EXPECT_EQ(DecodeHeaderWords("  plain text  "), "plain text");
  EXPECT_EQ(DecodeHeaderWords("=?iso-8859-1?Q?caf=E9_au_lait?="), "caf\xE9 au lait");
  EXPECT_EQ(DecodeHeaderWords("=?utf-8?b?SGVsbG8=?= =?utf-8?B?V29ybGQ=?="), "Hello World");
  // An encoded word without its closing "?=" leaves the text as it was.
  EXPECT_EQ(DecodeHeaderWords("=?iso-8859-1?Q?open"), "=?iso-8859-1?Q?open");
  EXPECT_EQ(DecodeHeaderWords("x =?iso"), "x =?iso");
  // Unknown encodings drop the word.
  EXPECT_EQ(DecodeHeaderWords("a=?x?Z?junk?=b"), "ab");
  // A Q word turns every underscore into a blank, also outside the word and
  // the one written as =5F.
  EXPECT_EQ(DecodeHeaderWords("a_b =?x?Q?c=5Fd?= e_f"), "a b c d e f");
  // Underscores produced by a B word after the last Q word stay.
  EXPECT_EQ(DecodeHeaderWords("=?x?Q?a?= =?x?B?Xw==?="), "a _");
  EXPECT_EQ(DecodeHeaderWords("=?x?B?Xw==?= =?x?Q?a?="), "  a");
  // A decoded word that forms a new encoded word is decoded again.
  EXPECT_EQ(DecodeHeaderWords("=?x?Q?=3D=3Fx=3FB=3F?=QUJD?="), "ABC");
}

TEST(DecodeHeaderWords, ManyWordsStayCheap) {
  std::string s;
  for (int i = 0; i < 200000; ++i) s += "=?x?Q?ab?=";
  std::string r = DecodeHeaderWords(s);
  EXPECT_EQ(r.size(), 400000u);
}

TEST(DecodeQuotedPrintable, EscapesSoftBreaksAndBadInput) {
  EXPECT_EQ(DecodeQuotedPrintableCopy("a=3Db=3db"), "a=b=b");
  EXPECT_EQ(DecodeQuotedPrintableCopy("soft=\r\nbreak"), "softbreak");
  EXPECT_EQ(DecodeQuotedPrintableCopy("x=ZZy"), "x@y");
  EXPECT_EQ(DecodeQuotedPrintableCopy("end=4"), "end");
  EXPECT_EQ(DecodeQuotedPrintableCopy("end="), "end");
  EXPECT_EQ(DecodeQuotedPrintableCopy("a=\n"), "a");  // never reads past the end
  std::string nul("a\0=41", 5);
  EXPECT_EQ(DecodeQuotedPrintable(nul), 3u);
  EXPECT_EQ(nul, std::string("a\0A", 3));
}

TEST(Quotes, StripAndRemove) {
  EXPECT_EQ(StripQuotes("  \"\"name\"  "), "name");
  EXPECT_EQ(StripOuterQuote("\""), "");
  EXPECT_EQ(StripOuterQuote("'a.txt\""), "a.txt");
  EXPECT_EQ(StripOuterQuote(""), "");
  EXPECT_EQ(RemoveChar("a,b,,c", ','), "abc");
  EXPECT_EQ(RemoveQuoted("x \"quoted, part\" y \"lone"), "x  y lone");
  EXPECT_EQ(RemoveQuoted("   "), "");
}

TEST(Addresses, CleanAndNormalize) {
  EXPECT_EQ(CleanAddress("Joe (work) <joe@x.org> (c)", true), "<joe@x.org>");
  EXPECT_EQ(CleanAddress("joe@x.org", false), "joe@x.org");
  EXPECT_EQ(CleanAddress("a > b <", false), "");
  EXPECT_EQ(CleanDisplayName("'Joe' <joe@x.org>", true), "\"Joe\"");
  EXPECT_EQ(CleanDisplayName("joe@x.org (Joe Bloggs)", false), "Joe Bloggs");
  EXPECT_EQ(NormalizeAddressList("\"Bloggs, Joe\" <joe@x.org>, ann@y.org"),
            "\"\" <joe@x.org>, \"ann@y.org\" <ann@y.org>");
  EXPECT_EQ(NormalizeAddressList("=?x?Q?J=F6rg?= <j@x.org>"), "\"J\xF6rg\" <j@x.org>");
}

TEST(ContentTypeOfFile, KnownExtensionsAndFallback) {
  EXPECT_EQ(ContentTypeOfFile("photo.JPG"), "image/jpeg");
  EXPECT_EQ(ContentTypeOfFile("report.pdf"), "application/pdf");
  EXPECT_EQ(ContentTypeOfFile("mail.eml"), "message/rfc822");
  EXPECT_EQ(ContentTypeOfFile("page.htm"), "text/html");
  EXPECT_EQ(ContentTypeOfFile("noext"), "application/octet-stream");
  EXPECT_EQ(ContentTypeOfFile("dir.pdf/file"), "application/octet-stream");
  EXPECT_EQ(ContentTypeOfFile("x.unknownext"), "application/octet-stream");
}

TEST(UniqueTempFileName, CreatesTheFileInTmpdirAndNeverSharesAName) {
  test::TempDir dir;
  test::ScopedEnv env("TMPDIR", dir.Path());
  std::string p = UniqueTempFileName("b64d");
  ASSERT_EQ(p.rfind(dir.Path() + "/b64d-", 0), 0u) << p;
  EXPECT_EQ(p.size(), dir.Path().size() + 1 + 5 + 8 + 4);
  EXPECT_EQ(p.substr(p.size() - 4), ".$$$");
  struct stat st;
  EXPECT_EQ(stat(p.c_str(), &st), 0);  // created, not only named

  // Threads drawing at once each get a name of their own.
  constexpr int kThreads = 4, kEach = 200;
  std::vector<std::vector<std::string>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) got[t].push_back(UniqueTempFileName("uud"));
    });
  for (auto& t : threads) t.join();
  std::set<std::string> all;
  for (auto& g : got) all.insert(g.begin(), g.end());
  EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kEach));
}

TEST(UniqueTempFileName, FailsCleanlyWhenTheDirectoryIsMissing) {
  test::ScopedEnv env("TMPDIR", "/nonexistent-dir-for-quillbox-tests");
  EXPECT_THROW(UniqueTempFileName("b64d"), std::runtime_error);
}

TEST(Composing, BoundaryMessageIdAndQuotedPrintable) {
  std::string b = MakeBoundary();
  EXPECT_EQ(b.rfind("----=_MOXbound_", 0), 0u);
  EXPECT_EQ(b.size(), 15 + 17 + 8 + 1 + 8);
  EXPECT_NE(MakeBoundary(), b);

  std::string id = MakeMessageID("host.example", "10.0.255.1");
  EXPECT_EQ(id.rfind("<MOX", 0), 0u);
  EXPECT_NE(id.find("$0A00FF01.$"), std::string::npos) << id;
  EXPECT_EQ(id.substr(id.size() - 14), "@host.example>");
  EXPECT_EQ(MakeMessageID("h", "").size(), 4 + 8 + 1 + 8 + 2 + 8 + 3);
  EXPECT_THROW(MakeMessageID("h", "1.2.x.4"), std::invalid_argument);

  TStringList in{"a=b\xE9", std::string(100, 'x'), ""};
  std::string qp = EncodeQuotedPrintable(in);
  EXPECT_EQ(qp.substr(0, 9), "a=3Db=E9\r");
  for (const auto& l : SplitTextLines(qp)) EXPECT_LE(l.size(), 72u);
  std::string back = qp + "\r\n";
  DecodeQuotedPrintable(back);
  EXPECT_EQ(SplitTextLines(back), in);
}

}  // namespace
}  // namespace qb
