// outlook-folders: the mail folders Outlook's stores hold, as the wizard's
// Outlook page lists them.
#include "app/commands.h"
#include "outlook/automation.h"
#include "outlook/outlooklist.h"
#include "outlook/pstprovider.h"

namespace qb::cli {

namespace {

int OutlookFolders(const std::vector<std::string>& args) {
  std::vector<std::string> pst;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--pst") {
      if (i + 1 >= args.size()) return UsageError("outlook-folders", "--pst needs a file");
      pst.push_back(args[++i]);
    } else {
      return UsageError("outlook-folders", "unknown argument '" + args[i] + "'");
    }
  }
  for (const std::string& file : pst)
    if (std::string problem = PstStoreProblem(file); !problem.empty()) return Fail(problem);

  ole::TScopedOutlookProvider provider(ole::PstApplicationFactory(pst));
  TOutlookTreeFill fill;
  fill.Resume();
  fill.WaitFor();
  if (!fill.Success())
    return Fail("Outlook is not available: no personal folders file is configured or given");
  for (const auto& record : fill.FolderList())
    OutRecord({record->Key(), record->ParentKey(), record->Name, record->Path, record->EntryID});
  return kOk;
}

Register reg({"outlook-folders", "[--pst FILE]...",
              "List the mail folders of the Outlook stores: folder key, parent key, name, "
              "path key, entry id",
              OutlookFolders});

}  // namespace

}  // namespace qb::cli
