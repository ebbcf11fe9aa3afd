#include "engine/naming.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace qb {

namespace {

// Replaces every occurrence of from, left to right without overlap.
std::string ReplaceAll(const std::string& s, const std::string& from, const std::string& to) {
  std::string out;
  out.reserve(s.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = s.find(from, pos);
    if (hit == std::string::npos) break;
    out.append(s, pos, hit - pos);
    out += to;
    pos = hit + from.size();
  }
  out.append(s, pos, std::string::npos);
  return out;
}

// One directory or file name as the file system gets it: a NUL (which would
// end the path early) becomes "_", and text that is not UTF-8 is converted
// from the system code page.
std::string EdgeName(const std::string& bytes) {
  std::string s = bytes;
  std::replace(s.begin(), s.end(), '\0', '_');
  return ToUtf8Edge(s);
}

}  // namespace

TNamingOptions NamingOptionsFromJob(const TExtractionJob& job, TSourceKind source) {
  TNamingOptions o;
  o.DestinationDir = Trim(job.DestinationDir);
  o.Source = source;
  o.Layout = job.Layout;
  o.FullFileName = job.FullFileName;
  return o;
}

std::string RootDirectory(const std::string& destinationDir, TSourceKind source) {
  const char* root = "outlookExpress/";
  switch (source) {
    case TSourceKind::OutlookExpress:
      break;
    case TSourceKind::Outlook:
      root = "outlook/";
      break;
    case TSourceKind::Thunderbird:
      root = "thunderbird/";
      break;
    case TSourceKind::Mozilla:
      root = "mozilla/";
      break;
  }
  return IncludeTrailingSlash(destinationDir) + root;
}

std::string CleanNamePart(const std::string& text) {
  std::string s = Trim(text);
  for (char& c : s) {
    switch (c) {
      case '/':
      case '\\':
      case ':':
      case '>':
      case '<':
      case '*':
      case '"':
      case '?':
      case '|':
        c = '_';
        break;
      default:
        break;
    }
  }
  return ReplaceAll(s, "..", "_");
}

std::string FormatDatePart(TDateTime date) {
  // A value the calendar cannot hold is taken as day 0.
  if (!std::isfinite(date) || date < -693593.0 || date >= 2958466.0) date = 0;
  const TDateParts p = DecodeDateTime(date);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d.%02d.%02d", p.Year, p.Month, p.Day);
  return buf;
}

TTargetPath BuildTargetPath(const std::string& subject, const std::string& sender, TDateTime date,
                            const TNamingOptions& options) {
  const std::string S = EdgeName(CleanNamePart(subject)) + "/";
  const std::string D = FormatDatePart(date) + "/";
  const std::string F = EdgeName(CleanNamePart(sender)) + "/";
  std::string rel;
  switch (options.Layout) {
    case loDateSenderSubject:
      rel = D + F + S;
      break;
    case loSenderDate:
      rel = F + D;
      break;
    case loSenderSubjectDate:
      rel = F + S + D;
      break;
    case loSubjectDateSender:
      rel = S + D + F;
      break;
    case loSubjectSenderDate:
      rel = S + F + D;
      break;
    case loDate:
      rel = D;
      break;
    default:
      rel = D + S;
      break;
  }
  rel = ReplaceAll(rel, "//", "/");
  const std::string root = RootDirectory(options.DestinationDir, options.Source);
  TTargetPath t;
  if (!options.FullFileName) {
    t.Directory = IncludeTrailingSlash(root + Trim(rel));
  } else {
    t.Directory = root;
    t.Prefix = ReplaceAll(rel, "/", " - ");
  }
  t.Directory = Trim(t.Directory);
  return t;
}

TNameSplit SplitAttachmentName(const std::string& fileName) {
  const std::size_t sep = fileName.find_last_of("\\/:");
  const std::string tail = sep == std::string::npos ? fileName : fileName.substr(sep + 1);
  TNameSplit r;
  const std::size_t dot = tail.rfind('.');
  if (dot != std::string::npos) r.Extension = tail.substr(dot);
  r.Base = tail;
  if (!r.Extension.empty()) {
    const std::size_t first = r.Base.find(r.Extension);
    if (first != std::string::npos) r.Base.erase(first, r.Extension.size());
  }
  return r;
}

std::string AttachmentFilePath(const TTargetPath& target, const std::string& fileName) {
  const TNameSplit n = SplitAttachmentName(fileName);
  return target.Directory + target.Prefix + EdgeName(CleanNamePart(n.Base) + n.Extension);
}

bool IsExtensionWanted(const std::string& fileName, const std::vector<std::string>& excludeExt) {
  const std::string ext = UpperCase(Trim(SplitAttachmentName(fileName).Extension));
  if (ext.empty()) return false;
  return std::find(excludeExt.begin(), excludeExt.end(), ext) == excludeExt.end();
}

int WriteAttachments(const TTargetPath& target, const std::vector<std::string>& excludeExt,
                     const std::vector<TAttachmentToWrite>& attachments,
                     const TWriteReport& report) {
  int written = 0;
  for (const TAttachmentToWrite& a : attachments) {
    if (!IsExtensionWanted(a.FileName, excludeExt)) continue;
    bool made = false;
    try {
      made = ForceDirectories(target.Directory);
    } catch (...) {
      made = false;
    }
    if (!made) {
      if (report.Log) report.Log("Unable to Create Directory - " + target.Directory);
      if (report.Failed) report.Failed();
      break;
    }
    const std::string path = AttachmentFilePath(target, a.FileName);
    if (report.Pause) report.Pause();
    // The last component must name a file inside the target: an attachment
    // called ".." would otherwise address the directory above.
    const std::size_t slash = path.rfind('/');
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    bool saved = false;
    if (leaf != "." && leaf != ".." && !leaf.empty() && a.Save) {
      try {
        saved = a.Save(path);
      } catch (...) {
        saved = false;
      }
    }
    if (saved) {
      ++written;
      if (report.Written) report.Written(path);
    } else {
      if (report.Log)
        report.Log("Unable to Save Attachment " + path + " of Message(" + report.MessageNumber +
                   ") in " + report.Folder);
      if (report.Failed) report.Failed();
    }
  }
  return written;
}

}  // namespace qb
