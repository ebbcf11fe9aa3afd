// outlook-folders: the mail folders Outlook's stores hold, as the wizard's
// Outlook page lists them.
#include "app/commands.h"
#include "app/outlook_stores.h"
#include "platform/i18n.h"

namespace qb::cli {

namespace {

int OutlookFolders(const std::vector<std::string>& args) {
  std::vector<std::string> pst;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--pst") {
      if (i + 1 >= args.size())
        return UsageError("outlook-folders", Translate("--pst needs a file"));
      pst.push_back(args[++i]);
    } else {
      return UsageError("outlook-folders",
                        Substitute(Translate("unknown argument '%1'"), {args[i]}));
    }
  }
  TOutlookStores stores;
  if (std::string problem = stores.Open(pst); !problem.empty()) return Fail(problem);
  for (const auto& record : stores.FolderList())
    OutRecord({record->Key(), record->ParentKey(), record->Name, record->Path, record->EntryID});
  return kOk;
}

Register reg({"outlook-folders", N_("[--pst FILE]..."),
              N_("List the mail folders of the Outlook stores: folder key, parent key, name, "
                 "path key, entry id"),
              OutlookFolders});

}  // namespace

}  // namespace qb::cli
