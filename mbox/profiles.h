// Finding the mail of Netscape, Mozilla, SeaMonkey and Thunderbird: their
// profiles, the mail directories of a profile, and the tree of mailboxes in
// a mail directory as the folder page shows it.
#pragma once

#include <string>
#include <vector>

namespace qb {

// The two families of mail programs (the record kinds of the folder tree).
enum class TMailFamily : int {
  Mozilla = 0,  // Netscape 6/7, the Mozilla suite, SeaMonkey
  Thunderbird = 1,
};

// "thunderbird" or "mozilla".
const char* MailFamilyName(TMailFamily family);

struct TMailProfile {
  std::string Name;       // the name profiles.ini gives it, else its directory's name
  std::string Directory;  // the profile directory, no trailing '/'
  TMailFamily Family = TMailFamily::Thunderbird;
};

// Where profiles are looked for; empty members are taken from the
// environment ($HOME and the application-data folder).
struct TProfileSearch {
  std::string Home;
  std::string AppData;
};

// Every profile of the family, in this order, each directory once:
//  - Thunderbird: <app data>/ThunderBird/Profiles/*, then the profiles.ini of
//    ~/.thunderbird, ~/.var/app/org.mozilla.Thunderbird/.thunderbird and
//    ~/snap/thunderbird/common/.thunderbird;
//  - Mozilla: <app data>/Mozilla/Profiles/*, then the profiles.ini of
//    ~/.mozilla/seamonkey, then the Mozilla suite's ~/.mozilla/<name>/<salt>.slt.
// Profiles named in a profiles.ini whose directory is missing are left out.
std::vector<TMailProfile> ListMailProfiles(TMailFamily family, const TProfileSearch& where = {});

// The mail directories of a profile directory: its "Mail" and then its
// "ImapMail" (offline copies of IMAP folders) when they exist; for a profile
// directory holding exactly one entry (the salt directory of the older
// layout), that entry's "Mail" and "ImapMail". Directories, no trailing '/'.
std::vector<std::string> ProfileMailDirectories(const std::string& profileDir);

// One item of the mailbox tree.
struct TMailboxItem {
  std::string Name;  // as shown
  std::string Path;  // full path of the mailbox file or the directory
  bool IsMailbox = false;
  std::vector<TMailboxItem> Children;
  bool IsMaildir = false;  // a folder of Thunderbird's maildir format (Path is its directory)
};

// The tree of a mail directory: a file without an extension is a mailbox;
// a directory is a folder item without a check box (named without its
// ".sbd" extension, in any letter case), holding the items inside it. A
// mailbox with subfolders is therefore shown twice under one name: as the
// mailbox and as the folder of its ".sbd" directory. Files with an
// extension, and whatever is no regular file (a FIFO, a device, a link to
// one), are left out. A directory holding "cur" and "tmp" (or "new") is a
// folder of Thunderbird's maildir format: a mailbox (IsMaildir) that is not
// walked. Entries are sorted by name; symbolic links to directories are not
// descended into, and the walk stops 64 levels deep and at paths of PATH_MAX
// bytes: each directory where it stopped with entries left gets one line in
// notes, when given.
std::vector<TMailboxItem> WalkMailboxTree(const std::string& mailDir,
                                          std::vector<std::string>* notes = nullptr);

// Every mailbox of a tree in tree order, with its names from the top joined
// by "/" (e.g. "Local Folders/Archives/2009" relative to the mail directory).
struct TMailboxRef {
  std::string TreePath;
  std::string Path;
  bool IsMaildir = false;
};
void CollectMailboxes(const std::vector<TMailboxItem>& tree, std::vector<TMailboxRef>& out,
                      const std::string& prefix = "");

}  // namespace qb
