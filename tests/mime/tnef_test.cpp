// TNEF streams: the files inside real samples are those the tnef tool
// extracts; a damaged stream gives every file that arrived whole and says
// what was wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "mime/MoxMsg.h"
#include "mime/tnef.h"
#include "platform/sha256.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

using TRow = std::tuple<std::string, std::string>;  // name, SHA-256

// The winmail.dat of a real message, as the parser gives it.
std::string WinmailOf(const std::string& emlPath) {
  TMoxMsg msg;
  msg.LoadRawMail(test::ReadFile(emlPath));
  msg.ParseRawMail();
  for (int i = 0; i < msg.Attachments.Count(); ++i)
    if (msg.Attachments[i].PartType == "APPLICATION/MS-TNEF") return msg.Attachments[i].Bytes();
  return "";
}

std::string RichText() {
  return WinmailOf(test::RefDataDir() + "/mail/mimekit/tnef/rich-text.eml");
}

std::string Clam() {
  return test::ReadFile(test::TestDataDir("mime") + "/clam.tnef");
}

// The rows of tnef_sha256.txt for one sample, in name order.
std::vector<TRow> ToolRows(const std::string& sample) {
  std::istringstream in(test::ReadFile(test::TestDataDir("mime") + "/tnef_sha256.txt"));
  std::vector<TRow> rows;
  for (std::string line; std::getline(in, line);) {
    std::istringstream f(line);
    std::string s, name, sha;
    std::getline(f, s, '\t');
    std::getline(f, name, '\t');
    std::getline(f, sha, '\t');
    if (s == sample) rows.emplace_back(name, sha);
  }
  return rows;
}

std::vector<TRow> Rows(const TTnefContent& c) {
  std::vector<TRow> rows;
  for (const TTnefFile& f : c.Files) rows.emplace_back(f.Name, Sha256Hex(f.Bytes));
  std::sort(rows.begin(), rows.end());
  return rows;
}

TEST(Tnef, RealSamplesGiveWhatTheTnefToolExtracts) {
  struct Case {
    const char* Sample;
    std::string Bytes;
    std::string Damage;
  };
  const std::vector<Case> cases = {
      // ClamAV's sample has wrong checksums; its data is sound.
      {"clam.tnef", Clam(), "an attribute's checksum does not match"},
      // A picture, then two attached messages: a task without files and a
      // message that carries the same picture again.
      {"rich-text.eml", RichText(), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Sample);
    ASSERT_TRUE(IsTnefStream(c.Bytes));
    const TTnefContent content = DecodeTnef(c.Bytes);
    const std::vector<TRow> expected = ToolRows(c.Sample);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Rows(content), expected);
    EXPECT_EQ(content.Damage, c.Damage);
  }
}

TEST(Tnef, AStreamCutShortGivesTheFilesThatArrivedWhole) {
  const std::string whole = RichText();
  ASSERT_EQ(whole.size(), 821421u);
  const std::string kitten = std::get<1>(ToolRows("rich-text.eml").at(0));
  const std::string longName = "kitten-playing-with-a-christmas-tree.jpg";
  struct Case {
    std::size_t Cut;
    std::vector<std::string> Names;
  };
  // The picture's data ends at byte 417705 and its long name at 421671;
  // the two attached messages follow, each a placeholder note whose real
  // content comes last, in its properties.
  const std::vector<Case> cases = {
      {5, {}},
      {100, {}},
      {300000, {}},
      // Cut inside the picture's properties: its short name only.
      {421000, {"KITTEN~1.JPG"}},
      // Cut inside an attached message: its note is all there is of it.
      {425000, {longName, "Untitled Attachment"}},
      // The first attached message, a task, carries no file.
      {821420, {longName, "Untitled Attachment"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Cut);
    const TTnefContent content = DecodeTnef(std::string_view(whole).substr(0, c.Cut));
    std::vector<std::string> names;
    for (const TTnefFile& f : content.Files) {
      names.push_back(f.Name);
      if (f.Name != "Untitled Attachment") {
        EXPECT_EQ(Sha256Hex(f.Bytes), kitten);
      }
    }
    EXPECT_EQ(names, c.Names);
    EXPECT_EQ(content.Damage, "the stream is cut short");
  }
}

TEST(Tnef, BytesThatAreNoStreamGiveNothing) {
  const std::string clam = Clam();
  struct Case {
    const char* Name;
    std::string Bytes;
    std::string Damage;
  };
  const std::vector<Case> cases = {
      {"empty", "", "the stream does not begin with the TNEF signature"},
      {"a picture called winmail.dat", "\x89PNG\r\n\x1a\n",
       "the stream does not begin with the TNEF signature"},
      {"signature and key only", clam.substr(0, 6), ""},
      {"garbage after the signature", clam.substr(0, 6) + std::string(40, '\x7f'),
       "bytes follow that are not a TNEF attribute"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const TTnefContent content = DecodeTnef(c.Bytes);
    EXPECT_TRUE(content.Files.empty());
    EXPECT_EQ(content.Damage, c.Damage);
  }
}

}  // namespace
}  // namespace qb
