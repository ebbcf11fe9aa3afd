// quillbox-cli profiles, mailboxes and extract --source thunderbird|mozilla:
// the mail of Netscape, Mozilla, SeaMonkey and Thunderbird.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/extract_run.h"
#include "engine/job.h"
#include "mbox/mboxworker.h"
#include "mbox/profiles.h"
#include "platform/i18n.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace qb::cli {

namespace {

std::vector<TMailFamily> FamiliesOf(const std::vector<std::string>& args, int& status) {
  status = -1;
  if (args.empty()) return {TMailFamily::Thunderbird, TMailFamily::Mozilla};
  if (args.size() == 1 && args[0] == "--thunderbird") return {TMailFamily::Thunderbird};
  if (args.size() == 1 && args[0] == "--mozilla") return {TMailFamily::Mozilla};
  status = UsageError("profiles", Translate("takes --thunderbird or --mozilla"));
  return {};
}

int Profiles(const std::vector<std::string>& args) {
  int status = -1;
  const std::vector<TMailFamily> families = FamiliesOf(args, status);
  if (status >= 0) return status;
  for (TMailFamily family : families)
    for (const TMailProfile& p : ListMailProfiles(family))
      OutRecord({p.Name, p.Directory, MailFamilyName(family)});
  return kOk;
}

void PrintTree(const std::vector<TMailboxItem>& items, const std::string& prefix) {
  for (const TMailboxItem& item : items) {
    const std::string path = prefix.empty() ? item.Name : prefix + "/" + item.Name;
    OutRecord({item.IsMailbox ? "mailbox" : "folder", path, item.Path});
    PrintTree(item.Children, path);
  }
}

// What the walk of a mail directory left out, one line each on stderr.
void WriteNotes(const std::vector<std::string>& notes) {
  for (const std::string& n : notes) std::fprintf(stderr, "quillbox-cli: %s\n", n.c_str());
}

int Mailboxes(const std::vector<std::string>& args) {
  if (args.size() != 1) return UsageError("mailboxes", Translate("takes one mail directory"));
  if (!DirectoryExists(args[0]))
    return Fail(Substitute(Translate("cannot open mail directory %1"), {args[0]}));
  std::vector<std::string> notes;
  PrintTree(WalkMailboxTree(args[0], &notes), "");
  std::fflush(stdout);
  WriteNotes(notes);
  return kOk;
}

// The profile named name (exactly, else ignoring case) of the family.
bool FindProfile(TMailFamily family, const std::string& name, TMailProfile& found) {
  const std::vector<TMailProfile> all = ListMailProfiles(family);
  for (int pass = 0; pass < 2; ++pass)
    for (const TMailProfile& p : all)
      if (pass == 0 ? p.Name == name : SameText(p.Name, name)) {
        found = p;
        return true;
      }
  std::string known;
  for (const TMailProfile& p : all) known += (known.empty() ? "" : ", ") + p.Name;
  const std::string kind = MailFamilyName(family);
  Fail(
      known.empty()
          ? Substitute(Translate("no %1 profile named '%2' (none found; see the profiles command)"),
                       {kind, name})
          : Substitute(Translate("no %1 profile named '%2' (known: %3)"), {kind, name, known}));
  return false;
}

const Register kProfiles({"profiles", N_("[--thunderbird | --mozilla]"),
                          N_("lists the Thunderbird and Netscape/Mozilla/SeaMonkey profiles: "
                             "name, directory, kind"),
                          Profiles});

const Register kMailboxes({"mailboxes", N_("DIR"),
                           N_("lists the mailbox tree of a mail directory as the wizard shows it: "
                              "mailbox or folder, its path in the tree, its full path"),
                           Mailboxes});

}  // namespace

// The arguments of extract with --source taken out.
int ExtractMailboxes(const std::vector<std::string>& args, bool thunderbird) {
  const TMailFamily family = thunderbird ? TMailFamily::Thunderbird : TMailFamily::Mozilla;
  TExtractArgs x;
  if (int status = ParseExtractArgs(args, TExtractSource::Mailbox, x); status >= 0) return status;

  std::vector<TJobFolder> chosen;
  std::vector<std::string> notes;
  const int kind = thunderbird ? 1 : 0;
  if (!x.Profile.empty()) {
    TMailProfile profile;
    if (!FindProfile(family, x.Profile, profile)) return kFailure;
    const std::vector<std::string> mailDirs = ProfileMailDirectories(profile.Directory);
    if (mailDirs.empty())
      return Fail(Substitute(Translate("the profile '%1' has no mail directory"), {profile.Name}));
    for (const std::string& dir : mailDirs) {
      std::vector<TMailboxRef> boxes;
      CollectMailboxes(WalkMailboxTree(dir, &notes), boxes);
      const std::string top = dir.substr(dir.rfind('/') + 1);
      // Names shown below the mail directory; ImapMail's are set apart.
      for (const TMailboxRef& b : boxes)
        if (!b.IsMaildir)  // a maildir-format folder is no mailbox file
          chosen.push_back(TNetscapeFolderInfo{kind, b.Path}.ToJobFolder(
              top == "Mail" ? b.TreePath : top + "/" + b.TreePath));
    }
  } else {
    for (const std::string& file : x.Mailboxes)
      chosen.push_back(TNetscapeFolderInfo{kind, file}.ToJobFolder());
  }

  // Mailboxes left out are said before the run, and the run is incomplete.
  WriteNotes(notes);
  TExtractionJob job;
  job.Folders = chosen;
  const int status = RunExtraction(x, job, [family](const TExtractionJob& j) {
    return std::unique_ptr<TExtractionWorker>(std::make_unique<TMboxExtracter>(j, family));
  });
  return status == kOk && !notes.empty() ? kIncomplete : status;
}

}  // namespace qb::cli
