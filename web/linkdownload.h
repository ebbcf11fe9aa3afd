// The download of files linked from a message's texts.
//
// For each text of a message the worker asks how many links are worth
// fetching (GetDownloadLinks) and, when there are any, fetches them into the
// message's target directory (DownloadLinks), counting the files it got.
// Every link about to be fetched is first noted in the URL list.
//
//   TLinkDownloader links(job.LinkLists);
//   TStringList a, b;
//   links.GetDownloadLinks(message.Text, a);
//   links.GetDownloadLinks(message.HTML, b);
//   if (!a.empty() || !b.empty()) {
//     extracted += links.DownloadLinks(dir, prefix, message.Text);
//     extracted += links.DownloadLinks(dir, prefix, message.HTML);
//   }
//
// A run downloads a message's links with DownloadMessageLinks: within the
// message's time, ended by the run's stop request, and every file that did
// not come whole removed and logged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/job.h"
#include "engine/naming.h"
#include "engine/worker.h"
#include "platform/limits.h"
#include "web/httpclient.h"
#include "web/jsHTMLParser.h"

namespace qb {

// AppDataDir() + "/Quillbox/URLList.txt".
std::string DefaultUrlListPath();

// The file name a link is saved under inside the target directory: made
// safe for one path component, shortened to what the file system takes
// (keeping the extension), converted to UTF-8. "" when nothing usable is left.
std::string SafeDownloadName(const std::string& name);

// The path DownloadFile writes for a target path: the directory part and
// the name part made safe. "" when no file can be written there.
std::string SafeDownloadPath(const std::string& targetPath);

// The name DownloadLinks saves a link under, before it is made safe: the
// last path element without the query. "" when DownloadLinks skips the
// link (an "=" without a "?", no extension, a host name's extension).
std::string LinkTargetName(const std::string& link);

// The name a link's file gets in the target directory: the target's prefix
// and the link's file name, made safe and fitted into one directory entry
// (the prefix's subject and sender parts are shortened first); n > 1 gives
// "name (n).ext". "" when nothing usable is left.
std::string DownloadFileName(const TTargetPath& target, const std::string& linkName, int n = 1);

// The target path DownloadLinks hands to DownloadFile: prefix and name are
// one file name inside directory, whatever they hold.
std::string LinkTargetPath(const std::string& directory, const std::string& prefix,
                           const std::string& name);

struct TLinkDownloadOptions {
  std::string UrlListPath;                         // "" means DefaultUrlListPath()
  std::uint64_t MaxFileBytes = kMaxDownloadBytes;  // a body longer than this fails
  long TransferLimitMs = kTransferLimitMs;
  long StallLimitMs = kStallLimitMs;
  long MessageBudgetMs = kMessageDownloadBudgetMs;
  std::shared_ptr<IHttpFetcher> Fetcher;  // null means a THttpClient
};

// What became of one link's download.
enum class TDownloadOutcome {
  Placed,     // the file is under its name (or the name held the same bytes)
  NotOpened,  // nothing to fetch: no usable name or directory, no reply
  Failed,     // fetched but not whole or not a success: nothing kept
  TimedOut,   // its time ran out before it was whole: nothing kept (only
              // within a message's downloads; DownloadFile says Failed)
  Stopped     // the run's stop request ended it: nothing kept
};

using TLinkRun = ILinkDownloads::TRun;
using TLinkResult = ILinkDownloads::TResult;

// The line for a link whose file could not be placed at path, and the one
// for a link left out when its message's download time ran out, and the
// notice that the time ran out with count links left.
std::string DownloadFailedLine(const std::string& path, const TLinkRun& run);
std::string LinkNotFetchedLine(const std::string& link, const TLinkRun& run);
std::string DownloadTimeUsedUpNotice(std::size_t count, const TLinkRun& run);

class TLinkDownloader {
 public:
  explicit TLinkDownloader(TExtensionListsSnapshot lists, TLinkDownloadOptions options = {});

  // Empties list and appends the target of every anchor tag of text, as
  // written, in document order.
  static void GetHyperlinks(const std::string& text, TStringList& list);

  // Empties list and fills it with the links of text that pass the filters:
  // no mailto, no site root or directory, an extension that is not a host
  // name's, the include list (when only selected extensions are wanted) and
  // the exclude list. Each link once, ignoring case.
  void GetDownloadLinks(const std::string& text, TStringList& list) const;

  // Fetches the links of text into the message's target directory, each
  // file named as DownloadFileName says. Returns the number of files
  // fetched, counting a file whose name already held the same bytes.
  int DownloadLinks(const TTargetPath& target, const std::string& text);
  // The links of a message's bodies, body after body, within the message's
  // time: once it is spent, each link left gets LinkNotFetchedLine (after one
  // DownloadTimeUsedUpNotice) and counts as failed. A download that fails
  // gets DownloadFailedLine and counts as failed; a stop request ends the
  // download in progress and leaves the rest unfetched, without a line.
  TLinkResult DownloadMessageLinks(const TTargetPath& target,
                                   const std::vector<std::string>& bodies, const TLinkRun& run);
  // The same into directory, taken as the destination itself.
  int DownloadLinks(const std::string& directory, const std::string& prefix,
                    const std::string& text);

  // Fetches link into the target directory under DownloadFileName. The
  // file is received under a temporary name and given its name when the
  // transfer is over: never over another file (a name holding the same
  // bytes is kept, one holding others sends it on to "name (2).ext") and
  // never through a symbolic link below the destination. Only a success
  // reply that came whole is placed: an error status, a body shorter than
  // promised or longer than the size cap, a transfer that broke off, ran
  // out of time or failed to be written leaves nothing.
  TDownloadOutcome DownloadFile(const std::string& link, const TTargetPath& target,
                                const std::string& linkName);
  // The same for a target path (made safe first) whose directory is taken
  // as the destination itself.
  TDownloadOutcome DownloadFile(const std::string& link, const std::string& targetPath);

  // Notes the link in the URL list (section "urls", value "y"). Throws
  // when the list exists but cannot be read; a failed write is ignored.
  void RecordUrl(const std::string& link);

  const std::string& UrlListPath() const { return urlListPath_; }

 private:
  // What DownloadWithin found out about the file: where it was placed, its
  // size and digest, or why it failed.
  struct TLinkFile;
  TDownloadOutcome DownloadWithin(const std::string& link, const TTargetPath& target,
                                  const std::string& linkName, const TTransferLimits& limits,
                                  TLinkFile* file = nullptr);

  TExtensionListsSnapshot lists_;
  std::string urlListPath_;
  std::uint64_t maxFileBytes_;
  long transferLimitMs_, stallLimitMs_, messageBudgetMs_;
  std::shared_ptr<IHttpFetcher> fetcher_;
};

}  // namespace qb
