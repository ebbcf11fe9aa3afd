// The .dbx reader over synthetic stores: tree order, fields, the folder
// rule, file names, the dump, and damaged files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "oestore/dbxformat.h"
#include "oestore/dbxreader.h"
#include "oestore/dbxwriter.h"
#include "platform/paths.h"
#include "tests/oestore/dbxtest_util.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

using test::ReadMessages;
using test::ReadTexts;
using test::SynthMessages;

std::vector<std::string> Subjects(const std::vector<Toe5_MessageInfo>& records) {
  std::vector<std::string> out;
  for (const auto& r : records) out.push_back(r.Subject);
  return out;
}

std::vector<std::string> SubjectRange(int from, int to) {
  std::vector<std::string> out;
  for (int i = from; i < to; ++i) out.push_back("S" + std::to_string(i));
  return out;
}

std::vector<std::string> TextsOf(const std::vector<TDbxSynthMessage>& msgs) {
  std::vector<std::string> out;
  for (const auto& m : msgs) out.push_back(m.Text);
  return out;
}

// ---- Tree walk ---------------------------------------------------------------

TEST(DbxIndex, TreesOfEveryShapeReadInItemOrder) {
  for (int perNode : {1, 2, 3, 51}) {
    for (int n : {0, 1, 2, 7, 100}) {
      SCOPED_TRACE("entries per node " + std::to_string(perNode) + ", items " + std::to_string(n));
      const auto msgs = SynthMessages(n, 300);
      TDbxWriteOptions o;
      o.EntriesPerNode = perNode;
      TDbxLayout layout;
      const std::string image = BuildDbxMessageFile(msgs, o, &layout);
      if (n > perNode) {
        EXPECT_GT(layout.Nodes.size(), 1u);
      }
      EXPECT_EQ(ReadTexts(image), TextsOf(msgs));
    }
  }
}

TEST(DbxIndex, MultiLevelTreeAgreesWithUndbx) {
  if (!FileExists("/usr/bin/undbx")) GTEST_SKIP() << "undbx is not installed";
  test::TempDir dir;
  const auto msgs = SynthMessages(40, 1500);
  TDbxWriteOptions o;
  o.EntriesPerNode = 3;
  test::WriteFile(dir / "deep.dbx", BuildDbxMessageFile(msgs, o));
  const std::string cmd =
      "undbx -v 0 '" + dir / "deep.dbx" + "' '" + dir / "out" + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::vector<std::string> theirs;
  for (const std::string& f : test::ListTree(dir / "out"))
    theirs.push_back(test::Sha256Hex(test::ReadFile(dir / "out/" + f)));
  std::vector<std::string> ours;
  for (const std::string& t : ReadTexts(BuildDbxMessageFile(msgs, o)))
    ours.push_back(test::Sha256Hex(t));
  std::sort(theirs.begin(), theirs.end());
  std::sort(ours.begin(), ours.end());
  EXPECT_EQ(ours.size(), 40u);
  EXPECT_EQ(ours, theirs);
}

TEST(DbxIndex, MessageFieldsAndObjectPositions) {
  auto msgs = SynthMessages(3);
  msgs[0].Number = 77;
  msgs[0].Recipients = "to@example.org";
  msgs[0].MessageId = "<id@example.org>";
  msgs[0].Flags = 0x123456;
  msgs[0].SentDate = {1, 2, 3, 4, 5, 6, 7, 8};
  msgs[0].ReceivedDate = {8, 7, 6, 5, 4, 3, 2, 1};
  msgs[1].DataPosIndirect = true;
  msgs[1].FlagsIndirect = true;
  msgs[1].Flags = 0x0A0B0C;
  TDbxLayout layout;
  const std::string image = BuildDbxMessageFile(msgs, {}, &layout);
  const auto r = ReadMessages(image);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].MessageNumber, 77);
  EXPECT_EQ(r[1].MessageNumber, 2);
  EXPECT_EQ(r[0].Subject, "S0");
  EXPECT_EQ(r[0].Sender, "sender0@example.org");
  EXPECT_EQ(r[0].Recipients, "to@example.org");
  EXPECT_EQ(r[0].MessageId, "<id@example.org>");
  EXPECT_EQ(r[0].MessageFlags, 0x123456);
  EXPECT_EQ(r[1].MessageFlags, 0x0A0B0C);  // three bytes through id 1
  EXPECT_EQ(r[0].SentDate, (TDbxFileTime{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(r[0].ReceivedDate, (TDbxFileTime{8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(r[0].MessageSize, static_cast<std::int32_t>(msgs[0].Text.size()));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(r[i].ObjectPos, layout.Objects[i]);
    EXPECT_EQ(r[i].MessageDataPos, layout.Blocks[i].front());  // [1] through id 4
  }
}

TEST(DbxIndex, LaterFieldEntryWins) {
  TDbxLayout layout;
  std::string image = BuildDbxMessageFile(SynthMessages(1), {}, &layout);
  // Turn the message-id entry (the fifth) into a second subject entry
  // before the real one: the real one, coming later, wins.
  const std::size_t fifth = layout.Objects[0] + dbx::kObjFields + 4 * 4;
  ASSERT_EQ(static_cast<unsigned char>(image[fifth]), dbx::kMsgMessageId);
  image[fifth] = static_cast<char>(dbx::kMsgSubject);
  EXPECT_EQ(ReadMessages(image).at(0).Subject, "S0");
  // And the other way round: the later entry is now the message id.
  image[fifth + 4] = static_cast<char>(dbx::kMsgMessageId);
  const auto r = ReadMessages(image).at(0);
  EXPECT_EQ(r.Subject, "");
  EXPECT_EQ(r.MessageId, "S0");
}

TEST(DbxIndex, EmptyWhenItemCountIsNotPositive) {
  for (std::int32_t count : {0, -1}) {
    TDbxWriteOptions o;
    o.OverrideItemCount = true;
    o.ItemCount = count;
    TDbxLayout layout;
    const std::string image = BuildDbxMessageFile(SynthMessages(3), o, &layout);
    EXPECT_TRUE(ReadMessages(image).empty());
    std::string text;
    LoadDbxMessageTextFromImage(image, layout.Blocks[0][0], text);
    EXPECT_EQ(text, "");
  }
}

TEST(DbxIndex, RootAt228IsWalkedAfterTheNodeAt48) {
  const auto msgs = SynthMessages(9);
  TDbxWriteOptions o;
  o.EntriesPerNode = 2;
  // 48 names nothing: everything comes from the main tree.
  o.Root48 = TDbxRoot48::Zero;
  EXPECT_EQ(Subjects(ReadMessages(BuildDbxMessageFile(msgs, o))), SubjectRange(0, 9));
  // 48 names a segment of its own: its items first, then the main tree.
  o.Root48 = TDbxRoot48::Segment;
  o.SegmentItems = 3;
  std::vector<std::string> expected = SubjectRange(6, 9);
  for (const auto& s : SubjectRange(0, 6)) expected.push_back(s);
  EXPECT_EQ(Subjects(ReadMessages(BuildDbxMessageFile(msgs, o))), expected);
  // 48 names a leaf of the main tree: its parent link leads to the rest,
  // and nothing is listed twice.
  o.Root48 = TDbxRoot48::LastNode;
  auto got = Subjects(ReadMessages(BuildDbxMessageFile(msgs, o)));
  EXPECT_EQ(got.size(), 9u);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, SubjectRange(0, 9));
}

TEST(DbxIndex, NodeLinkingBackToAnAncestorDoesNotLoop) {
  const auto msgs = SynthMessages(20, 100);
  TDbxWriteOptions o;
  o.EntriesPerNode = 2;
  for (TDbxDamage d : {TDbxDamage::NodeLinksToAncestor, TDbxDamage::SelfLinkedRoot}) {
    TDbxLayout layout;
    std::string image = BuildDbxMessageFile(msgs, o, &layout);
    ApplyDbxDamage(image, layout, d);
    auto got = Subjects(ReadMessages(image));
    std::sort(got.begin(), got.end());
    auto all = SubjectRange(0, 20);
    std::sort(all.begin(), all.end());
    if (d == TDbxDamage::NodeLinksToAncestor) {
      EXPECT_EQ(got, all);
    } else {
      // The root's own subtrees are cut off; its own entries remain, once.
      EXPECT_EQ(got.size(), 2u);
    }
  }
}

TEST(DbxIndex, ObjectListedTwiceGivesTwoRecords) {
  TDbxLayout layout;
  std::string image = BuildDbxMessageFile(SynthMessages(2), {}, &layout);
  PutDbxI32(image, layout.Root + dbx::kNodeHeaderSize + dbx::kEntrySize, layout.Objects[0]);
  EXPECT_EQ(Subjects(ReadMessages(image)), (std::vector<std::string>{"S0", "S0"}));
}

TEST(DbxIndex, ObjectWithWrongOwnPositionAddsNoRecord) {
  TDbxLayout layout;
  std::string image = BuildDbxMessageFile(SynthMessages(3), {}, &layout);
  PutDbxI32(image, layout.Objects[1], layout.Objects[1] + 4);
  EXPECT_EQ(Subjects(ReadMessages(image)), (std::vector<std::string>{"S0", "S2"}));
}

// ---- Folder records --------------------------------------------------------------

TEST(DbxFolders, OnlyObjectsWithId3Or6AreRecords) {
  const std::vector<TDbxSynthFolder> folders = {
      {0, 0, "Outlook Express", "", true, {}},
      {1, 0, "Local Folders", "", true, {}},
      {4, 1, "Inbox", "Inbox.dbx", false, {}},
      {6, 1, "Sent Items", "", false, {}},  // name and ids only: dropped
      {7, 1, "Drafts", "Drafts.dbx", false, {}},
  };
  TDbxIndexList list;
  LoadDbxIndexFromImage(BuildDbxFoldersFile(folders), true, &list);
  const std::vector<Toe5_FolderInfo> expected = {{0, 0, "Outlook Express", ""},
                                                 {1, 0, "Local Folders", ""},
                                                 {4, 1, "Inbox", "Inbox.dbx"},
                                                 {7, 1, "Drafts", "Drafts.dbx"}};
  EXPECT_EQ(FolderRecords(list), expected);
  EXPECT_TRUE(MessageRecords(list).empty());
}

TEST(DbxFolders, FolderModeFollowsTheNameAsGivenButOpeningIgnoresCase) {
  test::TempDir dir;
  WriteDbxStore(dir.Path(), {{4, 1, "Inbox", "INBOX.DBX", false, SynthMessages(2)}},
                TDbxWriteOptions{}, "Folders.dbx");
  TDbxIndexList list;
  LoadDbxIndex(dir.Path(), "folders.dbx", &list);  // opens Folders.dbx
  ASSERT_EQ(FolderRecords(list).size(), 1u);
  EXPECT_EQ(FolderRecords(list)[0].FileName, "INBOX.DBX");
  for (const char* name : {"Folders.dbx", "FOLDERS.DBX"}) {
    TDbxIndexList other;
    LoadDbxIndex(dir.Path(), name, &other);  // message mode
    EXPECT_TRUE(FolderRecords(other).empty()) << name;
    EXPECT_EQ(MessageRecords(other).size(), 1u) << name;
  }
  TDbxIndexList inbox;
  LoadDbxIndex(dir.Path() + "/", "Inbox.dbx", &inbox);  // opens INBOX.DBX
  EXPECT_EQ(MessageRecords(inbox).size(), 2u);
}

TEST(DbxFiles, OpenFailuresAndReadOnlyFiles) {
  test::TempDir dir;
  TDbxIndexList list;
  EXPECT_THROW(LoadDbxIndex(dir.Path(), "Missing.dbx", &list), EFOpenError);
  std::string text;
  EXPECT_THROW(LoadDbxMessageText(dir.Path(), "Missing.dbx", 100, text), EFOpenError);
  EXPECT_THROW(DumpDbxObject(dir.Path(), "Missing.dbx", 100, text), EFOpenError);
  // Nothing to do: no list, no position.
  EXPECT_NO_THROW(LoadDbxIndex(dir.Path(), "Missing.dbx", nullptr));
  EXPECT_NO_THROW(LoadDbxMessageText(dir.Path(), "Missing.dbx", 0, text));
  ASSERT_EQ(::mkdir((dir / "Dir.dbx").c_str(), 0755), 0);
  EXPECT_THROW(LoadDbxIndex(dir.Path(), "Dir.dbx", &list), EReadError);
  // A pipe with nobody writing to it neither blocks nor yields anything.
  ASSERT_EQ(::mkfifo((dir / "Pipe.dbx").c_str(), 0644), 0);
  LoadDbxIndex(dir.Path(), "Pipe.dbx", &list);
  EXPECT_TRUE(list.empty());
  // A store the user may only read.
  TDbxLayout layout;
  test::WriteFile(dir / "Ro.dbx", BuildDbxMessageFile(SynthMessages(2), {}, &layout));
  ::chmod((dir / "Ro.dbx").c_str(), 0444);
  LoadDbxIndex(dir.Path(), "Ro.dbx", &list);
  EXPECT_EQ(list.size(), 2u);
  EXPECT_EQ(LastDbxFileHeader().Count, 2);
  LoadDbxMessageText(dir.Path(), "Ro.dbx", layout.Blocks[1][0], text);
  EXPECT_EQ(text, test::SynthMessage(1).Text);
}

// ---- Message text --------------------------------------------------------------

TEST(DbxText, ChainRulesForZeroBytesAndBlockHeaders) {
  const auto msgs = SynthMessages(1, 1500);  // three blocks
  const std::string& full = msgs[0].Text;
  auto textAfter = [&](TDbxDamage d) {
    TDbxLayout layout;
    std::string image = BuildDbxMessageFile(msgs, {}, &layout);
    ApplyDbxDamage(image, layout, d);
    std::string text;
    LoadDbxMessageTextFromImage(image, layout.Blocks[0][0], text);
    return text;
  };
  // A zero byte ends that block's share; the chain goes on.
  EXPECT_EQ(textAfter(TDbxDamage::ZeroByteInBlock), full.substr(0, 100) + full.substr(512));
  // A second block that does not hold its own position ends the chain.
  EXPECT_EQ(textAfter(TDbxDamage::WrongSecondBlockPos), full.substr(0, 512));
  // A chain back to its start ends where it would repeat.
  EXPECT_EQ(textAfter(TDbxDamage::LoopingChain), full);
  // Used counts beyond the block are cut to the block and its first zero.
  EXPECT_EQ(textAfter(TDbxDamage::HugeUsedCount), full);
}

// Long chains: one in scattered order that loops back to its middle ends
// where it would repeat; one larger than the first room made for its text
// is read whole, also when it loops back to its start.
TEST(DbxText, LongChainsReadWholeAndEndWhereTheyWouldRepeat) {
  {
    const auto msgs = SynthMessages(1, 200 * 512);
    TDbxLayout layout;
    std::string image = BuildDbxMessageFile(msgs, {}, &layout);
    const std::vector<std::int32_t>& blocks = layout.Blocks[0];
    ASSERT_GE(blocks.size(), 200u);
    // Every second block, then the others: no two neighbours in the file.
    std::vector<std::size_t> order;
    for (std::size_t start : {0u, 1u})
      for (std::size_t k = start; k < blocks.size(); k += 2) order.push_back(k);
    std::string expected;
    for (std::size_t i = 0; i < order.size(); ++i) {
      const std::int32_t next = i + 1 < order.size() ? blocks[order[i + 1]] : blocks[order[50]];
      PutDbxI32(image, blocks[order[i]] + dbx::kBlockNext, next);
      expected += msgs[0].Text.substr(order[i] * 512, 512);
    }
    std::string text;
    LoadDbxMessageTextFromImage(image, blocks[order[0]], text);
    EXPECT_EQ(text, expected);
  }
  for (bool loops : {false, true}) {
    const auto msgs = SynthMessages(1, 20 << 20);
    TDbxLayout layout;
    std::string image = BuildDbxMessageFile(msgs, {}, &layout);
    if (loops) ApplyDbxDamage(image, layout, TDbxDamage::LoopingChain);
    std::string text;
    LoadDbxMessageTextFromImage(image, layout.Blocks[0][0], text);
    EXPECT_TRUE(text == msgs[0].Text) << loops;
  }
}

TEST(DbxText, UsedCountLimitsStaleBytes) {
  TDbxLayout layout;
  std::string image = BuildDbxMessageFile(SynthMessages(1, 200), {}, &layout);
  const std::int32_t b = layout.Blocks[0][0];
  PutDbxI32(image, b + dbx::kBlockUsed, 10);  // the rest of the block is stale
  std::string text;
  LoadDbxMessageTextFromImage(image, b, text);
  EXPECT_EQ(text, test::SynthMessage(0, 200).Text.substr(0, 10));
  PutDbxI32(image, b + dbx::kBlockUsed, -5);
  text.clear();
  LoadDbxMessageTextFromImage(image, b, text);
  EXPECT_EQ(text, "");
}

// ---- Dump ----------------------------------------------------------------------

std::string ImageWithObject(const std::vector<std::uint32_t>& fields, const std::string& data) {
  std::string image(dbx::kHeaderSize, '\0');
  const std::int32_t pos = static_cast<std::int32_t>(image.size());
  PutDbxI32(image, pos, pos);
  PutDbxI32(image, pos + 4, static_cast<std::int32_t>(4 * fields.size() + data.size()));
  image.resize(pos + 12, '\0');
  image[pos + dbx::kObjFieldCount] = static_cast<char>(fields.size());
  for (std::uint32_t f : fields) PutDbxI32(image, image.size(), static_cast<std::int32_t>(f));
  image += data;
  return image;
}

TEST(DbxDump, LayoutOfFieldsAndDataArea) {
  const std::string data = std::string("Hello, dbx\0world!!\0", 19) + "abc";  // 22 bytes
  const std::string image =
      ImageWithObject({0x000001'80, 0x000000'08, 0x12AB34'84, 0x000000'33}, data);
  std::string text = "previous\n";
  DumpDbxObjectFromImage(image, static_cast<std::int32_t>(dbx::kHeaderSize), text);
  EXPECT_EQ(text,
            "previous\n"
            "Flags = 4\n\n"
            "80: 00000001 ==> Message Number\n"
            "08: 00000000 ==> Subject\n"
            "84: 0012AB34 ==> Message Position\n"
            "33: 00000000\n"
            "\nSize of Header = 22\n"
            "48 65 6C 6C 6F 2C 20 64 62 78 00 77 6F 72 6C 64 \n"
            " H  e  l  l  o  ,     d  b  x     w  o  r  l  d \n\n");
}

TEST(DbxDump, FirstDataBlockAsTheWorkerUsesIt) {
  TDbxLayout layout;
  const auto msgs = SynthMessages(1, 1000);
  const std::string image = BuildDbxMessageFile(msgs, {}, &layout);
  std::string text;
  DumpDbxObjectFromImage(image, layout.Blocks[0][0], text);
  // No field entries, the block size as data size, and the next-block
  // position first in the data area.
  const std::string head = "Flags = 0\n\n\nSize of Header = 512\n";
  ASSERT_EQ(text.substr(0, head.size()), head);
  char next[16];
  const std::int32_t n = layout.Blocks[0][1];
  std::snprintf(next, sizeof next, "%02X %02X %02X %02X ", n & 0xFF, (n >> 8) & 0xFF,
                (n >> 16) & 0xFF, (n >> 24) & 0xFF);
  EXPECT_EQ(text.substr(head.size(), 12), next);
  // 32 groups: 16 hex columns, 16 character columns of three bytes each.
  EXPECT_EQ(text.size(), head.size() + 32 * (48 + 1 + 48 + 2));
  // A position that is not an object leaves the text alone.
  std::string none = "x";
  DumpDbxObjectFromImage(image, layout.Blocks[0][0] + 4, none);
  DumpDbxObjectFromImage(image, -1, none);
  EXPECT_EQ(none, "x");
}

// ---- Damaged files -------------------------------------------------------------

TEST(DbxDamaged, EveryDamageReturnsWhatCanBeRead) {
  const auto msgs = SynthMessages(12, 900);
  TDbxWriteOptions o;
  o.EntriesPerNode = 3;
  const TDbxDamage all[] = {TDbxDamage::ZeroByteInBlock, TDbxDamage::WrongSecondBlockPos,
                            TDbxDamage::LoopingChain,    TDbxDamage::NodeLinksToAncestor,
                            TDbxDamage::SelfLinkedRoot,  TDbxDamage::HugeItemCount,
                            TDbxDamage::HugeEntryCount,  TDbxDamage::HugeBodyLength,
                            TDbxDamage::HugeUsedCount,   TDbxDamage::Truncated};
  for (TDbxDamage d : all) {
    SCOPED_TRACE(static_cast<int>(d));
    TDbxLayout layout;
    std::string image = BuildDbxMessageFile(msgs, o, &layout);
    ApplyDbxDamage(image, layout, d);
    const auto records = ReadMessages(image);
    EXPECT_LE(records.size(), image.size() / dbx::kEntrySize);
    for (const auto& r : records) {
      std::string text, dump;
      LoadDbxMessageTextFromImage(image, r.MessageDataPos, text);
      DumpDbxObjectFromImage(image, r.MessageDataPos, dump);
      EXPECT_LE(text.size(), image.size());
    }
    if (d == TDbxDamage::HugeItemCount || d == TDbxDamage::HugeBodyLength ||
        d == TDbxDamage::HugeUsedCount || d == TDbxDamage::NodeLinksToAncestor) {
      auto got = Subjects(records);
      std::sort(got.begin(), got.end());
      auto want = SubjectRange(0, 12);
      std::sort(want.begin(), want.end());
      EXPECT_EQ(got, want);
    }
    if (d == TDbxDamage::HugeEntryCount) {
      // The root's own entries are still there, first.
      ASSERT_GE(records.size(), 3u);
    }
  }
}

TEST(DbxDamaged, TruncatedFileYieldsPrefixesOnly) {
  const auto msgs = SynthMessages(6, 2000);
  TDbxLayout layout;
  const std::string full = BuildDbxMessageFile(msgs, {}, &layout);
  // Cut inside the second block of the last message.
  const std::int32_t cut = layout.Blocks[5][1] + 100;
  const std::string image = full.substr(0, static_cast<std::size_t>(cut));
  std::string text;
  LoadDbxMessageTextFromImage(image, layout.Blocks[5][0], text);
  EXPECT_EQ(text, msgs[5].Text.substr(0, 512 + 100 - dbx::kBlockHeaderSize));
  // The index lies past the cut: nothing is listed.
  EXPECT_TRUE(ReadMessages(image).empty());
}

// A direct field value has 24 bits: a data position past 16 MB must be
// stored through id 4, or it comes back cut to its low 24 bits.
TEST(DbxWriter, DataPositionsPast16MBGoThroughId4) {
  std::vector<TDbxSynthMessage> msgs = test::SynthMessages(2, 100);
  msgs[0].Text.append(17 * 1024 * 1024, 'x');
  TDbxLayout layout;
  const std::string image = BuildDbxMessageFile(msgs, {}, &layout);
  const auto records = test::ReadMessages(image);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_GT(records[1].MessageDataPos, 0xFFFFFF);
  EXPECT_EQ(records[1].MessageDataPos, layout.Blocks[1].front());
  std::string text;
  LoadDbxMessageTextFromImage(image, records[1].MessageDataPos, text);
  EXPECT_EQ(text, msgs[1].Text);
}

}  // namespace
}  // namespace qb

namespace qb {
namespace {

// What a read skipped in a damaged file, as the command line tells it.
TEST(DbxDamaged, WhatWasSkippedIsReported) {
  const auto msgs = SynthMessages(12, 900);
  TDbxWriteOptions o;
  o.EntriesPerNode = 3;
  const std::pair<TDbxDamage, const char*> cases[] = {
      {TDbxDamage::ZeroByteInBlock, ""},
      {TDbxDamage::WrongSecondBlockPos, "1 message text whose block chain breaks off"},
      {TDbxDamage::LoopingChain, "1 message text whose block chain loops"},
      {TDbxDamage::NodeLinksToAncestor, "1 tree link pointing back"},
      {TDbxDamage::SelfLinkedRoot,
       "4 tree links pointing back; item count 12 in the header, 3 in the tree"},
      {TDbxDamage::HugeItemCount, "item count 2147483647 in the header, 12 in the tree"},
      {TDbxDamage::HugeEntryCount,
       "4 links to no tree node; index entries past what the file holds; item count 12 in the "
       "header, 29 in the tree"},
      {TDbxDamage::Truncated,
       "2 links to no tree node; item count 12 in the header, 0 in the tree"},
  };
  for (const auto& [d, expected] : cases) {
    TDbxLayout layout;
    std::string image = BuildDbxMessageFile(msgs, o, &layout);
    ApplyDbxDamage(image, layout, d);
    TDbxSkipped skipped;
    TDbxIndexList list;
    LoadDbxIndexFromImage(image, false, &list, &skipped);
    for (const auto& r : MessageRecords(list)) {
      std::string text;
      LoadDbxMessageTextFromImage(image, r.MessageDataPos, text, &skipped);
    }
    EXPECT_EQ(skipped.Text(), expected) << static_cast<int>(d);
    EXPECT_EQ(skipped.Any(), *expected != '\0') << static_cast<int>(d);
  }
}

}  // namespace
}  // namespace qb

namespace qb {
namespace {

// A folder file opened once gives, read after read, what the image reader
// gives: records, texts (with and without the size hint, in the index's
// order and backwards, so that the buffer is both reused and left), dumps
// and what was skipped.
TEST(DbxFile, OneOpenReadsWhatTheImageReaderReads) {
  auto msgs = SynthMessages(12, 900);
  msgs[4].Text.append(3 * 1024 * 1024 + 77, 'b');  // a chain longer than one read
  msgs[7].Text.resize(40);                         // one short block
  TDbxWriteOptions o;
  o.EntriesPerNode = 3;
  const std::optional<TDbxDamage> cases[] = {std::nullopt,
                                             TDbxDamage::ZeroByteInBlock,
                                             TDbxDamage::WrongSecondBlockPos,
                                             TDbxDamage::LoopingChain,
                                             TDbxDamage::NodeLinksToAncestor,
                                             TDbxDamage::SelfLinkedRoot,
                                             TDbxDamage::HugeItemCount,
                                             TDbxDamage::HugeEntryCount,
                                             TDbxDamage::HugeBodyLength,
                                             TDbxDamage::HugeUsedCount,
                                             TDbxDamage::Truncated};
  test::TempDir dir;
  for (const auto& d : cases) {
    SCOPED_TRACE(d ? static_cast<int>(*d) : -1);
    TDbxLayout layout;
    std::string image = BuildDbxMessageFile(msgs, o, &layout);
    if (d) ApplyDbxDamage(image, layout, *d);
    test::WriteFile(dir / "Inbox.dbx", image);

    TDbxSkipped expectedIndex;
    TDbxIndexList expectedList;
    LoadDbxIndexFromImage(image, false, &expectedList, &expectedIndex);
    const auto records = MessageRecords(expectedList);

    TDbxFile file(dir.Path(), "INBOX.dbx");
    TDbxIndexList list;
    file.LoadIndex(&list);
    ASSERT_EQ(MessageRecords(list).size(), records.size());
    EXPECT_EQ(file.Skipped().Text(), expectedIndex.Text());
    // What the file keeps: the index's parts, and every text read after.
    TDbxSkipped expectedAll = expectedIndex;
    for (int pass = 0; pass < 3; ++pass) {
      for (std::size_t k = 0; k < records.size(); ++k) {
        const Toe5_MessageInfo& r = records[pass == 2 ? records.size() - 1 - k : k];
        std::string want, got, wantDump, gotDump;
        TDbxSkipped skipped;
        LoadDbxMessageTextFromImage(image, r.MessageDataPos, want, &skipped);
        DumpDbxObjectFromImage(image, r.ObjectPos, wantDump);
        file.LoadMessageText(r.MessageDataPos, got, pass == 0 ? 0 : r.MessageSize);
        file.DumpObject(r.ObjectPos, gotDump);
        expectedAll.Merge(skipped);
        EXPECT_EQ(got, want) << r.Subject;
        EXPECT_EQ(gotDump, wantDump) << r.Subject;
        EXPECT_EQ(file.Skipped().Text(), expectedAll.Text());
      }
    }
  }
}

TEST(DbxFile, RefreshSeesTheFileThatIsThereNow) {
  const auto one = SynthMessages(2, 900), other = SynthMessages(3, 5000);
  test::TempDir dir;
  test::WriteFile(dir / "Inbox.dbx", BuildDbxMessageFile(one));
  TDbxFile file(dir.Path(), "Inbox.dbx");
  TDbxIndexList list;
  file.LoadIndex(&list);
  const std::int32_t pos = MessageRecords(list)[0].MessageDataPos;
  std::string text;
  file.LoadMessageText(pos, text);
  file.Refresh();  // unchanged: the same file stays open
  // Written anew in place, then replaced, then gone.
  for (int step = 0; step < 3; ++step) {
    SCOPED_TRACE(step);
    const std::string image = BuildDbxMessageFile(step == 1 ? one : other);
    if (step == 0) test::WriteFile(dir / "Inbox.dbx", image);
    if (step == 1) {
      test::WriteFile(dir / "new.dbx", image);
      ASSERT_EQ(::rename((dir / "new.dbx").c_str(), (dir / "Inbox.dbx").c_str()), 0);
    }
    if (step == 2) {
      ::unlink((dir / "Inbox.dbx").c_str());
      EXPECT_THROW(file.Refresh(), EFOpenError);
      EXPECT_THROW(file.Refresh(), EFOpenError);
      break;
    }
    file.Refresh();
    const auto records = test::ReadMessages(image);
    std::string got, want;
    file.LoadMessageText(records[0].MessageDataPos, got);
    LoadDbxMessageTextFromImage(image, records[0].MessageDataPos, want);
    EXPECT_EQ(got, want);
  }
}

}  // namespace
}  // namespace qb
