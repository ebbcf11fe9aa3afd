// quillbox-cli extract --source maildir|eml|mbox: the mail files of Linux
// mail programs and mailbox files of any origin.
#include <memory>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/extract_run.h"
#include "engine/job.h"
#include "maildir/localworker.h"
#include "maildir/maildir.h"
#include "platform/i18n.h"

namespace qb::cli {

namespace {

std::string LastName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

TJobFolder Folder(const std::string& name, const std::string& path) {
  TJobFolder f;
  f.Name = name;
  f.FileName = path;
  return f;
}

}  // namespace

// The arguments of extract with --source taken out.
int ExtractLocalMail(const std::vector<std::string>& args, TSourceKind kind) {
  const bool mbox = kind == TSourceKind::Mbox;
  TExtractArgs x;
  if (int status =
          ParseExtractArgs(args, mbox ? TExtractSource::Mailbox : TExtractSource::LocalFolders, x);
      status >= 0)
    return status;
  if (mbox && !x.Profile.empty())
    return UsageError("extract", Translate("--source mbox takes --mailbox files"));

  std::vector<TJobFolder> chosen;
  if (mbox) {
    for (const std::string& file : x.Mailboxes) chosen.push_back(Folder(LastName(file), file));
  } else if (kind == TSourceKind::Eml) {
    for (const std::string& dir : x.Folders) chosen.push_back(Folder(LastName(dir), dir));
  } else {
    // Every Maildir folder of the tree below each directory; one that holds
    // none is kept, for the run to say it cannot be opened.
    for (const std::string& dir : x.Folders) {
      const std::vector<TMaildirFolder> tree = ListMaildirFolders(dir);
      bool any = false;
      for (const TMaildirFolder& f : tree)
        if (f.IsMaildir) {
          chosen.push_back(Folder(f.TreePath.empty() ? f.Name : f.TreePath, f.Path));
          any = true;
        }
      if (!any) chosen.push_back(Folder(LastName(dir), dir));
    }
  }

  TExtractionJob job;
  job.SourceKind = kind;
  job.Folders = chosen;
  return RunExtraction(x, job, [](const TExtractionJob& j) {
    return std::unique_ptr<TExtractionWorker>(std::make_unique<TLocalMailExtracter>(j));
  });
}

}  // namespace qb::cli
