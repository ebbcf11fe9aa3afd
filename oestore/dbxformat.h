// On-disk records of an Outlook Express 5/5.5/6 .dbx file.
//
// Every integer is little-endian and every position is a byte offset from
// the start of the file. The same layout serves "folders.dbx" and the
// per-folder message files; only the objects the index points to differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qb::dbx {

// ---- File header -----------------------------------------------------------
// The header occupies the first 0x24BC bytes; the reader uses two fields.
constexpr std::size_t kHeaderSize = 0x24BC;        // size of the whole file header
constexpr std::size_t kHdrSignature = 0;           // 16 bytes: CF AD 12 FE, file type, class id
constexpr std::size_t kHdrFileType = 4;            // 4 bytes: C5 FD 74 6F message file,
                                                   //          C6 FD 74 6F folders file
constexpr std::size_t kHdrFileInfoLen = 0x1C;      // int32: length of the file-info area
constexpr std::size_t kHdrIndexRoot = 48;          // int32: node the walk starts from
                                                   //   (documented as "last tree segment")
constexpr std::size_t kHdrFileSize = 0x7C;         // int32: file size as the writer saw it
constexpr std::size_t kHdrItemCount = 196;         // int32: items in the file; <= 0: empty
constexpr std::size_t kHdrMainTreeRoot = 228;      // int32: root of the main index tree
constexpr std::size_t kHdrFileInfoStart = 0x24BC;  // file-info area follows the header

// ---- Index node --------------------------------------------------------------
constexpr std::size_t kNodeHeaderSize = 24;
constexpr std::size_t kNodeOwnPos = 0;      // int32: the node's own position
constexpr std::size_t kNodeUnused4 = 4;     // 32 bits: not used
constexpr std::size_t kNodeLinkSecond = 8;  // int32: leftmost child (followed second)
constexpr std::size_t kNodeLinkFirst = 12;  // int32: parent node (followed first)
constexpr std::size_t kNodeCountWord = 16;  // 32 bits: value >> 8 = entry count
                                            //   (byte 17 is the count in real files)
constexpr std::size_t kNodeUnused20 = 20;   // 32 bits: items below this node (not used)

// ---- Index entry (12 bytes each, from node + 24) -------------------------
constexpr std::size_t kEntrySize = 12;
constexpr std::size_t kEntryObject = 0;  // int32: object position; <= 0: none
constexpr std::size_t kEntryLink = 4;    // int32: node with the entries after this one
constexpr std::size_t kEntryUnused = 8;  // 32 bits: items in that subtree (not used)

// ---- Indexed object (folder object or message object) ----------------------
constexpr std::size_t kObjHeaderSize = 12;
constexpr std::size_t kObjOwnPos = 0;       // int32: the object's own position
constexpr std::size_t kObjBodyLength = 4;   // int32: bytes after this 12-byte header
constexpr std::size_t kObjUnused8 = 8;      // 16 bits: not used
constexpr std::size_t kObjFieldCount = 10;  // 8 bits: number n of field entries
constexpr std::size_t kObjUnused11 = 11;    // 8 bits: not used
constexpr std::size_t kObjFields = 12;      // 4 bytes * n: field entries, then the data area
// A field entry: low 8 bits the id; upper 24 bits the value itself (id >= 128)
// or an offset into the data area (id < 128).
constexpr unsigned kDirectFieldId = 128;

// ---- Message data block ------------------------------------------------------
constexpr std::size_t kBlockHeaderSize = 16;
constexpr std::size_t kBlockTextSize = 512;
constexpr std::size_t kBlockReadSize = kBlockHeaderSize + kBlockTextSize;  // 528
constexpr std::size_t kBlockOwnPos = 0;  // int32: the block's own position
constexpr std::size_t kBlockSize = 4;    // 32 bits: block size (not used by the reader)
constexpr std::size_t kBlockUsed = 8;    // int32: text bytes used in this block
constexpr std::size_t kBlockNext = 12;   // int32: next block; 0 ends the chain
constexpr std::size_t kBlockText = 16;   // 512 bytes: text

// ---- Field ids ---------------------------------------------------------------
// Folder objects of "folders.dbx".
enum FolderField : unsigned {
  kFolderName = 2,       // text
  kFolderFileName = 3,   // text
  kFolderMarker6 = 6,    // presence makes a folder object a record
  kFolderId = 128,       // value
  kFolderParentId = 129  // value
};

// Message objects of a folder file.
enum MessageField : unsigned {
  kMsgFlagsIndirect = 1,    // 3 bytes at the offset
  kMsgSentDate = 2,         // 8 bytes at the offset
  kMsgFileName = 3,         // dump label only
  kMsgDataPosIndirect = 4,  // int32 at the offset
  kMsgSubjectAlt = 5,       // dump label only
  kMsgMessageId = 7,        // text
  kMsgSubject = 8,          // text
  kMsgSenderLine = 9,       // text
  kMsgReferences = 10,      // text
  kMsgNewsgroups = 11,      // text
  kMsgSender = 13,          // text
  kMsgReplyTo = 14,         // text
  kMsgReceivedDate = 18,    // 8 bytes at the offset
  kMsgRecipients = 19,      // text
  kMsgAccountName = 26,     // text
  kMsgAccountId = 27,       // text
  kMsgNumber = 128,         // value
  kMsgFlags = 129,          // value
  kMsgDataPos = 132,        // value
  kMsgSize = 145,           // value
};

// ---- Little-endian access --------------------------------------------------
inline std::int32_t GetI32(const unsigned char* p) {
  std::uint32_t v = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                    static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  std::int32_t r;
  std::memcpy(&r, &v, 4);
  return r;
}
inline std::uint32_t GetU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(GetI32(p));
}

}  // namespace qb::dbx
