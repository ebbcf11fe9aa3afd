// Writer of synthetic Outlook Express .dbx stores: a folders file and
// message files laid out the way Outlook Express lays them out (file header,
// message data blocks, message objects, a B-tree index of any depth), plus
// the damaged variants that real stores show after a crash or a bad disk.
// Used by the tests and to compose sample stores.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "oestore/dbxreader.h"

namespace qb {

struct TDbxSynthMessage {
  std::string Text;              // the raw RFC 822 text
  std::int32_t Number = 0;       // 0: the message's 1-based place in the file
  std::int32_t Flags = 0x80081;  // stored through id 129 (or id 1 when FlagsIndirect)
  std::string Subject;
  std::string Sender;
  std::string Recipients;
  std::string MessageId;
  TDbxFileTime SentDate{};
  TDbxFileTime ReceivedDate{};
  bool DataPosIndirect = false;  // id 4 instead of 132 (always past 16 MB)
  bool FlagsIndirect = false;
};

struct TDbxSynthFolder {
  std::int32_t Id = 0;
  std::int32_t ParentId = 0;
  std::string Name;
  std::string FileName;                    // "": a folder object without id 3
  bool Marker6 = false;                    // also store id 6 (the root and account folders have it)
  std::vector<TDbxSynthMessage> Messages;  // written to FileName
};

// Where the node at offset 48 of the header is.
enum class TDbxRoot48 {
  MainRoot,  // the root of the main tree, as in every real file
  LastNode,  // the last node written (a leaf of a multi-level tree)
  Zero,      // no node
  Segment,   // a node of its own indexing the last SegmentItems items, which
             // the main tree then leaves out
};

struct TDbxWriteOptions {
  int EntriesPerNode = 51;  // at most this many entries in one index node (>= 1)
  TDbxRoot48 Root48 = TDbxRoot48::MainRoot;
  int SegmentItems = 1;
  // The count at 196; by default the number of items in the main tree.
  bool OverrideItemCount = false;
  std::int32_t ItemCount = 0;
};

// Where the writer put things, for tests that damage a file on purpose.
struct TDbxLayout {
  std::int32_t Root = 0;                          // main tree root (offset 228)
  std::vector<std::int32_t> Nodes;                // every node; main tree root first
  std::vector<std::int32_t> Objects;              // one per item, in input order
  std::vector<std::vector<std::int32_t>> Blocks;  // the data blocks of each message
};

std::string BuildDbxMessageFile(const std::vector<TDbxSynthMessage>& messages,
                                const TDbxWriteOptions& options = {}, TDbxLayout* layout = nullptr);
std::string BuildDbxFoldersFile(const std::vector<TDbxSynthFolder>& folders,
                                const TDbxWriteOptions& options = {}, TDbxLayout* layout = nullptr);

// Writes foldersFileName and the message file of every folder that has a
// file name into dir (created when missing). Throws EQuillboxError.
void WriteDbxStore(const std::string& dir, const std::vector<TDbxSynthFolder>& folders,
                   const TDbxWriteOptions& options = {},
                   const std::string& foldersFileName = "Folders.dbx");

// Damage seen in real stores, applied to a file the writer built.
enum class TDbxDamage {
  ZeroByteInBlock,      // a zero byte in the middle of the first message's first block
  WrongSecondBlockPos,  // the first message's second block names a wrong own position
  LoopingChain,         // the first message's last block links back to its first
  NodeLinksToAncestor,  // the last node's child link points at the root
  SelfLinkedRoot,       // the root's child link and every entry link point at itself
  HugeItemCount,        // item count 2^31-1
  HugeEntryCount,       // the root claims 2^24-1 entries
  HugeBodyLength,       // every object claims a body of 2^31-1 bytes
  HugeUsedCount,        // every block claims 2^31-1 used bytes
  Truncated,            // the file cut off in the middle
};
void ApplyDbxDamage(std::string& image, const TDbxLayout& layout, TDbxDamage damage);

// Little-endian 32-bit write into an image (grows it when needed).
void PutDbxI32(std::string& image, std::size_t pos, std::int32_t value);

}  // namespace qb
