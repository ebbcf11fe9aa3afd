// quillbox-cli extract: what the Outlook Express and the Outlook source share
// (the options, the job built from them, the destination check, the console
// view, Ctrl-C and the exit status).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/job.h"
#include "engine/worker.h"
#include "platform/datetime.h"
#include "platform/thread.h"

namespace qb::cli {

// Which source a run of extract reads; it decides the source's own options.
// LocalFolders: Maildir or .eml folders named by --folder; Mailbox also
// serves --source mbox.
enum class TExtractSource { OutlookExpress, Outlook, Mailbox, LocalFolders };

struct TExtractArgs {
  // Outlook Express: the store directory or the identity that names it.
  std::string Store, Identity;
  // Outlook: .pst files besides the configured ones.
  std::vector<std::string> Pst;
  // Thunderbird, Mozilla: mailbox files, or the profile whose mail is read.
  std::vector<std::string> Mailboxes;
  std::string Profile;
  std::string Dest;
  // Folder files (Outlook Express), folder path keys (Outlook) or the
  // directories of Maildir and .eml folders.
  std::vector<std::string> Folders;
  int Layout = 6;
  bool FullFileName = true;
  std::vector<std::string> Include, Exclude;  // the shipped lists unless given
  bool SelectedOnly = false;
  bool DownloadLinks = false;
  bool SkipDuplicates = false;
  bool HasFrom = false, HasTo = false;
  TDateTime From = 0, To = 0;
  unsigned long long PauseMs = 0;
};

// Parses the arguments of extract (without --source); returns -1 when they
// are fine, else the exit status after reporting the usage error.
int ParseExtractArgs(const std::vector<std::string>& args, TExtractSource source, TExtractArgs& x);

// Makes sure of the destination, completes the job from the options (job
// holds the store and the folders already), runs the worker made for it with
// the console view and Ctrl-C handling, writes the folder rows and returns
// the exit status: kOk when everything wanted was written, kStopped after
// Ctrl-C, kIncomplete when a folder could not be opened, a message read, a
// file written or the history kept.
using TWorkerFactory = std::function<std::unique_ptr<TExtractionWorker>(const TExtractionJob&)>;
int RunExtraction(const TExtractArgs& x, TExtractionJob job, const TWorkerFactory& makeWorker);

}  // namespace qb::cli
