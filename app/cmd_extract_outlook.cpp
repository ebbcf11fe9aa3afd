// quillbox-cli extract --source outlook: a run over Outlook's stores (the
// configured .pst files and those given with --pst) without a window. The
// options and the output are those of the Outlook Express run (the extract
// command hands its arguments over; app/extract_run.h holds what they share).
#include <memory>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/extract_run.h"
#include "app/outlook_stores.h"
#include "engine/job.h"
#include "outlook/oOutlookThrd.h"
#include "platform/i18n.h"

namespace qb::cli {

// The arguments after "--source outlook" has been taken out: those of the
// Outlook Express run, with --folder naming a folder by its path key
// (outlook-folders lists them), and --pst FILE adding a store.
int ExtractOutlook(const std::vector<std::string>& args) {
  TExtractArgs x;
  if (int status = ParseExtractArgs(args, TExtractSource::Outlook, x); status >= 0) return status;
  TOutlookStores stores;
  if (std::string problem = stores.Open(x.Pst); !problem.empty()) return Fail(problem);
  const std::vector<std::string>& paths = x.Folders;

  // The folders: those named by path key, in the order given; otherwise
  // every mail folder that is not a store, in tree order.
  std::vector<TJobFolder> chosen;
  if (paths.empty()) {
    for (const auto& record : stores.FolderList())
      if (record->ParentId) chosen.push_back(record->ToJobFolder());
  } else {
    for (const std::string& path : paths) {
      bool found = false;
      for (const auto& record : stores.FolderList())
        if (record->Path == path) {
          chosen.push_back(record->ToJobFolder());
          found = true;
          break;
        }
      if (!found)
        return Fail(Substitute(Translate("no Outlook mail folder has the path key '%1'"), {path}));
    }
  }

  TExtractionJob job;
  job.Folders = chosen;
  return RunExtraction(x, job, [](const TExtractionJob& j) -> std::unique_ptr<TExtractionWorker> {
    return std::make_unique<TOutlookExtracter>(j);
  });
}

}  // namespace qb::cli
