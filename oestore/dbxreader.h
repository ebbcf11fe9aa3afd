// Reader of Outlook Express 5/5.5/6 .dbx stores: the index of a file (folder
// records of "folders.dbx", message records of a folder file), the raw text
// of one message, and the dump of one stored object.
//
// The reader writes nothing and opens every file read-only: anew for each
// call of the functions, once for all reads of a TDbxFile. Damaged files are read as far as they
// make sense: a chain or tree that comes back on itself ends there, and nothing is read past the
// end of the file.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/errors.h"

namespace qb {

// A store file that cannot be opened.
class EFOpenError : public EQuillboxError {
 public:
  explicit EFOpenError(const std::string& what) : EQuillboxError(TErrorKind::InOut, what) {}
  EFOpenError(const char* msgid, std::initializer_list<std::string> args)
      : EQuillboxError(TErrorKind::InOut, msgid, args) {}
};

// A store file that was opened but cannot be read.
class EReadError : public EQuillboxError {
 public:
  explicit EReadError(const std::string& what) : EQuillboxError(TErrorKind::InOut, what) {}
  EReadError(const char* msgid, std::initializer_list<std::string> args)
      : EQuillboxError(TErrorKind::InOut, msgid, args) {}
};

// The header of the file opened last: its item count. The two texts are
// never filled by the reader.
struct Toe5_FileHeader {
  std::int32_t Count = 0;
  std::string Text1;
  std::string Text2;
};

// One folder of "folders.dbx".
struct Toe5_FolderInfo {
  std::int32_t FolderId = 0;
  std::int32_t ParentId = 0;
  std::string FolderName;
  std::string FileName;  // the folder's .dbx file in the same directory

  bool operator==(const Toe5_FolderInfo&) const = default;
};

// A FILETIME as stored: 8 bytes, little-endian.
using TDbxFileTime = std::array<unsigned char, 8>;

// One message of a folder file.
struct Toe5_MessageInfo {
  std::int32_t MessageNumber = 0;
  std::int32_t MessageFlags = 0;
  std::string AccountId;
  std::string AccountName;
  std::string MessageId;
  TDbxFileTime SentDate{};
  TDbxFileTime ReceivedDate{};
  std::string Subject;
  std::string Sender;
  std::string SenderLine;
  std::string Recipients;
  std::string ReplyTo;
  std::string References;
  std::string Newsgroups;
  std::int32_t MessageSize = 0;
  std::int32_t MessageDataPos = 0;  // first block of the raw text; 0: none
  std::int32_t ObjectPos = 0;       // where the message object was read from
};

using TDbxRecord = std::variant<Toe5_FolderInfo, Toe5_MessageInfo>;
using TDbxIndexList = std::vector<TDbxRecord>;

// What a read passed over because the file is damaged. All zero for a
// sound file.
struct TDbxSkipped {
  // Index: tree links that pointed back to a node already read; links to
  // something that is no tree node; entries past what the file can hold.
  int TreeLinksBack = 0;
  int BadNodeLinks = 0;
  bool IndexCut = false;
  // The header's item count and the items the tree holds, when they differ.
  std::int64_t StoredCount = 0, FoundCount = 0;
  // Message texts whose block chain came back on itself or broke off, and
  // texts whose first block is not where the record points.
  int LoopingChains = 0;
  int BrokenChains = 0;
  int MissingTexts = 0;

  bool Any() const;
  // Takes a later read of the same file into account: the index parts of
  // a new index read replace the old ones, message texts add up.
  void Merge(const TDbxSkipped& later);
  // "1 tree link pointing back; item count 5 in the header, 3 in the tree".
  std::string Text() const;
};

// The name that makes LoadDbxIndex read folder records (compared as given,
// with letter case).
inline constexpr std::string_view kFoldersFileName = "folders.dbx";

// Appends one record per stored item of storeDir/fileName in tree order:
// Toe5_FolderInfo when fileName is exactly "folders.dbx", Toe5_MessageInfo
// otherwise. Does nothing when list is null. The file name is matched
// without regard to case when the file is opened (the exact name wins).
// Throws EFOpenError when the file cannot be opened, EReadError when it
// cannot be read (records appended before stay in the list).
void LoadDbxIndex(const std::string& storeDir, const std::string& fileName, TDbxIndexList* list);

// Appends the raw text of the message whose first data block is at
// position to stream. Throws EFOpenError / EReadError.
void LoadDbxMessageText(const std::string& storeDir, const std::string& fileName,
                        std::int32_t position, std::string& stream);

// Appends the dump of the object at position to text (LF line ends, upper
// case hex). The character column holds the stored bytes unchanged. Throws
// EFOpenError / EReadError.
void DumpDbxObject(const std::string& storeDir, const std::string& fileName, std::int32_t position,
                   std::string& text);

// One store file opened once for many reads (a folder's index, then each
// of its messages). Every read gives what the functions above give for the
// same file, and keeps what its reads skipped (Skipped); the file is only
// not opened, looked up and stat'ed again. Message blocks are read through one
// buffer: a chain laid out in order (as stores keep them) costs one read
// for a short message, or one per megabyte, and consecutive short messages
// share reads.
class TDbxFile {
 public:
  // Opens storeDir/fileName as LoadDbxIndex does. Throws EFOpenError when
  // it cannot be opened, EReadError when it is no file that can be read.
  TDbxFile(const std::string& storeDir, const std::string& fileName);
  ~TDbxFile();
  TDbxFile(const TDbxFile&) = delete;
  TDbxFile& operator=(const TDbxFile&) = delete;

  const std::string& Path() const;

  // LoadDbxIndex on this file.
  void LoadIndex(TDbxIndexList* list);
  // LoadDbxMessageText on this file. sizeHint, the record's MessageSize
  // when known, lets the whole chain come in one read.
  void LoadMessageText(std::int32_t position, std::string& stream, std::int32_t sizeHint = 0);
  // DumpDbxObject on this file.
  void DumpObject(std::int32_t position, std::string& text);

  // What the reads of this object passed over so far (TDbxSkipped::Merge of
  // each read). Read it on the thread that reads, or once that is done.
  const TDbxSkipped& Skipped() const;

  // Makes the next reads see what the path holds now, as a fresh open
  // would: one stat when nothing changed; the file opened again when it was
  // replaced, grew, shrank or was written to; EFOpenError when it is gone.
  void Refresh();

  struct TImpl;

 private:
  std::unique_ptr<TImpl> impl_;
};

// The same three operations over a file image held in memory.
// The image forms report what they skipped through the last argument.
void LoadDbxIndexFromImage(std::string_view image, bool folderMode, TDbxIndexList* list,
                           TDbxSkipped* skipped = nullptr);
void LoadDbxMessageTextFromImage(std::string_view image, std::int32_t position, std::string& stream,
                                 TDbxSkipped* skipped = nullptr);
void DumpDbxObjectFromImage(std::string_view image, std::int32_t position, std::string& text);

// The header of the file opened last.
Toe5_FileHeader LastDbxFileHeader();

// The path the reader opens for fileName inside storeDir.
std::string DbxFilePath(const std::string& storeDir, const std::string& fileName);

// Convenience: the records of one kind from a list.
std::vector<Toe5_FolderInfo> FolderRecords(const TDbxIndexList& list);
std::vector<Toe5_MessageInfo> MessageRecords(const TDbxIndexList& list);

}  // namespace qb
