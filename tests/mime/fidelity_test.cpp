// Every attachment exactly as it was sent: stored bytes of text parts,
// delimiters and boundaries as RFC 2046 allows them, base64 as RFC 2045
// reads it, every uuencoding name, names in their own character set, the
// attachments of attached messages, stable names and no stub files. Each
// case gives the outcome with every mend and with the old rules (Legacy).
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/oCalcMD5.h"
#include "mime/MoxMsg.h"
#include "mime/base64stream.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

using TFiles = std::vector<std::pair<std::string, std::string>>;  // name, bytes

// The attachments of text parsed as the engine does (the text taken over),
// or as lines loaded into RawMail.
TFiles Parse(const std::string& text, bool legacy, bool asLines = false) {
  TMoxMsg m;
  if (legacy) m.ParserOptions = TMimeParserOptions::Legacy();
  if (asLines)
    m.LoadRawMail(text);
  else
    m.TakeRawText(text);
  m.ParseRawMail();
  TFiles files;
  for (int i = 0; i < m.Attachments.Count(); ++i)
    files.emplace_back(m.Attachments[i].FileName, m.Attachments[i].Bytes());
  return files;
}

std::string Lf(std::string s) {
  std::string r;
  for (char c : s)
    if (c != '\r') r += c;
  return r;
}

std::string Mixed(const std::string& parts, const std::string& boundary = "b") {
  return "From: a@example.com\r\nSubject: s\r\nMIME-Version: 1.0\r\n"
         "Content-Type: multipart/mixed; boundary=\"" +
         boundary + "\"\r\n\r\n" + parts;
}

struct TCase {
  const char* what;
  std::string text;
  TFiles mended;
  TFiles legacy;
};

class Fidelity : public ::testing::Test {
 protected:
  void Check(const std::vector<TCase>& cases) {
    for (const TCase& c : cases) {
      EXPECT_EQ(Parse(c.text, false), c.mended) << c.what;
      EXPECT_EQ(Parse(c.text, true), c.legacy) << c.what << " (legacy)";
    }
  }
  test::TempDir tmp_;
  test::ScopedEnv env_{"TMPDIR", tmp_.Path()};
};

TEST_F(Fidelity, TextAttachmentsKeepTheirStoredBytes) {
  const std::string diff = Mixed(
      "--b\r\nContent-Type: text/plain\r\n\r\nbody\r\n"
      "--b\r\nContent-Type: text/x-diff; name=\"a.diff\"\r\n"
      "Content-Disposition: attachment\r\n\r\n\r\n-old\r\n+new\r\n\r\n--b--\r\n");
  const std::string qp = Mixed(
      "--b\r\nContent-Type: text/csv; name=\"t.csv\"\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n\r\na=\r\nb=3D\r\nc\r\n--b--\r\n");
  const std::string eml = Mixed(
      "--b\r\nContent-Type: message/rfc822; name=\"fwd.eml\"\r\n\r\n"
      "Subject: inner\r\n\r\ntext\r\n--b--\r\n");
  Check({
      {"CR LF diff", diff, {{"a.diff", "\r\n-old\r\n+new\r\n"}}, {{"a.diff", "-old\r\n+new\r\n"}}},
      {"LF diff", Lf(diff), {{"a.diff", "\n-old\n+new\n"}}, {{"a.diff", "-old\r\n+new\r\n"}}},
      {"quoted-printable, LF", Lf(qp), {{"t.csv", "ab=\nc"}}, {{"t.csv", "ab=\r\nc\r\n"}}},
      {"quoted-printable, CR LF", qp, {{"t.csv", "ab=\r\nc"}}, {{"t.csv", "ab=\r\nc\r\n"}}},
      {"embedded message kept whole, LF",
       Lf(eml),
       {{"fwd.eml", "Subject: inner\n\ntext"}},
       {{"fwd.eml", "Subject: inner\r\n\r\ntext"}}},
  });
  // Lines loaded into RawMail have lost their breaks: CR LF stands in.
  EXPECT_EQ(Parse(Lf(diff), false, true), (TFiles{{"a.diff", "\r\n-old\r\n+new\r\n"}}));
}

TEST_F(Fidelity, BoundariesAsRfc2046AllowsThem) {
  const std::string part =
      "Content-Type: application/pdf; name=\"a.pdf\"\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nJVBERg==\r\n";
  const std::string longB(76, 'x');
  Check({
      {"padded opening delimiter",
       Mixed("--b \t\r\n" + part + "--b--\r\n"),
       {{"a.pdf", "%PDF"}},
       {}},
      {"boundary folded inside its quotes",
       "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"one\r\n two\"\r\n\r\n"
       "--one two\r\n" +
           part + "--one two--\r\n",
       {{"a.pdf", "%PDF"}},
       {}},
      {"boundary of 76 characters",
       Mixed("--" + longB + "\r\n" + part + "--" + longB + "--\r\n", longB),
       {{"a.pdf", "%PDF"}},
       {}},
  });
}

TEST_F(Fidelity, EveryUuencodingName) {
  for (const char* name : {"uuencode", "x-uue", "x-uuencode"}) {
    const std::string text = Mixed(
        "--b\r\nContent-Type: application/octet-stream; name=\"c.txt\"\r\n"
        "Content-Transfer-Encoding: " +
        std::string(name) + "\r\n\r\nbegin 644 c.txt\r\n#0V%T\r\n`\r\nend\r\n--b--\r\n");
    const bool old = std::string(name) == "x-uuencode";
    Check({{name,
            text,
            {{"c.txt", "Cat"}},
            {{"c.txt", old ? "Cat" : "begin 644 c.txt\r\n#0V%T\r\n`\r\nend"}}}});
  }
}

TEST_F(Fidelity, NamesInTheirOwnCharacterSet) {
  auto named = [](const std::string& param, const std::string& charset = "us-ascii") {
    return Mixed("--b\r\nContent-Type: application/octet-stream; charset=" + charset + "; name=\"" +
                 param + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\nQQ==\r\n--b--\r\n");
  };
  Check({
      {"KOI8-R",
       named("=?koi8-r?B?8NLJ18XULnR4dA==?="),
       {{"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt", "A"}},
       {{"\xF0\xD2\xC9\xD7\xC5\xD4.txt", "A"}}},
      {"ks_c_5601-1987 as CP949",
       named("=?ks_c_5601-1987?B?x9Gxub7uLnBkZg==?="),
       {{"\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4.pdf", "A"}},
       {{"\xC7\xD1\xB1\xB9\xBE\xEE.pdf", "A"}}},
      {"ISO-2022-JP",
       named("=?iso-2022-jp?B?GyRCRnxLXBsoQi5kb2M=?="),
       {{"\xE6\x97\xA5\xE6\x9C\xAC.doc", "A"}},
       {{"$BFK\x1B(B.doc", "A"}}},
      {"Shift_JIS",
       named("=?shift_jis?B?k/qWey5kb2M=?="),
       {{"\xE6\x97\xA5\xE6\x9C\xAC.doc", "A"}},
       {{"\x93\xFA\x96{.doc", "A"}}},
      {"GB2312",
       named("=?gb2312?B?1tDOxC5kb2M=?="),
       {{"\xE4\xB8\xAD\xE6\x96\x87.doc", "A"}},
       {{"\xD6\xD0\xCE\xC4.doc", "A"}}},
      {"Big5",
       named("=?big5?B?pKSk5S5kb2M=?="),
       {{"\xE4\xB8\xAD\xE6\x96\x87.doc", "A"}},
       {{"\xA4\xA4\xA4\xE5.doc", "A"}}},
      {"Q: \"_\" a blank, \"=5F\" an underscore, words joined",
       named("=?utf-8?Q?a_b=5Fc?= =?utf-8?Q?d?=_e.txt"),
       {{"a b_cd_e.txt", "A"}},
       {{"a b c d e.txt", "A"}}},
      {"raw 8-bit name in the part's charset",
       named("Gr\xF6\xDF"
             "e.pdf",
             "iso-8859-1"),
       {{"Gr\xC3\xB6\xC3\x9F"
         "e.pdf",
         "A"}},
       {{"Gr\xF6\xDF"
         "e.pdf",
         "A"}}},
      {"unknown charset keeps the bytes",
       named("=?x-none?Q?a=E9.txt?="),
       {{"a\xE9.txt", "A"}},
       {{"a\xE9.txt", "A"}}},
  });
}

TEST_F(Fidelity, AttachmentsOfAttachedMessagesAreWrittenBeside) {
  const std::string inner =
      "Subject: inner\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"i\"\r\n\r\n"
      "--i\r\nContent-Type: text/plain\r\n\r\ninner text\r\n"
      "--i\r\nContent-Type: application/pdf; name=\"in.pdf\"\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nJVBERg==\r\n--i--\r\n";
  const std::string text = Mixed(
      "--b\r\nContent-Type: text/plain\r\n\r\nouter\r\n--b\r\n"
      "Content-Type: message/rfc822\r\nContent-Disposition: attachment\r\n\r\n" +
      inner + "--b--\r\n");
  const std::string eml = inner.substr(0, inner.size() - 2);
  Check({{"forwarded message",
          text,
          {{"inner.eml", eml}, {"in.pdf", "%PDF"}},
          {{"inner.eml", eml}}}});
  TMoxMsg m;
  m.TakeRawText(text);
  m.ParseRawMail();
  EXPECT_EQ(m.Text, (TStringList{"outer"})) << "the inner text is not this message's";
}

// "rfc822-" + eight upper-case hexadecimal digits + ".eml", the first one at
// most maxFirst.
bool IsRfc822Name(const std::string& name, char maxFirst = 'F') {
  if (name.size() != 19 || name.compare(0, 7, "rfc822-") != 0 || name.compare(15, 4, ".eml") != 0)
    return false;
  for (std::size_t i = 7; i < 15; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(name[i])) ||
        std::islower(static_cast<unsigned char>(name[i])))
      return false;
  return name[7] <= maxFirst;
}

TEST_F(Fidelity, AttachedMessageWithoutSubjectHasAStableName) {
  const std::string text = Mixed(
      "--b\r\nContent-Type: message/rfc822\r\n\r\nFrom: x@example.com\r\n\r\nhi\r\n--b--\r\n");
  const TFiles first = Parse(text, false);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_TRUE(IsRfc822Name(first[0].first)) << first[0].first;
  EXPECT_EQ(Parse(text, false), first);
  EXPECT_EQ(Parse(Lf(text), false)[0].first, first[0].first) << "line ends do not matter";
  // The old rule draws the digits at random.
  EXPECT_TRUE(IsRfc822Name(Parse(text, true)[0].first, '7'));
}

TEST_F(Fidelity, ExternalBodyIsNoFile) {
  const std::string text = Mixed(
      "--b\r\nContent-Type: message/external-body; access-type=URL; name=\"big.zip\";\r\n"
      " URL=\"http://example.com/big.zip\"\r\n\r\nContent-Type: application/zip\r\n\r\n--b--\r\n");
  Check({{"external body", text, {}, {{"big.zip", "Content-Type: application/zip\r\n"}}}});
}

// The messages of the reference corpus that lost or mangled files by the
// old rules: names and MD5 digests of the bytes as Python's email package
// decodes them from the same file.
TEST_F(Fidelity, ReferenceMessagesGiveWhatAnIndependentDecoderGives) {
  const std::string dir = test::RefDataDir() + "/mail/";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "reference mail corpus not found";
  const struct {
    const char* file;
    TFiles files;  // name, MD5 of the bytes
  } cases[] = {
      {"mime-tools/testmsgs/multi-weirdspace.msg",
       {{"3d-compress.gif", "143E50F0F225AB0A4D56C7970D37A30A"},
        {"3d-eye.gif", "DFD710FC1FB231C4E2A5305277908CDE"}}},
      {"zbateson-mail-mime-parser/m0021.txt",
       {{"blueball.png", "8CA71B8BB5F11EEE1C1F81259A08BCB9"},
        {"greenball.png", "5529D2178548E4FF257C52A553A706B2"},
        {"redball.png", "5F48FB0177A3978F2D9AE6A3E070AAB6"}}},
      {"mu/testdir4/mail5",
       {{"sittingbull.jpg", "2BCEED18A11D9E09F73D5083DAF87514"},
        {"custer.jpg", "EC43E2B3630ED8E0BAFCA45442A6F7F6"}}},
      {"php-mime-mail-parser/uuencode.eml",
       {{"wikipedia-url.txt", "A46C8ACF69B3FF99E69AE3AF77E0DB41"}}},
      {"zbateson-mail-mime-parser/m3007.txt",
       {{"greenball.png", "5529D2178548E4FF257C52A553A706B2"},
        {"blueball.png", "8CA71B8BB5F11EEE1C1F81259A08BCB9"},
        // No charset anywhere: the code page converts it at the edge.
        {"HasenundFr\xF6sche.txt", "B57058C043E0A6947BDD40A663FB8073"}}},
      {"php-mime-mail-parser/m0013",
       {{"50032266 CAR 11_MNPA00A01_9PTX_H00 ATT N\xC2\xB0 1467829.pdf",
         "B81453378A0C6E5389111178CF249C11"}}},
      {"stalwart-mail-parser/rfc/001.eml", {}},
  };
  for (const auto& c : cases) {
    TMoxMsg m;
    m.TakeRawText(test::ReadFile(dir + c.file));
    m.ParseRawMail();
    TFiles got;
    for (int i = 0; i < m.Attachments.Count(); ++i)
      got.emplace_back(m.Attachments[i].FileName,
                       MD5DigestToText(CalcMD5(m.Attachments[i].Bytes())));
    EXPECT_EQ(got, c.files) << c.file;
  }
  // A KOI8-R encoded word, unquoted, in a message that is one attachment.
  TMoxMsg russian;
  russian.TakeRawText(test::ReadFile(dir + "mime-tools/testmsgs/russian.msg"));
  russian.ParseRawMail();
  ASSERT_EQ(russian.Attachments.Count(), 1);
  EXPECT_EQ(russian.Attachments[0].FileName,
            "\xD0\xA1\xD0\xBF\xD0\xB8\xD1\x81\xD0\xBE\xD0\xBA.doc");
}

// One bad character in a uuencoded block costs that file alone when the
// attachments are decoded as they are written; the old rule lost the
// message.
TEST_F(Fidelity, BadUuencodedBlockLosesOnlyItsFile) {
  const std::string text = Mixed(
      "--b\r\nContent-Type: application/octet-stream; name=\"x.bin\"\r\n"
      "Content-Transfer-Encoding: x-uuencode\r\n\r\nbegin 644 x.bin\r\n#abc\r\nend\r\n"
      "--b\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nJVBERg==\r\n--b--\r\n");
  TMoxMsg m;
  m.TakeRawText(text);
  m.ParseRawMail();
  ASSERT_EQ(m.Attachments.Count(), 2);
  EXPECT_EQ(m.Attachments[1].Bytes(), "%PDF");
  try {
    m.Attachments[0].WriteDecoded([](const char*, std::size_t) { return true; });
    ADD_FAILURE() << "the bad block was written";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Oops...");
  }
  TMoxMsg old;
  old.ParserOptions = TMimeParserOptions::Legacy();
  old.TakeRawText(text);
  EXPECT_THROW(old.ParseRawMail(), std::runtime_error);
  EXPECT_EQ(old.Attachments.Count(), 1);
}

// A header field is kept up to 64 KiB, whatever its size.
TEST_F(Fidelity, HugeHeaderFieldsAreCapped) {
  const std::string subject(3 * kMimeMaxHeaderFieldBytes, 's');
  std::string folded = "Content-Type: application/pdf;\r\n name=\"";
  for (int i = 0; i < 20000; ++i) folded += "=?utf-8?Q?abcdef?=\r\n ";
  const std::string text = "Subject: " + subject + "\r\nMIME-Version: 1.0\r\n" + folded +
                           "x.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\nJVBERg==\r\n";
  TMoxMsg m;
  m.TakeRawText(text);
  m.ParseRawMail();
  EXPECT_EQ(m.Subject.size(), kMimeMaxHeaderFieldBytes - 9);
  ASSERT_EQ(m.Attachments.Count(), 1);
  EXPECT_LE(m.Attachments[0].FileName.size(), kMimeMaxHeaderFieldBytes);
  EXPECT_EQ(m.Attachments[0].Bytes(), "%PDF");
}

// The RFC 2045 base64 reading, fed in chunks; the old rule for comparison.
struct TBase64Case {
  const char* in;
  const char* rfc2045;
  const char* legacy;
};

class FidelityChunks : public ::testing::TestWithParam<std::size_t> {};

std::string DecodeInChunks(const std::string& text, bool rfc2045, std::size_t chunk) {
  TBase64Decoder dec(rfc2045);
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += chunk) {
    const std::size_t n = std::min(chunk, text.size() - i);
    std::string buf(TBase64Decoder::MaxDecodedSize(n), '\0');
    buf.resize(dec.Decode(text.data() + i, n, reinterpret_cast<unsigned char*>(buf.data())));
    out += buf;
  }
  unsigned char tail[4];
  out.append(reinterpret_cast<char*>(tail), dec.Finish(tail));
  return out;
}

TEST_P(FidelityChunks, ReadAsRfc2045Says) {
  const TBase64Case cases[] = {
      {"QUJD\tREVG \r\n", "ABCDEF", "ABC\x01\x11\x15"},
      {"QU\x80JD", "ABC", "A@\t"},
      {"QQ==QUJD", "A", "AABC"},
      {"QQ==\r\n\r\nZ2FyYmFnZQ==", "A", "Agarbage"},
      {"QUJ", "AB", ""},
      {"QUJDRA", "ABCD", "ABC"},
      {"QUJDR", "ABC", "ABC"},
      {"", "", ""},
  };
  for (const TBase64Case& c : cases) {
    EXPECT_EQ(DecodeInChunks(c.in, true, GetParam()), c.rfc2045) << c.in;
    EXPECT_EQ(DecodeInChunks(c.in, false, GetParam()), c.legacy) << c.in << " (legacy)";
  }
}

TEST_P(FidelityChunks, QuotedPrintableSoftBreaksOfEveryLineEnd) {
  const struct {
    const char* in;
    const char* lineEnds;
    const char* legacy;
  } cases[] = {
      {"a=\r\nb", "ab", "ab"},
      {"a=\nbc", "abc", "ac"},
      {"a=\rbc", "abc", "ac"},
      {"a=3D\nb", "a=\nb", "a=\nb"},
  };
  for (const auto& c : cases)
    for (const bool lineEnds : {true, false}) {
      TQuotedPrintableDecoder dec(lineEnds);
      const std::string in = c.in;
      std::string out;
      for (std::size_t i = 0; i < in.size(); i += GetParam()) {
        const std::size_t n = std::min(GetParam(), in.size() - i);
        std::string buf(n, '\0');
        buf.resize(dec.Decode(in.data() + i, n, buf.data()));
        out += buf;
      }
      EXPECT_EQ(out, lineEnds ? c.lineEnds : c.legacy) << c.in << (lineEnds ? "" : " (legacy)");
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FidelityChunks, ::testing::Values(4096, 16, 1));

}  // namespace
}  // namespace qb
