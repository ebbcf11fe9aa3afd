// Reading Maildir folders and folders of .eml files: the folder tree of a
// Maildir store, the messages of one folder in a stable order, one message's
// bytes, and the key that names a message in the history.
//
// A Maildir folder is a directory holding the directory "cur" and beside
// it "new" or "tmp" (Thunderbird's maildir format makes no "new"). Messages
// are read from cur/ and new/; tmp/ holds messages being delivered and is
// never read. Folders nest in three ways, all shown as one tree:
//  - Maildir++ (Dovecot, Evolution, Courier, mbsync): ".A" and ".A.B" beside
//    "cur" of the store's top folder are the folders A and A/B (names in
//    IMAP's modified UTF-7 are shown decoded, as are Evolution's "_2E" and
//    "__" for '.' and '_');
//  - Thunderbird's maildir format and plain directories (mbsync's verbatim
//    layout, ~/Mail/<account>/<folder>): "A/" is a folder, the folders below
//    A live in "A.sbd/" (Thunderbird) or in A itself;
//  - KMail: the folders below A live in ".A.directory/".
// No symbolic link below the store's top is followed, the walk stops 64
// levels deep, and a message file is opened only when it is a regular file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mbox/mboxreader.h"
#include "mbox/profiles.h"

namespace qb {

// The largest message read whole: the mailbox reader's limit.
inline constexpr std::uint64_t kMaxMessageFileBytes = TMboxReader::kDefaultMaxMessageBytes;

// True when dir holds the directory "cur" and "new" or "tmp" (not links).
bool IsMaildirFolder(const std::string& dir);

// One item of a store's folder tree.
struct TMaildirFolder {
  std::string Name;        // as shown
  std::string TreePath;    // the names from the top joined by "/"
  std::string Path;        // the folder's directory
  int Parent = -1;         // index of the parent item in the list, -1 at the top
  int Depth = 0;           // 0 at the top
  bool IsMaildir = false;  // holds messages (a Maildir folder); else only a container
};

// The folder tree of a store, parents before their children, each level
// sorted by name. When root is itself a Maildir folder it comes first, named
// "Inbox" when it is a store's top folder (it has Maildir++ subfolders, or
// it is a directory named "Maildir" or ".maildir") and after its directory
// otherwise. Containers that hold no Maildir folder are
// left out; a root that holds none gives an empty list. The root itself may
// be a symbolic link.
std::vector<TMaildirFolder> ListMaildirFolders(const std::string& root);

// The same tree in the shape of a Mozilla mail directory's, for the pages
// that show one: a Maildir folder is a mailbox item (IsMaildir) holding the
// folders below it, a container a folder item without a check box.
std::vector<TMailboxItem> MaildirMailboxTree(const std::vector<TMaildirFolder>& folders);

// One message file of a folder.
struct TMaildirEntry {
  std::string Path;  // full path
  std::string Name;  // file name, flags suffix included
  bool InNew = false;
};

// The name a message keeps while a mail program moves it from new/ to cur/
// and changes its flags: the file name without its ":2,..." (or "!2,",
// ";2,") suffix.
std::string_view MaildirUniqueName(std::string_view fileName);

// The regular files of cur/ and new/ (names starting with '.' left out),
// sorted by their unique name, then by file name.
std::vector<TMaildirEntry> ListMaildirMessages(const std::string& folder);
// Their number, without sorting or reading anything but the directories.
std::size_t CountMaildirMessages(const std::string& folder);

// Where the message is now when it was renamed (flags changed, or moved
// from new/ to cur/) after the folder was listed; "" when it is gone.
std::string FindMovedMessage(const std::string& folder, const TMaildirEntry& entry);

// The files of a folder of saved messages: its regular files whose names
// end in ".eml" (any letter case), full paths sorted by name. Not recursive.
std::vector<std::string> ListEmlFiles(const std::string& dir);

enum class TReadStatus {
  Ok,
  Missing,     // no such file (any more)
  NotRegular,  // a link, a FIFO, a device, a directory...: never opened for reading
  Oversized,   // longer than the limit: text is left empty
  Failed,      // cannot be opened or read
};

// Reads one message file whole. The file is opened without following a link
// and without blocking, and read only when it is a regular file no longer
// than maxBytes. error receives the reason when it is not Ok.
TReadStatus ReadMessageFile(const std::string& path, std::string& text,
                            std::uint64_t maxBytes = kMaxMessageFileBytes,
                            std::string* error = nullptr);

// The key that names a message in the history: a digest of its bytes with
// the headers mail programs rewrite to keep a message's state left out
// (Status, X-Status, X-Mozilla-Status, X-Mozilla-Status2, X-Mozilla-Keys,
// X-Keywords, X-UID, X-IMAP, X-IMAPbase, X-Label, X-Evolution). A Maildir
// message's state is in its file name, which plays no part either.
std::string MaildirMessageKey(std::string_view text);

}  // namespace qb
