#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <random>
#include <set>
#include <string>

#include "engine/datetext.h"
#include "engine/oIniFile.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

std::string DataFile(const std::string& name) {
  return test::ReadFile(test::TestDataDir("engine") + "/" + name);
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::string Joined(const TBigIniFile& ini) {
  TStringList all;
  ini.ReadAll(all);
  std::string out;
  for (const std::string& l : all) out += l + "\r\n";
  return out;
}

// ---------------------------------------------------------------------------
// Loading

TEST(IniLoad, LinesBeforeTheFirstSectionAreLostAtTheNextFlush) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  test::WriteFile(path, DataFile("lines_before_first_section.ini"));
  {
    TBigIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Main", "key", "-"), "value");
    EXPECT_EQ(ini.ReadString("Main", "orphan", "-"), "-");
    ini.WriteString("Main", "more", "1");
  }
  EXPECT_EQ(test::ReadFile(path), "[Main]\r\nkey=value\r\nmore=1\r\n\r\n");
}

TEST(IniLoad, DuplicateSectionsInAnotherCaseKeepOnlyTheFirst) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  const std::string original = DataFile("duplicate_sections_other_case.ini");
  test::WriteFile(path, original);
  {
    TBigIniFile ini(path);
    EXPECT_FALSE(ini.Modified()) << "a merge alone must not cause a rewrite";
    EXPECT_EQ(ini.Sections().Count(), 2);
    EXPECT_EQ(ini.ReadString("colors", "red", "-"), "1");
    EXPECT_EQ(ini.ReadString("COLORS", "blue", "-"), "-");
    EXPECT_EQ(ini.ReadString("Colors", "green", "-"), "-");
  }
  EXPECT_EQ(test::ReadFile(path), original);
  {
    TBigIniFile ini(path);
    ini.WriteString("Other", "y", "2");
  }
  EXPECT_EQ(test::ReadFile(path), "[Colors]\r\nred=1\r\n\r\n[Other]\r\nx=1\r\ny=2\r\n\r\n");
}

TEST(IniLoad, DuplicateCallbackDecidesWhichSectionStays) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  test::WriteFile(path, DataFile("duplicate_sections_other_case.ini"));
  TBigIniFile ini;
  std::vector<std::string> calls;
  ini.OnDuplicateSection = [&](const std::string& name, const TStringList& earlier,
                               const TStringList& later) {
    calls.push_back(name + ":" + earlier.at(0) + ">" + later.at(0));
    return false;  // keep the later one every time
  };
  ini.SetFileName(path);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], "Colors:red=1>blue=2");
  EXPECT_EQ(calls[1], "COLORS:blue=2>green=3");
  TStringList names;
  ini.ReadSections(names);
  EXPECT_EQ(names, (TStringList{"Other", "colors"})) << "survivors keep file order";
  EXPECT_EQ(ini.ReadString("Colors", "green", "-"), "3");
}

TEST(IniLoad, HeaderWithTrailingBlankIsALineOfThePreviousSection) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  test::WriteFile(path, DataFile("header_with_trailing_blank.ini"));
  TBigIniFile ini(path);
  EXPECT_FALSE(ini.SectionExists("B"));
  TStringList lines;
  ini.ReadSectionValues("A", lines);
  EXPECT_EQ(lines, (TStringList{"x=1", "[B] ", "y=2"}));
  EXPECT_EQ(ini.ReadString("A", "y", "-"), "2");
}

TEST(IniLoad, LfCrAndEofMarkLineBreaks) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  test::WriteFile(path, DataFile("mixed_line_breaks_and_eof_mark.ini"));
  TBigIniFile ini(path);
  EXPECT_EQ(ini.ReadString("Unix", "lf", "-"), "1");
  EXPECT_EQ(ini.ReadString("Mac", "cr", "-"), "2");
  EXPECT_EQ(ini.ReadString("Last", "z", "-"), "3");
  EXPECT_EQ(ini.FileText(), "[Unix]\r\nlf=1\r\n\r\n[Mac]\r\ncr=2\r\n\r\n[Last]\r\nz=3\r\n\r\n");
}

TEST(IniLoad, LinesAreCutTo255CharactersAndCutHeadersAreNoHeaders) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  const std::string longValue(400, 'v');
  const std::string longHeader = "[" + std::string(300, 'h') + "]";
  test::WriteFile(path, "[S]\r\nk=" + longValue + "\r\n" + longHeader + "\r\n");
  TBigIniFile ini(path);
  EXPECT_EQ(ini.ReadString("S", "k", "").size(), 253u);
  TStringList lines;
  ini.ReadSectionValues("S", lines);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], longHeader.substr(0, 255));
  EXPECT_EQ(ini.Sections().Count(), 1);
}

TEST(IniLoad, MissingFileStartsEmptyAndUnreadableFileRaises) {
  test::TempDir dir;
  TBigIniFile ini(dir / "none.ini");
  EXPECT_EQ(ini.Sections().Count(), 0);
  EXPECT_FALSE(test::ListTree(dir.Path()).size());
  // A directory where the file should be cannot be read.
  EXPECT_THROW(TBigIniFile bad(dir.Path()), EInOutError);
}

TEST(IniLoad, RandomBytesNeverBreakTheLoader) {
  test::TempDir dir;
  const std::string path = dir / "r.ini";
  std::mt19937 rng(42);
  const char alphabet[] = "[]=;\r\n\x1a ab";
  for (int round = 0; round < 150; ++round) {
    std::string s(rng() % 600, ' ');
    for (char& c : s)
      c = rng() % 4 ? alphabet[rng() % (sizeof alphabet - 1)] : static_cast<char>(rng());
    test::WriteFile(path, s);
    TBigIniFile ini(path);
    for (int i = 0; i < ini.Sections().Count(); ++i)
      for (const std::string& l : ini.Sections().Lines(i)) ASSERT_LE(l.size(), kIniMaxText);
    // What a rewrite gives loads back to the same image.
    const std::string text = ini.FileText();
    test::WriteFile(path, text);
    TBigIniFile again(path);
    EXPECT_EQ(again.FileText(), text);
  }
}

// ---------------------------------------------------------------------------
// Writing and reading values

TEST(IniWrite, FileTextFormat) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  {
    TBigIniFile ini(path);
    ini.WriteString("One", "a", "1");
    ini.DeleteKey("Empty", "x");  // creates an empty section
    ini.WriteString("Two", "b", "");
  }
  EXPECT_EQ(test::ReadFile(path), "[One]\r\na=1\r\n\r\n[Two]\r\nb=\r\n\r\n");
}

TEST(IniWrite, RepeatedIdenticalWritesDoNotRewrite) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  TBigIniFile ini(path);
  ini.WriteString("S", "k", "v");
  ini.WriteString("S", "k", "v");
  ini.UpdateFile();
  // Change an old section so the next real flush would replace the file.
  ini.WriteString("S", "k", "w");
  ini.UpdateFile();
  const ino_t before = Inode(path);
  ini.WriteString("S", "k", "w");
  EXPECT_FALSE(ini.Modified());
  ini.UpdateFile();
  EXPECT_EQ(Inode(path), before);
}

TEST(IniWrite, KeyInAnotherCaseIsReplacedAndTakesTheNewCase) {
  TBigIniFile ini;
  ini.WriteString("S", "Name", "a");
  ini.WriteString("s", "NAME", "b");
  TStringList lines;
  ini.ReadSectionValues("S", lines);
  EXPECT_EQ(lines, TStringList{"NAME=b"});
}

TEST(IniWrite, KeyHoldingEqualsNeverFindsItsEarlierLine) {
  TBigIniFile ini;
  ini.WriteString("urls", "http://x/?a=b", "1");
  ini.WriteString("urls", "http://x/?a=b", "1");
  TStringList lines;
  ini.ReadSectionValues("urls", lines);
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_EQ(ini.ReadString("urls", "http://x/?a", "-"), "b=1");
}

TEST(IniWrite, SectionThatLosesAllItsLinesLeavesTheFile) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  test::WriteFile(path, "[Keep]\r\na=1\r\n\r\n[Gone]\r\nb=2\r\nc=3\r\n\r\n");
  {
    TBigIniFile ini(path);
    ini.DeleteKey("Gone", "b");
    ini.DeleteKey("gone", "C");
    EXPECT_TRUE(ini.SectionExists("Gone"));
  }
  EXPECT_EQ(test::ReadFile(path), "[Keep]\r\na=1\r\n\r\n");
}

TEST(IniWrite, ShortFormCutsTheLineWholeFormKeepsItUntilReload) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  const std::string longValue(300, 'x');
  {
    TBigIniFile ini(path);
    ini.WriteString("S", "whole", longValue);
    ini.WriteShortString("S", "short", longValue);
    EXPECT_EQ(ini.ReadString("S", "whole", ""), longValue);
    EXPECT_EQ(ini.ReadString("S", "short", "").size(), 255u - 6u);
    EXPECT_EQ(ini.ReadShortString("S", "whole", "").size(), 255u);
  }
  TBigIniFile again(path);
  EXPECT_EQ(again.ReadString("S", "whole", "").size(), 255u - 6u);
}

TEST(IniWrite, SectionNamesAndKeysAreCutTo255) {
  TBigIniFile ini;
  const std::string longName(300, 'n');
  ini.WriteString(longName, longName, "v");
  EXPECT_EQ(ini.Sections().Name(0).size(), 255u);
  EXPECT_EQ(ini.ReadString(longName.substr(0, 255), longName.substr(0, 255) + "zzz", "-"), "v");
}

TEST(IniWrite, EmptyKeyErasesTheSectionOrFlushes) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  TBigIniFile ini(path);
  ini.WriteString("A", "k", "1");
  ini.WriteString("B", "k", "2");
  ini.WriteString("A", "", "");
  EXPECT_FALSE(ini.SectionExists("A"));
  EXPECT_FALSE(test::ListTree(dir.Path()).size());
  ini.WriteString("", "", "");  // all three empty: a flush
  EXPECT_EQ(test::ReadFile(path), "[B]\r\nk=2\r\n\r\n");
}

TEST(IniRead, ReadIntegerForms) {
  TBigIniFile ini;
  const std::pair<const char*, int> cases[] = {
      {"31", 31},         {"$1F", 31},       {"0x1F", 31},
      {"0X1F", 31},       {"$1f", 31},       {"-31", -31},
      {" 31", 31},        {"$FFFFFFFF", -1}, {"2147483647", 2147483647},
      {"31x", 7},         {"", 7},           {"$", 7},
      {"0x", 7},          {"0xG", 7},        {"31 ", 7},
      {"99999999999", 7}, {"$123456789", 7}, {"1.5", 7},
  };
  for (const auto& [text, want] : cases) {
    ini.WriteString("N", "v", text);
    EXPECT_EQ(ini.ReadInteger("N", "v", 7), want) << "'" << text << "'";
  }
  EXPECT_EQ(ini.ReadInteger("N", "missing", 7), 7);
}

TEST(IniRead, BoolFloatAndMissingValues) {
  TBigIniFile ini;
  ini.WriteBool("S", "t", true);
  ini.WriteBool("S", "f", false);
  EXPECT_EQ(ini.ReadString("S", "t", ""), "1");
  EXPECT_EQ(ini.ReadString("S", "f", ""), "0");
  ini.WriteString("S", "seven", "7");
  EXPECT_TRUE(ini.ReadBool("S", "seven", false));
  EXPECT_TRUE(ini.ReadBool("S", "missing", true));
  EXPECT_FALSE(ini.ReadBool("S", "f", true));

  ini.WriteFloat("S", "x", 0.1);
  EXPECT_EQ(ini.ReadString("S", "x", ""), "0.1");
  EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "x", 9), 0.1);
  ini.WriteString("S", "bad", "1,5");
  EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "bad", 9), 9);
  ini.WriteString("S", "empty", "");
  EXPECT_DOUBLE_EQ(ini.ReadFloat("S", "empty", 9), 9);
  EXPECT_FALSE(ini.ValueExists("S", "nothing"));
  EXPECT_TRUE(ini.ValueExists("s", "X"));
}

TEST(IniRead, DateAndTimeValuesUseTheDateTimeText) {
  SetDateTimeFormats(TDateTimeFormats{});
  SetTwoDigitLongTime(false);
  TBigIniFile ini;
  const TDateTime when = EncodeDate(2003, 9, 21) + EncodeTime(14, 5, 9);
  ini.WriteDateTime("S", "dt", when);
  EXPECT_EQ(ini.ReadString("S", "dt", ""), "09/21/2003 14:05:09");
  EXPECT_NEAR(ini.ReadDateTime("S", "dt", 0), when, 1e-9);
  ini.WriteDate("S", "d", when);
  EXPECT_EQ(ini.ReadString("S", "d", ""), "09/21/2003");
  EXPECT_DOUBLE_EQ(ini.ReadDate("S", "d", 0), EncodeDate(2003, 9, 21));
  ini.WriteTime("S", "t", when);
  EXPECT_NEAR(ini.ReadTime("S", "t", 0), EncodeTime(14, 5, 9), 1e-9);
  ini.WriteString("S", "bad", "31/31/2003");
  EXPECT_DOUBLE_EQ(ini.ReadDateTime("S", "bad", -1), -1);
  EXPECT_DOUBLE_EQ(ini.ReadDate("S", "missing", -2), -2);
}

// ---------------------------------------------------------------------------
// Search order

TEST(IniSearch, KeyLookupStartsAtTheLastFoundSectionAndWraps) {
  TBiggerIniFile ini;
  ini.WriteString("A", "k", "first");
  ini.WriteString("B", "k", "b");
  ini.WriteString("C", "k", "third");
  ini.RenameSection("C", "a");  // now two sections answer to "a"
  // The last found section is B (index 1): the search goes on to index 2.
  ini.ReadString("B", "k", "");
  EXPECT_EQ(ini.ReadString("A", "k", ""), "third");
  // And stays there while it keeps matching.
  EXPECT_EQ(ini.ReadString("a", "k", ""), "third");
  // From B again, after a lookup that landed on the first section.
  ini.ReadString("Missing", "k", "");
  EXPECT_EQ(ini.ReadString("A", "k", ""), "third");
  ini.WriteString("B", "k", "b");
  ini.EraseSection("B");  // the list's remembered position returns to 0
  EXPECT_EQ(ini.ReadString("A", "k", ""), "third");
}

TEST(IniSearch, SectionListIndexOfSearchesFromItsRememberedPosition) {
  TSectionList list;
  list.Add("X");
  list.Add("Y");
  list.Add("x");
  EXPECT_EQ(list.IndexOf("X"), 0);
  list.SetPosition(1);
  EXPECT_EQ(list.IndexOf("X"), 2);
  EXPECT_EQ(list.Position(), 2);
  EXPECT_EQ(list.IndexOf("y"), 1);
  EXPECT_EQ(list.IndexOf("X"), 2);
  EXPECT_EQ(list.IndexOf("none"), -1);
  list.Delete(1);
  EXPECT_EQ(list.FindFrom("x", 1), 1);
  list.Rename(1, "Z=1");
  EXPECT_EQ(list.IndexOfName("z"), 1);
  EXPECT_EQ(list.FindFrom("x", 1), 0);
}

// ---------------------------------------------------------------------------
// Flushing

TEST(IniFlush, BytesOnDiskEqualAFullRewriteAfterEveryStepOfAMixedSequence) {
  test::TempDir dir;
  const std::string path = dir / "mixed.ini";
  std::mt19937 rng(2024);
  TBiggerIniFile ini(path);
  int appended = 0;
  for (int step = 0; step < 700; ++step) {
    const std::string sec = "S" + std::to_string(rng() % 40);
    const std::string key = "k" + std::to_string(rng() % 4);
    const ino_t before = Inode(path);
    const int countBefore = ini.Sections().Count();
    switch (rng() % 12) {
      case 0:
      case 1:
      case 2:
      case 3:  // mostly new sections, as a history does
        ini.WriteString("N" + std::to_string(step), "Saved", "0");
        ini.WriteInteger("N" + std::to_string(step), "Attachments", step);
        break;
      case 4:
        ini.WriteString(sec, key, std::to_string(rng() % 3));
        break;
      case 5:
        ini.DeleteKey(sec, key);
        break;
      case 6:
        ini.EraseSection(sec);
        break;
      case 7:
        ini.RenameSection(sec, "S" + std::to_string(rng() % 40));
        break;
      case 8:
        ini.WriteCountedList(sec, TStringList(rng() % 3, "item"));
        break;
      case 9:
        ini.ReplaceSection(sec, TStringList(rng() % 3, "line=" + key));
        break;
      case 10:
        ini.RenameKey(sec, key, "k" + std::to_string(rng() % 4));
        break;
      default:
        ini.WriteString(sec, key, ini.ReadString(sec, key, "same"));
        break;
    }
    ini.UpdateFile();
    const std::string disk = test::ReadFile(path);
    ASSERT_EQ(disk, ini.FileText()) << "step " << step;
    ASSERT_EQ(disk, Joined(ini)) << "step " << step;
    if (ini.Sections().Count() > countBefore && before != 0 && Inode(path) == before) ++appended;
    // Reloading merges duplicate names (RenameSection can make them), so
    // the round trip holds only without them.
    TStringList names;
    ini.ReadSections(names);
    std::set<std::string> folded;
    for (std::string n : names) {
      for (char& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      folded.insert(n);
    }
    if (step % 50 == 0 && folded.size() == names.size()) {
      TBigIniFile reread(path);
      ASSERT_EQ(reread.FileText(), disk) << "step " << step;
    }
  }
  EXPECT_GT(appended, 60) << "new sections should be appended, not rewritten";
}

TEST(IniFlush, OnlyNewSectionsAreAppendedOtherChangesReplaceTheFile) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  test::WriteFile(path, "[Old]\r\na=1\r\n\r\n");
  TBigIniFile ini(path);
  const ino_t first = Inode(path);
  ini.WriteString("New1", "x", "1");
  ini.UpdateFile();
  EXPECT_EQ(Inode(path), first) << "an appended section keeps the file";
  ini.WriteString("New2", "x", "2");
  ini.WriteString("New1", "y", "3");  // a section appended since the last flush
  ini.UpdateFile();
  EXPECT_NE(Inode(path), 0u);
  EXPECT_EQ(test::ReadFile(path), ini.FileText());
  const ino_t second = Inode(path);
  ini.WriteString("Old", "a", "2");
  ini.UpdateFile();
  EXPECT_NE(Inode(path), second) << "a changed old section is written as a whole new file";
  EXPECT_EQ(test::ReadFile(path),
            "[Old]\r\na=2\r\n\r\n[New1]\r\nx=1\r\ny=3\r\n\r\n[New2]\r\nx=2\r\n\r\n");
}

TEST(IniFlush, AFileChangedBehindTheStoresBackIsRewrittenWhole) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  TBigIniFile ini(path);
  ini.WriteString("A", "x", "1");
  ini.UpdateFile();
  test::WriteFile(path, "[Someone]\r\nelse=1\r\n\r\n");
  ini.WriteString("B", "x", "2");
  ini.UpdateFile();
  EXPECT_EQ(test::ReadFile(path), "[A]\r\nx=1\r\n\r\n[B]\r\nx=2\r\n\r\n");
}

TEST(IniFlush, LoadedFileThatDiffersFromItsRewriteIsNotAppendedTo) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  test::WriteFile(path, "[A]\nx=1\n");  // LF only: a rewrite would differ
  TBigIniFile ini(path);
  ini.WriteString("B", "y", "2");
  ini.UpdateFile();
  EXPECT_EQ(test::ReadFile(path), "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n\r\n");
}

TEST(IniFlush, AFailedFlushKeepsTheOldFileRaisesAndCanBeRetried) {
  test::TempDir dir;
  const std::string path = dir / "a.ini";
  TBigIniFile ini(path);
  ini.WriteString("A", "x", "1");
  ini.UpdateFile();
  const std::string old = test::ReadFile(path);
  const std::string big(400, 'b');
  {
    test::FileSizeLimit limit(200);
    // Appending a new section.
    ini.WriteString("B", "y", big);
    EXPECT_THROW(ini.UpdateFile(), EInOutError);
    EXPECT_EQ(test::ReadFile(path), old);
    EXPECT_TRUE(ini.Modified());
    // Replacing the whole file.
    ini.WriteString("A", "x", big);
    EXPECT_THROW(ini.UpdateFile(), EInOutError);
    EXPECT_EQ(test::ReadFile(path), old);
  }
  EXPECT_EQ(test::ListTree(dir.Path()), std::vector<std::string>{"a.ini"}) << "no temp file left";
  ini.UpdateFile();
  EXPECT_EQ(test::ReadFile(path), ini.FileText());
  EXPECT_FALSE(ini.Modified());
}

TEST(IniFlush, SetFileNameFlushesAndLoadsTheNewFile) {
  test::TempDir dir;
  test::WriteFile(dir / "b.ini", "[B]\r\nb=1\r\n");
  TBigIniFile ini(dir / "a.ini");
  ini.WriteString("A", "a", "1");
  ini.SetFileName(dir / "b.ini");
  EXPECT_EQ(test::ReadFile(dir / "a.ini"), "[A]\r\na=1\r\n\r\n");
  EXPECT_EQ(ini.ReadString("B", "b", ""), "1");
  EXPECT_FALSE(ini.SectionExists("A"));
  EXPECT_FALSE(ini.Modified());
}

// ---------------------------------------------------------------------------
// TBiggerIniFile, comma-separated values

TEST(BiggerIni, BytesAndHexValues) {
  TBiggerIniFile ini;
  const unsigned char bytes[] = {0x00, 0xAB, 0x7F, 0xFF};
  ini.WriteBytes("S", "b", sizeof bytes, bytes);
  EXPECT_EQ(ini.ReadString("S", "b", ""), "00AB7FFF");
  unsigned char out[8] = {};
  EXPECT_EQ(ini.ReadBytes("S", "b", sizeof out, out), 4u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4),
            std::string(reinterpret_cast<const char*>(bytes), 4));
  EXPECT_EQ(ini.ReadBytes("S", "b", 2, out), 2u);
  ini.WriteString("S", "bad", "00ZZ");
  EXPECT_EQ(ini.ReadBytes("S", "bad", sizeof out, out), 0u);

  ini.WriteHexValue("S", "h", 0xBEEF);
  EXPECT_EQ(ini.ReadString("S", "h", ""), "0000BEEF");
  EXPECT_EQ(ini.ReadHexValue("S", "h", 0), 0xBEEFu);
  EXPECT_EQ(ini.ReadHexValue("S", "missing", 0x1234), 0x1234u);
  EXPECT_THROW(ini.ReadHexValue("S", "bad", 0), EConvertError);
}

TEST(BiggerIni, FontSpecRoundTripAndFallbacks) {
  TBiggerIniFile ini;
  TFontRecord f;
  f.Name = "Times New Roman, Bold";
  f.Size = 12;
  f.Bold = true;
  f.StrikeOut = true;
  f.Color = 0x00FF00;
  f.Charset = 0;
  f.Pitch = 2;
  ini.WriteFontSpec("F", "font", f);
  EXPECT_EQ(ini.ReadString("F", "font", ""), "\"Times New Roman, Bold\",12,1,0,0,1,0000FF00,0,2");
  TFontRecord g;
  ini.ReadFontSpec("F", "font", g);
  EXPECT_EQ(g.Name, f.Name);
  EXPECT_EQ(g.Size, 12);
  EXPECT_TRUE(g.Bold && g.StrikeOut && !g.Italic && !g.Underline);
  EXPECT_EQ(g.Color, 0x00FF00u);
  EXPECT_EQ(g.Pitch, 2);

  ini.WriteString("F", "named", "Arial,big,0,1,0,0,clRed,x");
  TFontRecord h;
  ini.ReadFontSpec("F", "named", h);
  EXPECT_EQ(h.Name, "Arial");
  EXPECT_EQ(h.Size, -1);
  EXPECT_TRUE(h.Italic);
  EXPECT_EQ(h.Color, 0x0000FFu);
  EXPECT_EQ(h.Charset, -1);
  EXPECT_EQ(h.Pitch, 0) << "a field that is not there leaves the font alone";
}

TEST(BiggerIni, RenameKeyAndSection) {
  TBiggerIniFile ini;
  ini.WriteString("S", "a", "1");
  ini.WriteString("S", "b", "2");
  ini.RenameKey("S", "a", "c");
  TStringList lines;
  ini.ReadSectionValues("S", lines);
  EXPECT_EQ(lines, (TStringList{"b=2", "c=1"}));
  ini.RenameKey("S", "b", "B");  // same name in another case: nothing
  ini.RenameKey("S", "zz", "y");
  lines.clear();
  ini.ReadSectionValues("S", lines);
  EXPECT_EQ(lines, (TStringList{"b=2", "c=1"}));

  test::TempDir dir;
  TBiggerIniFile file(dir / "r.ini");
  file.WriteString("S", "a", "1");
  file.UpdateFile();
  file.RenameSection("S", "S");
  EXPECT_FALSE(file.Modified());
  file.RenameSection("S", "T");
  EXPECT_TRUE(file.Modified());
  file.UpdateFile();
  EXPECT_EQ(test::ReadFile(dir / "r.ini"), "[T]\r\na=1\r\n\r\n");
}

TEST(BiggerIni, CountedListMarksModifiedOnlyWhenLinesChange) {
  test::TempDir dir;
  TBiggerIniFile ini(dir / "c.ini");
  ini.WriteCountedList("L", {"x", "y", "z"});
  ini.UpdateFile();
  EXPECT_EQ(test::ReadFile(dir / "c.ini"), "[L]\r\nCount=3\r\n1=x\r\n2=y\r\n3=z\r\n\r\n");
  ini.WriteCountedList("L", {"x", "y", "z"});
  EXPECT_FALSE(ini.Modified());
  ini.WriteCountedList("L", {"q"});
  EXPECT_TRUE(ini.Modified());
  ini.UpdateFile();
  EXPECT_EQ(test::ReadFile(dir / "c.ini"), "[L]\r\nCount=1\r\n1=q\r\n\r\n");
  // A count from a damaged file does not make the store walk billions of keys.
  ini.WriteString("L", "Count", "2000000000");
  ini.WriteCountedList("L", {});
  TStringList lines;
  ini.ReadSectionValues("L", lines);
  EXPECT_EQ(lines, TStringList{"Count=0"});
}

TEST(BiggerIni, ReplaceSection) {
  TBiggerIniFile ini;
  ini.ReplaceSection("R", {"a=1", "b=2"});
  TStringList lines;
  ini.ReadSectionValues("R", lines);
  EXPECT_EQ(lines, (TStringList{"a=1", "b=2"}));
  ini.ReplaceSection("R", {"a=1", "c=3"});
  lines.clear();
  ini.ReadSectionValues("R", lines);
  EXPECT_EQ(lines, (TStringList{"a=1", "c=3"}));
  ini.ReplaceSection("R", {});
  EXPECT_EQ(ini.FileText(), "");
}

TEST(CommaSeparatedInfo, QuotingRoundTrip) {
  TCommaSeparatedInfo csi;
  csi.SetElement(0, "plain");
  csi.SetElement(1, "with,comma");
  csi.SetElement(2, "say \"hi\"");
  csi.SetElement(4, " padded ");
  EXPECT_EQ(csi.Text(), "plain,\"with,comma\",\"say \"\"hi\"\"\",,\" padded \"");
  TCommaSeparatedInfo back(csi.Text());
  EXPECT_EQ(back.Fields(), csi.Fields());
  EXPECT_EQ(TCommaSeparatedInfo("a,,b,").Count(), 4);
  EXPECT_EQ(TCommaSeparatedInfo("\"open").Element(0), "open");
  EXPECT_EQ(TCommaSeparatedInfo("12, 7,x").IntegerElement(1), 7);
  EXPECT_EQ(TCommaSeparatedInfo("12, 7,x").IntegerElement(2), -1);
}

}  // namespace
}  // namespace qb
