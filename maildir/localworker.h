// The run over mail files kept on this machine: Maildir folders (Evolution,
// KMail, mutt, Dovecot, mbsync, Thunderbird's maildir format), folders of
// saved .eml files and mailbox files of any origin (a Gmail Takeout, an
// Apple Mail export "Name.mbox/mbox", a list archive).
//
// Each folder of the job names a path in its FileName; what it holds is
// told by ClassifyMailPath (maildir/discovery.h) when the folder is opened:
// a Maildir folder's messages are the files of cur/ and new/, an .eml
// folder's its .eml files, a mailbox's those of the file. The job's
// SourceKind names the run's folder below the destination ("maildir/",
// "eml/", "mbox/") and its history: "Quillbox/Maildir/MDMailData.ini" for
// Maildir and .eml folders (keyed by MaildirMessageKey, so that a message
// moved from new/ to cur/ or given other flags is the same message), the
// Mozilla one for mailbox files (keyed by MboxMessageKey, as the Mozilla
// source's). When messages carried Gmail labels, the run ends with one line
// per label, sorted: "Label Inbox : 12 Messages".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/worker.h"
#include "web/linkdownload.h"

namespace qb {

inline constexpr const char* kMaildirHistoryPath = "Quillbox/Maildir/MDMailData.ini";

// The labels of a Gmail Takeout message: its "X-Gmail-Labels" header split
// at the commas outside double quotes, each trimmed and unquoted, each once,
// in order; none when it has no such header.
std::vector<std::string> GmailLabels(std::string_view text);

// The run over local mail files (job.Folders hold the paths, job.SourceKind
// is Maildir, Eml or Mbox; any other kind counts as Maildir).
class TLocalMailExtracter : public TExtractionWorker {
 public:
  explicit TLocalMailExtracter(const TExtractionJob& job, TLinkDownloadOptions linkOptions = {});
};

}  // namespace qb
