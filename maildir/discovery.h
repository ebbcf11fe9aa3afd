// Finding the mail that Linux mail programs keep in Maildir folders, and
// telling what a path chosen by hand holds.
#pragma once

#include <string>
#include <vector>

namespace qb {

struct TMaildirStore {
  std::string Kind;  // "evolution", "kmail" or "maildir"
  std::string Name;  // as shown
  std::string Path;  // the store's top directory, no trailing '/'
};

// Where stores are looked for; empty members are taken from the environment
// ($HOME, else the password database; $XDG_DATA_HOME when absolute, else
// ~/.local/share).
struct TMaildirSearch {
  std::string Home;
  std::string DataHome;
};

// The stores found, in this order, each directory once (links resolved) and
// only when it holds a Maildir folder:
//  - Evolution's local folders, <data home>/evolution/mail/local;
//  - KMail's local folders, <data home>/local-mail;
//  - ~/Maildir, ~/Mail and ~/.mail (mutt, neomutt, aerc, Dovecot,
//    offlineimap, isync/mbsync).
std::vector<TMaildirStore> ListMaildirStores(const TMaildirSearch& where = {});

enum class TMailPathKind {
  None,       // nothing this program reads
  Maildir,    // a directory holding Maildir folders (or one itself)
  Mbox,       // a mailbox file
  EmlFolder,  // a directory of .eml files
};

struct TMailPath {
  TMailPathKind Kind = TMailPathKind::None;
  std::string Path;  // for Mbox the file to read, else the directory
};

// What path holds: a regular file is a mailbox; an Apple Mail export
// "Name.mbox/" holding a file "mbox" is the mailbox in it; a directory
// holding Maildir folders is a Maildir store; a directory holding .eml
// files is a folder of saved messages.
TMailPath ClassifyMailPath(const std::string& path);

// The mailbox file of an Apple Mail export directory ("Name.mbox/mbox"),
// "" when dir is not one.
std::string AppleMailboxFile(const std::string& dir);

}  // namespace qb
