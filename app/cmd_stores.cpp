// quillbox-cli stores: every mail store found on this machine, one line
// each: kind, name, path, message count (empty where counting would mean
// reading the store).
#include <string>
#include <vector>

#include "app/commands.h"
#include "maildir/discovery.h"
#include "maildir/maildir.h"
#include "mbox/profiles.h"
#include "oestore/identities.h"
#include "outlook/pstprovider.h"
#include "platform/i18n.h"
#include "platform/keystore.h"

namespace qb::cli {

namespace {

// One line per Maildir folder of a tree (containers left out).
void ListFolders(const std::string& prefix, const std::vector<TMaildirFolder>& folders) {
  for (const TMaildirFolder& f : folders)
    if (f.IsMaildir)
      OutRecord({"maildir-folder", prefix + "/" + f.TreePath, f.Path,
                 std::to_string(CountMaildirMessages(f.Path))});
}

int Stores(const std::vector<std::string>& args) {
  if (!args.empty())
    return UsageError("stores", Substitute(Translate("unexpected argument '%1'"), {args[0]}));

  std::vector<std::string> names, roots;
  ListOEIdentities(names, roots, UserKeyStore());
  for (std::size_t i = 0; i < names.size(); ++i)
    OutRecord({"outlook-express", names[i], roots[i], ""});

  for (const std::string& pst : ConfiguredPstStores())
    OutRecord({"outlook", pst.substr(pst.rfind('/') + 1), pst, ""});

  for (TMailFamily family : {TMailFamily::Thunderbird, TMailFamily::Mozilla})
    for (const TMailProfile& p : ListMailProfiles(family)) {
      OutRecord({MailFamilyName(family), p.Name, p.Directory, ""});
      // The folders of Thunderbird's maildir format, named as extract names them.
      for (const std::string& dir : ProfileMailDirectories(p.Directory)) {
        std::vector<TMailboxRef> boxes;
        CollectMailboxes(WalkMailboxTree(dir), boxes);
        const std::string top = dir.substr(dir.rfind('/') + 1);
        for (const TMailboxRef& b : boxes)
          if (b.IsMaildir)
            OutRecord({"maildir-folder",
                       p.Name + "/" + (top == "Mail" ? b.TreePath : top + "/" + b.TreePath), b.Path,
                       std::to_string(CountMaildirMessages(b.Path))});
      }
    }

  for (const TMaildirStore& store : ListMaildirStores()) {
    // The store's line comes first; its total is known after its folders.
    std::vector<TMaildirFolder> folders = ListMaildirFolders(store.Path);
    std::size_t total = 0;
    for (const TMaildirFolder& f : folders)
      if (f.IsMaildir) total += CountMaildirMessages(f.Path);
    OutRecord({store.Kind, store.Name, store.Path, std::to_string(total)});
    ListFolders(store.Name, folders);
  }
  return kOk;
}

const Register kStores({"stores", "",
                        N_("lists the mail stores found on this machine: kind (outlook-express, "
                           "outlook, thunderbird, mozilla, evolution, kmail, maildir, "
                           "maildir-folder), name, path, message count where cheap to know"),
                        Stores});

}  // namespace

}  // namespace qb::cli
