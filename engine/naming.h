// Where the attachments of a message go: the cleaning of name parts, the
// date part, the seven directory layouts, the full-file-name option, the
// extension test and the writing of the attachments.
//
// Paths use '/'. Name parts are the message's 8-bit bytes; at the edge to
// the file system each directory or file name that is not valid UTF-8 is
// converted from the system code page (ToUtf8Edge). No part can climb out
// of the destination: cleaning turns every separator and every ".." into "_".
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/job.h"
#include "platform/datetime.h"
#include "platform/paths.h"

namespace qb {

// Which worker writes: decides the first directory below the destination.
enum class TSourceKind { OutlookExpress, Outlook, Thunderbird, Mozilla };

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

// Trims codes 0..32 from both ends, replaces / \ : > < * " ? | by "_", then
// every ".." (left to right, no overlap) by "_".
std::string CleanNamePart(const std::string& text);

// year.month.day, month and day with two digits: 2003.09.21.
std::string FormatDatePart(TDateTime date);

struct TTargetPath {
  std::string Directory;  // ends in '/'
  std::string Prefix;     // "" unless the full-file-name option is on
};

TTargetPath BuildTargetPath(const std::string& subject, const std::string& sender, TDateTime date,
                            const TNamingOptions& options);

// The attachment name split as the naming rules want it: the extension
// from the last "." after the last "\", "/" or ":" (dot included, "" when
// there is none); the base name after that separator with the first
// occurrence of the extension removed.
struct TNameSplit {
  std::string Base;
  std::string Extension;
};
TNameSplit SplitAttachmentName(const std::string& fileName);

// target directory + prefix + CleanNamePart(base) + extension, the file
// name taken through ToUtf8Edge.
std::string AttachmentFilePath(const TTargetPath& target, const std::string& fileName);

// True when the trimmed, upper-cased extension is not empty and is not in
// the exclude list (upper case, leading ".").
bool IsExtensionWanted(const std::string& fileName, const std::vector<std::string>& excludeExt);

// One attachment to write. Save writes it to the path given, creating or
// replacing the file; false or an exception means it failed.
struct TAttachmentToWrite {
  std::string FileName;  // as the message names it
  std::function<bool(const std::string& path)> Save;
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
  std::function<void()> Failed;                          // per wanted attachment not saved
};

// Writes the attachments of one message in order: skips unwanted
// extensions, creates the target directory (on failure logs
// "Unable to Create Directory - " + directory and stops), pauses, saves
// (on failure logs "Unable to Save Attachment " + path + " of Message(" +
// number + ") in " + folder and goes on). Returns the number written.
int WriteAttachments(const TTargetPath& target, const std::vector<std::string>& excludeExt,
                     const std::vector<TAttachmentToWrite>& attachments,
                     const TWriteReport& report);

}  // namespace qb
