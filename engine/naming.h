// Where the attachments of a message go: the cleaning of name parts, the
// date part, the seven directory layouts, the full-file-name option, the
// extension test and the writing of the attachments.
//
// Paths use '/'. Name parts are the message's 8-bit bytes; at the edge to
// the file system each directory or file name that is not valid UTF-8 is
// converted from the system code page (ToUtf8Edge). No part can climb out
// of the destination: cleaning turns every separator and every ".." into "_".
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/job.h"
#include "engine/reportcsv.h"
#include "platform/datetime.h"
#include "platform/paths.h"

namespace qb {

// The layouts of the wizard's radio buttons (D date, F sender, S subject).
enum TLayout : int {
  loDateSubject = 0,        // D S
  loDateSenderSubject = 1,  // D F S
  loSenderDate = 2,         // F D
  loSenderSubjectDate = 3,  // F S D
  loSubjectDateSender = 4,  // S D F
  loSubjectSenderDate = 5,  // S F D
  loDate = 6,               // D
};

struct TNamingOptions {
  std::string DestinationDir;  // the job's destination, blanks removed
  TSourceKind Source = TSourceKind::OutlookExpress;
  int Layout = loDate;  // values outside 0..6 count as 0
  bool FullFileName = false;
};

TNamingOptions NamingOptionsFromJob(const TExtractionJob& job, TSourceKind source);

// Destination + "/" (when missing) + "outlookExpress/", "outlook/",
// "thunderbird/" or "mozilla/".
std::string RootDirectory(const std::string& destinationDir, TSourceKind source);

// Trims codes 0..32 from both ends, replaces / \ : > < * " ? | and every
// control character (codes 0..31 and 127) by "_", then every ".." (left to
// right, no overlap) by "_".
std::string CleanNamePart(const std::string& text);

// year.month.day, month and day with two digits: 2003.09.21.
std::string FormatDatePart(TDateTime date);

// One part of a full-file-name prefix; the date part is never shortened.
struct TPrefixPart {
  std::string Text;
  bool Shortenable = true;
};

struct TTargetPath {
  std::string Directory;  // ends in '/'
  std::string Prefix;     // "" unless the full-file-name option is on
  // The destination the user chose. Directory lies below it; no level in
  // between is followed when it is a symbolic link. "" takes Directory as
  // it is.
  std::string Base;
  // The parts Prefix is made of, so that a file name too long for the file
  // system can shorten them before the attachment's own name.
  std::vector<TPrefixPart> PrefixParts;
};

TTargetPath BuildTargetPath(const std::string& subject, const std::string& sender, TDateTime date,
                            const TNamingOptions& options);

// The attachment name split as the naming rules want it: the extension
// from the last "." after the last "\", "/" or ":" (dot included, "" when
// there is none, and for a name of dots alone such as "." or ".."); the base name after that
// separator with the first occurrence of the extension removed.
struct TNameSplit {
  std::string Base;
  std::string Extension;
};
TNameSplit SplitAttachmentName(const std::string& fileName);

// prefix + CleanNamePart(base) + extension, taken through ToUtf8Edge and
// fitted into one directory entry (255 bytes): the subject and sender parts
// of the prefix are shortened first, then the base name; the extension
// stays whole. n > 1 gives the n-th name for a file that finds the first
// ones taken by other files: "scan (2).pdf".
std::string AttachmentFileName(const TTargetPath& target, const std::string& fileName, int n = 1);

// target directory + AttachmentFileName(target, fileName).
std::string AttachmentFilePath(const TTargetPath& target, const std::string& fileName);

// Fits prefix parts, base name, a suffix such as " (2)" and extension into
// maxBytes (see AttachmentFileName). All texts are UTF-8.
std::string FitFileName(std::vector<TPrefixPart> parts, std::string base, const std::string& suffix,
                        std::string ext, std::size_t maxBytes = 255);

// The prefix the parts make: each followed by "/", every "//" made "/",
// every "/" made " - ".
std::string JoinPrefix(const std::vector<TPrefixPart>& parts);

// True when the trimmed, upper-cased extension is not empty and is not in
// the exclude list (upper case, leading ".").
bool IsExtensionWanted(const std::string& fileName, const std::vector<std::string>& excludeExt);

// Hands bytes on; false when they could not be taken.
using TWriteBytes = std::function<bool(const char* data, std::size_t size)>;

// One attachment to write, into a temporary file the writing steps made in
// the target directory; they give it its real name once the writing has
// succeeded. Stream, when set, hands the bytes to the write function given
// (as often as it needs); otherwise Save writes the file at the path given,
// creating or replacing it. False or an exception means it failed.
struct TAttachmentToWrite {
  std::string FileName;  // as the message names it
  std::function<bool(const std::string& path)> Save = {};
  std::function<bool(const TWriteBytes& write)> Stream = {};
  // The MIME type its part declared, when the source knows it (any case).
  std::string MimeType = {};
};

// What became of one attachment given to WriteAttachments.
struct TAttachmentOutcome {
  std::size_t Index = 0;  // in the list given
  enum TKind { Written, SameBytesThere, Excluded, Failed } Kind = Written;
  std::string Path;    // the file placed (Written, SameBytesThere), else ""
  std::string Reason;  // why it was excluded or failed
  std::uint64_t Size = 0;
  std::string Sha256;  // when digests were asked for and the bytes were read
  // Instead of Sha256, with TWriteReport::DeferDigests: the bytes, for the
  // caller to digest (a file too large to keep has its Sha256).
  std::string Bytes;
  bool DigestDeferred = false;
};

// The size and, when asked for, the digest of the bytes of one file as they
// are written (an attachment, or a file a link brought). A deferred digest
// keeps the bytes instead (for a thread of the caller's to digest), up to
// kDeferredBytes; a larger file is digested here after all.
struct TTally {
  static constexpr std::size_t kDeferredBytes = std::size_t{4} << 20;
  TTally(bool digest, bool defer)
      : Digest(digest && !defer ? std::make_unique<TReportDigest>() : nullptr),
        Deferred(digest && defer),
        digest_(digest),
        defer_(defer) {}
  // Starts over, for other bytes.
  void Reset() { *this = TTally(digest_, defer_); }
  void Add(const char* data, std::size_t size) {
    Size += size;
    if (Deferred) {
      if (Bytes.size() + size <= kDeferredBytes) {
        Bytes.append(data, size);
        return;
      }
      Deferred = false;
      Digest = std::make_unique<TReportDigest>();
      Digest->Update(Bytes.data(), Bytes.size());
      std::string().swap(Bytes);
    }
    if (Digest) Digest->Update(data, size);
  }
  // The digest of what was added; asked again, the same text.
  std::string Hex() {
    if (Digest) {
      hex = Digest->HexDigest();
      Digest.reset();
    }
    return hex;
  }
  // Gives o the size and the digest, or with a deferred digest the bytes
  // (moved out); digests: whether a digest was asked for at all.
  void HandOn(TAttachmentOutcome& o, bool digests) {
    o.Size = Size;
    if (Deferred) {
      o.Bytes = std::move(Bytes);
      o.DigestDeferred = true;
    } else if (digests) {
      o.Sha256 = Hex();
    }
  }
  std::uint64_t Size = 0;
  std::unique_ptr<TReportDigest> Digest;
  bool Deferred = false;
  std::string Bytes;  // while Deferred
  std::string hex;

 private:
  bool digest_, defer_;
};

// What the writing steps report through.
struct TWriteReport {
  // The message as the "Unable to Save Attachment" line names it (0-based
  // number for Outlook Express, 1-based item for Outlook) and the folder
  // (.dbx file name or folder key).
  std::string MessageNumber;
  std::string Folder;
  std::function<void()> Pause;                           // before each write
  std::function<void(const std::string& line)> Log;      // one log line
  std::function<void(const std::string& path)> Written;  // after each file written
  // Once for every wanted attachment that was not saved: its directory could
  // not be made, its writing failed, or a link stood in the way.
  std::function<void()> Failed;
  // Asked when the target directory cannot be made: false when the run has
  // said so for this directory already (no second line). Unset: always said.
  std::function<bool(const std::string& directory)> FirstDirectoryFailure;
  // After each attachment, whatever became of it (its Bytes may be taken).
  std::function<void(TAttachmentOutcome&)> Outcome;
  // The SHA-256 of every file's bytes in its outcome; deferred: the bytes
  // of a small file instead.
  bool Digests = false;
  bool DeferDigests = false;
  // A dry run: nothing is made or written; the bytes are decoded only to be
  // counted and digested, and each name is chosen as the writing would
  // choose it, given the files there and those planned before (by path,
  // with their digests; kept by the caller across messages).
  std::map<std::string, std::string>* Planned = nullptr;
};

class TSafeDir;

// Opens the target directory, creating what is missing. The destination
// itself may be a symbolic link; no level below it is followed when it is
// one. False when a level cannot be made or opened.
bool OpenTargetDirectory(const TTargetPath& target, TSafeDir& dir);
// Whether OpenTargetDirectory would succeed, asked without making anything
// (a dry run's plan).
bool CouldMakeTargetDirectory(const TTargetPath& target);

// Writes the attachments of one message in order: skips unwanted
// extensions, creates the target directory (on failure logs
// "Unable to Create Directory - " + directory and stops), pauses, saves
// (on failure logs "Unable to Save Attachment " + path + " of Message(" +
// number + ") in " + folder and goes on). Returns the number saved.
//
// A streamed file that is taken away before it is placed (in practice by a
// virus scanner) is replaced by a short "virus_report.txt" saying so.
//
// Nothing below the destination is followed when it is a symbolic link.
// Each file is written under a temporary name and renamed into place when
// complete, never over an existing file: a name that holds the same bytes
// already counts as saved without a write; one holding other bytes sends
// the file on to "name (2).ext", "name (3).ext", ...
int WriteAttachments(const TTargetPath& target, const std::vector<std::string>& excludeExt,
                     const std::vector<TAttachmentToWrite>& attachments,
                     const TWriteReport& report);

}  // namespace qb
