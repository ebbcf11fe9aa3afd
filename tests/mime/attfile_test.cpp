// Attachment items: decoding through temporary files, the uuencode rules,
// the replacement report and saving.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "mime/MoxAttFile.h"
#include "mime/base64stream.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

// Runs a test with its own temporary directory and checks that every
// temporary file has been removed at the end.
class AttFile : public ::testing::Test {
 protected:
  void TearDown() override {
    TAttachedFile::OnTempFileWritten = nullptr;
    EXPECT_TRUE(test::ListTree(tmp_.Path()).empty()) << "temporary files left behind";
  }
  test::TempDir tmp_;
  test::ScopedEnv env_{"TMPDIR", tmp_.Path()};
};

// The uuencoded form of bytes, one line per 45 bytes, as uuencode writes it.
TStringList UUEncode(const std::string& bytes) {
  TStringList lines{"begin 644 file.bin"};
  auto enc = [](unsigned v) { return static_cast<char>(v ? v + 32 : '`'); };
  for (size_t i = 0; i < bytes.size(); i += 45) {
    std::string chunk = bytes.substr(i, 45);
    std::string line(1, enc(static_cast<unsigned>(chunk.size())));
    while (chunk.size() % 3) chunk.push_back('\0');
    for (size_t k = 0; k < chunk.size(); k += 3) {
      unsigned a = static_cast<unsigned char>(chunk[k]),
               b = static_cast<unsigned char>(chunk[k + 1]),
               c = static_cast<unsigned char>(chunk[k + 2]);
      line += enc(a >> 2);
      line += enc(((a & 3) << 4) | (b >> 4));
      line += enc(((b & 15) << 2) | (c >> 6));
      line += enc(c & 63);
    }
    lines.push_back(line);
  }
  lines.push_back("`");
  lines.push_back("end");
  return lines;
}

std::string Bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  return s;
}

TEST_F(AttFile, Base64LinesOfOddLengthsDecode) {
  std::string bytes = Bytes(1000);
  std::string text = Base64Encode(bytes);
  std::string flat;
  for (char c : text)
    if (c != '\r' && c != '\n') flat.push_back(c);
  TAttachedFiles files;
  TAttachedFile& a = files.Add("C:\\docs\\data.pdf", "cid1");
  EXPECT_EQ(a.FileName, "data.pdf");
  EXPECT_EQ(a.SourcePath, "C:\\docs\\data.pdf");
  EXPECT_EQ(a.ContentType, "application/pdf");
  EXPECT_EQ(a.ContentID, "cid1");
  for (size_t i = 0; i < flat.size(); i += 5) a.EncodedLines.push_back(flat.substr(i, 5));
  a.DecodeBase64();
  EXPECT_EQ(a.Bytes(), bytes);
  EXPECT_EQ(a.Body().Position(), 0);
}

TEST_F(AttFile, ThrottledDecodingGivesTheSameBytes) {
  std::string bytes = Bytes(57 * 100);
  TAttachedFiles files;
  files.Throttled = true;
  TAttachedFile& a = files.Add("x.bin");
  EXPECT_TRUE(a.Throttled);
  a.EncodedLines = SplitTextLines(Base64Encode(bytes));
  a.DecodeBase64();
  EXPECT_EQ(a.Bytes(), bytes);
}

TEST_F(AttFile, UUDecodingOfFullAndShortLines) {
  for (size_t n : {1u, 44u, 45u, 46u, 90u, 1000u}) {
    std::string bytes = Bytes(n);
    TAttachedFile a;
    a.EncodedLines = UUEncode(bytes);
    a.DecodeUU();
    EXPECT_EQ(a.Bytes(), bytes) << n;
  }
}

TEST_F(AttFile, UUShortLineWritesOnlyItsCount) {
  // Count 1 ("!"), but four data characters that decode to three bytes.
  TAttachedFile a;
  a.EncodedLines = {"begin 644 x", "!86)C", "`", "end"};
  a.DecodeUU();
  EXPECT_EQ(a.Bytes(), "a");
  // A blank count character writes nothing; the block stops before "`".
  TAttachedFile b;
  b.EncodedLines = {"begin 644 x", " 86)C", "`", "M" + std::string(60, '!')};
  b.DecodeUU();
  EXPECT_EQ(b.Bytes(), "");
}

TEST_F(AttFile, UUEmptyLinesAndMissingDataWriteNothing) {
  TAttachedFile a;
  a.EncodedLines = {"begin 644 x"};
  a.DecodeUU();
  EXPECT_EQ(a.Bytes(), "");
  TAttachedFile b;
  b.EncodedLines = {"begin 644 x", "", "#86)C", "end"};
  b.DecodeUU();
  EXPECT_EQ(b.Bytes(), "abc");
}

TEST_F(AttFile, UUCountAbove45WritesTheLinesBytes) {
  TAttachedFile a;
  a.EncodedLines = {"begin 644 x", "_" + std::string(60, '!')};
  a.DecodeUU();
  EXPECT_EQ(a.Bytes().size(), 45u);
}

TEST_F(AttFile, UUBadCharacterOrShortFullLineRaisesOops) {
  TAttachedFile a;
  a.EncodedLines = {"begin 644 x", "#abc"};  // lower case is outside the alphabet
  try {
    a.DecodeUU();
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Oops...");
  }
  EXPECT_EQ(a.Bytes(), "");
  TAttachedFile b;
  b.EncodedLines = {"begin 644 x", "M" + std::string(59, '!')};  // trailing blank stripped
  EXPECT_THROW(b.DecodeUU(), std::runtime_error);
  EXPECT_EQ(UUCharValue('`'), 0);
  EXPECT_EQ(UUCharValue(' '), 0);
  EXPECT_EQ(UUCharValue('_'), 63);
  EXPECT_THROW(UUCharValue('a'), std::runtime_error);
}

TEST_F(AttFile, VanishedTempFileBecomesVirusReport) {
  TAttachedFile::OnTempFileWritten = [](const std::string& path) { ::unlink(path.c_str()); };
  TAttachedFiles files;
  TAttachedFile& a = files.Add(" Setup.exe ");
  std::string before = a.ContentType;
  a.EncodedLines = {"YWJj"};
  a.DecodeBase64();
  EXPECT_EQ(a.FileName, "virus_report.txt");
  EXPECT_EQ(a.ContentType, before);
  EXPECT_EQ(a.Bytes(),
            "Setup.exe cannot be opened.\r\n"
            "This is generally due to virus protection software suspecting a virus in the "
            "attachment.\r\n"
            "The contents of the attachment has been stripped.");
}

TEST_F(AttFile, SaveToFileReplacesAndNeedsABody) {
  TAttachedFile a;
  a.EncodedLines = {"YWJj"};
  a.DecodeBase64();
  std::string target = tmp_ / "out.bin";
  test::WriteFile(target, "an older and longer content");
  a.SaveToFile(target);
  EXPECT_EQ(test::ReadFile(target), "abc");
  ::unlink(target.c_str());
  a.ReleaseBody();
  try {
    a.SaveToFile(target);
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "AttachedFile.Body = nil");
  }
  EXPECT_THROW(TAttachedFile().SaveToFile(tmp_ / "no/such/dir/x"), EStreamError);
}

TEST_F(AttFile, EncodeBase64FromBodyAndFromFile) {
  std::string bytes = Bytes(200);
  TAttachedFile a;
  a.Body().Assign(bytes);
  a.EncodeBase64();
  EXPECT_EQ(JoinLinesNoFinalBreak(a.EncodedLines), Base64Encode(bytes));

  test::TempDir src;
  test::WriteFile(src / "in.bin", bytes);
  TAttachedFiles files;
  TAttachedFile& b = files.Add(src / "in.bin");
  b.EncodeBase64();
  EXPECT_EQ(b.Bytes(), bytes);
  EXPECT_EQ(b.EncodedLines, a.EncodedLines);
}

TEST_F(AttFile, CollectionIndexAndDelete) {
  TAttachedFiles files;
  files.Add("a.txt");
  files.Add("dir:b.txt");
  EXPECT_EQ(files.Count(), 2);
  EXPECT_EQ(files[1].FileName, "b.txt");
  files.Delete(0);
  EXPECT_EQ(files[0].FileName, "b.txt");
  EXPECT_THROW(files.Items(5), std::out_of_range);
}

}  // namespace
}  // namespace qb
