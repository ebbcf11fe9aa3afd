// quillbox-cli extract: a run over an Outlook Express store without a window.
//
// The log goes to stdout a line at a time, exactly as the wizard's log shows
// it. The status text goes to stderr: on a terminal as one line redrawn in
// place with a progress bar, otherwise as plain lines. The folder rows
// ("folder", name, total, messages, extracted, status, TAB-separated) follow
// on stderr when the run is over. Ctrl-C asks the run to stop; it ends with
// "Stopped by User." and exit status 130.
#include <memory>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/extract_run.h"
#include "engine/job.h"
#include "oestore/folderlist.h"
#include "oestore/identities.h"
#include "oestore/oOExpressThrd.h"
#include "platform/i18n.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace qb::cli {

// quillbox-cli extract --source outlook, when the Outlook source is built in.
int ExtractOutlook(const std::vector<std::string>& args) __attribute__((weak));
// quillbox-cli extract --source thunderbird|mozilla (app/cmd_mbox.cpp).
int ExtractMailboxes(const std::vector<std::string>& args, bool thunderbird);
// quillbox-cli extract --source maildir|eml|mbox (app/cmd_local.cpp).
int ExtractLocalMail(const std::vector<std::string>& args, TSourceKind kind);

namespace {

// The store root of an identity, or "" after reporting why there is none.
std::string IdentityStore(const std::string& name) {
  std::vector<std::string> names, roots;
  ListOEIdentities(names, roots);
  int hit = -1;
  for (size_t i = 0; i < names.size() && hit < 0; ++i)
    if (names[i] == name) hit = static_cast<int>(i);
  for (size_t i = 0; i < names.size() && hit < 0; ++i)
    if (SameText(names[i], name)) hit = static_cast<int>(i);
  if (hit < 0) {
    std::string known;
    for (const auto& n : names) known += (known.empty() ? "" : ", ") + n;
    Fail(known.empty()
             ? Substitute(Translate("no identity named '%1' (no identities are known; "
                                    "see import-registry)"),
                          {name})
             : Substitute(Translate("no identity named '%1' (known: %2)"), {name, known}));
    return "";
  }
  const std::string& root = roots[static_cast<size_t>(hit)];
  if (root.empty() || root == kEmptyProfileRoot) {
    Fail(Substitute(Translate("the identity '%1' has no store directory"),
                    {names[static_cast<size_t>(hit)]}));
    return "";
  }
  return root;
}

int Extract(const std::vector<std::string>& rawArgs) {
  // The Outlook source takes its own arguments.
  std::vector<std::string> args;
  bool outlook = false;
  int mailboxes = -1;  // 1 Thunderbird, 0 Mozilla
  bool local = false;
  TSourceKind localKind = TSourceKind::Maildir;
  for (size_t i = 0; i < rawArgs.size(); ++i) {
    if (rawArgs[i] == "--source" && i + 1 < rawArgs.size()) {
      const std::string& s = rawArgs[++i];
      if (s == "outlook") {
        outlook = true;
      } else if (s == "thunderbird" || s == "mozilla" || s == "netscape") {
        mailboxes = s == "thunderbird" ? 1 : 0;
      } else if (s == "maildir" || s == "eml" || s == "mbox") {
        local = true;
        localKind = s == "maildir" ? TSourceKind::Maildir
                    : s == "eml"   ? TSourceKind::Eml
                                   : TSourceKind::Mbox;
      } else if (s != "oe" && s != "outlook-express") {
        return UsageError("extract", Translate("--source takes oe, outlook, thunderbird, mozilla, "
                                               "maildir, eml or mbox"));
      }
      continue;
    }
    args.push_back(rawArgs[i]);
  }
  if (mailboxes >= 0) return ExtractMailboxes(args, mailboxes == 1);
  if (local) return ExtractLocalMail(args, localKind);
  if (outlook) {
    if (!ExtractOutlook) return Fail(Translate("this build has no Outlook source"));
    return ExtractOutlook(args);
  }

  TExtractArgs x;
  if (int status = ParseExtractArgs(args, TExtractSource::OutlookExpress, x); status >= 0)
    return status;
  std::string store = x.Store;
  if (!x.Identity.empty()) {
    store = IdentityStore(x.Identity);
    if (store.empty()) return kFailure;
  }
  if (!DirectoryExists(store))
    return Fail(Substitute(Translate("cannot open store directory %1"), {store}));

  // The folders: those named, with their names from folders.dbx where it
  // knows them; otherwise every folder of folders.dbx that has a file.
  std::vector<Toe5_FolderInfo> known;
  bool foldersRead = true;
  try {
    known = LoadOEFolderList(store);
  } catch (const std::exception& e) {
    if (x.Folders.empty())
      return Fail(Substitute(Translate("cannot read the folder list folders.dbx of %1 (%2); name "
                                       "the folder files with --folder"),
                             {store, UserErrorText(e)}));
    foldersRead = false;
  }
  std::vector<TJobFolder> chosen;
  if (x.Folders.empty()) {
    chosen = OEJobFolders(known);
  } else {
    for (const std::string& file : x.Folders) {
      TJobFolder f;
      f.Name = file;
      f.FileName = file;
      if (foldersRead)
        for (const Toe5_FolderInfo& k : known)
          if (k.FileName == file) {
            f.Name = k.FolderName;
            break;
          }
      chosen.push_back(f);
    }
  }

  TExtractionJob job;
  job.StoreFolder = store;
  job.Folders = chosen;
  return RunExtraction(x, job, [](const TExtractionJob& j) -> std::unique_ptr<TExtractionWorker> {
    return std::make_unique<TOEExtracter>(j);
  });
}

const Register kExtract(
    {"extract",
     N_("(--store DIR | --identity NAME) --dest DIR [--folder FILE]... [--layout 0..6]\n"
        "      [--full-file-name | --no-full-file-name] [--exclude LIST] [--include LIST]\n"
        "      [--selected-only] [--download-links] [--skip-duplicates]\n"
        "      [--date-from YYYY-MM-DD] [--date-to YYYY-MM-DD] [--pause-ms N]\n"
        "      [--report FILE] [--dry-run] [--summary-json]\n"
        "      [--source outlook [--pst FILE]...]\n"
        "      [--source thunderbird|mozilla (--mailbox FILE... | --profile NAME)]\n"
        "      [--source maildir|eml --folder DIR...] [--source mbox --mailbox FILE...]"),
     N_("extracts the attachments of an Outlook Express store (default: every folder of "
        "folders.dbx that has a file; layout 6 with full file names; the shipped exclude "
        "list, '' for none), of Outlook's stores, of Thunderbird or Mozilla mailboxes "
        "(every mailbox of the profile's Mail and ImapMail), of Maildir folders (every folder "
        "below each DIR), of folders of .eml files or of any mailbox file (an Apple Mail "
        "export Name.mbox/ too); log on stdout, status on stderr; "
        "exit status 0 when all was written, 3 when something was not, 130 when stopped"),
     Extract});

}  // namespace
}  // namespace qb::cli
