// What the Netscape/Mozilla/Thunderbird pages show, free of any window type:
// the profiles of a program family, the mail directory of a profile and the
// mailbox tree of a mail directory.
#pragma once

#include <string>
#include <vector>

namespace qb::wiz {

struct TMozillaProfile {
  std::string Name;       // "User Name" column
  std::string Directory;  // "Directory" column: the profile's full path
};

// The profiles of kind 0 (Netscape/Mozilla) or 1 (Thunderbird).
std::vector<TMozillaProfile> ListMozillaProfiles(int kind);

// The mail directory (with a trailing '/') of a profile directory:
//  - a profile that holds "Mail" itself: that "Mail";
//  - a profile holding exactly one visible entry (the salt directory of the
//    old layouts): that entry's "Mail", whether it exists or not;
//  - otherwise "" (no usable profile), except for a directory the user chose
//    directly, which is then taken as the mail directory itself.
std::string ProfileMailDirectory(const std::string& profileDir, bool chosenDirectly);

// One item of the mailbox tree.
struct TMailboxNode {
  std::string Name;
  std::string Path;  // the mailbox file's full path; "" for a folder item
  bool IsMailbox = false;
  std::vector<TMailboxNode> Children;
};

// The mailbox tree of a mail directory: every directory an item without a
// check box (a ".sbd" directory named without its extension) holding what
// it contains; every file without an extension a mailbox; files with an
// extension (the ".msf" indexes and the like) left out. Entries come in name
// order; a directory reached twice (through links) is not entered again.
std::vector<TMailboxNode> MailboxTree(const std::string& mailDir);

}  // namespace qb::wiz
