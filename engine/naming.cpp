#include "engine/naming.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "engine/reportcsv.h"
#include "mime/MoxAttFile.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/safefile.h"
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

bool IsControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}

std::string ControlsToUnderscore(std::string s) {
  for (char& c : s)
    if (IsControl(c)) c = '_';
  return s;
}

// A directory level holds at most 255 bytes.
std::string FitLevel(const std::string& name) {
  return CutUtf8(name, kMaxNameBytes);
}

// Shortens s by up to excess bytes, not below floor bytes and never to
// nothing; takes what was cut off excess.
void Shorten(std::string& s, std::size_t& excess, std::size_t floor) {
  if (excess == 0 || s.size() <= floor) return;
  const std::size_t want = std::max(floor, s.size() > excess ? s.size() - excess : 0);
  std::string cut = CutUtf8(s, want);
  if (cut.empty() && !s.empty()) {
    std::size_t n = 1;  // keep the first character whole
    while (n < s.size() && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) ++n;
    cut = s.substr(0, n);
  }
  if (cut.size() >= s.size()) return;
  const std::size_t removed = s.size() - cut.size();
  excess = removed >= excess ? 0 : excess - removed;
  s = std::move(cut);
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
    case TSourceKind::Maildir:
      root = "maildir/";
      break;
    case TSourceKind::Eml:
      root = "eml/";
      break;
    case TSourceKind::Mbox:
      root = "mbox/";
      break;
  }
  return IncludeTrailingSlash(destinationDir) + root;
}

std::string CleanNamePart(const std::string& text) {
  std::string s = Trim(text);
  for (char& c : s) {
    if (IsControl(c)) {
      c = '_';
      continue;
    }
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
  const TPrefixPart S{EdgeName(CleanNamePart(subject)), true};
  const TPrefixPart D{FormatDatePart(date), false};
  const TPrefixPart F{EdgeName(CleanNamePart(sender)), true};
  std::vector<TPrefixPart> parts;
  switch (options.Layout) {
    case loDateSenderSubject:
      parts = {D, F, S};
      break;
    case loSenderDate:
      parts = {F, D};
      break;
    case loSenderSubjectDate:
      parts = {F, S, D};
      break;
    case loSubjectDateSender:
      parts = {S, D, F};
      break;
    case loSubjectSenderDate:
      parts = {S, F, D};
      break;
    case loDate:
      parts = {D};
      break;
    default:
      parts = {D, S};
      break;
  }
  const std::string root = RootDirectory(options.DestinationDir, options.Source);
  TTargetPath t;
  t.Base = options.DestinationDir;
  if (!options.FullFileName) {
    std::string rel;
    for (const TPrefixPart& p : parts) rel += FitLevel(p.Text) + "/";
    rel = ReplaceAll(rel, "//", "/");
    t.Directory = IncludeTrailingSlash(root + Trim(rel));
  } else {
    t.Directory = root;
    t.Prefix = JoinPrefix(parts);
    t.PrefixParts = std::move(parts);
  }
  t.Directory = Trim(t.Directory);
  return t;
}

TNameSplit SplitAttachmentName(const std::string& fileName) {
  const std::size_t sep = fileName.find_last_of("\\/:");
  const std::string tail = sep == std::string::npos ? fileName : fileName.substr(sep + 1);
  TNameSplit r;
  const std::size_t dot = tail.rfind('.');
  // "." and ".." (dots alone) are names without an extension.
  if (dot != std::string::npos && tail.find_first_not_of('.') != std::string::npos)
    r.Extension = tail.substr(dot);
  r.Base = tail;
  if (!r.Extension.empty()) {
    const std::size_t first = r.Base.find(r.Extension);
    if (first != std::string::npos) r.Base.erase(first, r.Extension.size());
  }
  return r;
}

std::string JoinPrefix(const std::vector<TPrefixPart>& parts) {
  std::string rel;
  for (const TPrefixPart& p : parts) rel += p.Text + "/";
  return ReplaceAll(ReplaceAll(rel, "//", "/"), "/", " - ");
}

std::string FitFileName(std::vector<TPrefixPart> parts, std::string base, const std::string& suffix,
                        std::string ext, std::size_t maxBytes) {
  const auto length = [&] {
    return JoinPrefix(parts).size() + base.size() + suffix.size() + ext.size();
  };
  std::size_t len = length();
  if (len <= maxBytes) return JoinPrefix(parts) + base + suffix + ext;
  std::size_t excess = len - maxBytes;
  // Subject and sender first, longest first, down to a readable stub; then
  // the base name; then all of them down to one character; the extension
  // only when nothing else is left.
  constexpr std::size_t kStub = 16;
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < parts.size(); ++i)
    if (parts[i].Shortenable && !parts[i].Text.empty()) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return parts[a].Text.size() > parts[b].Text.size();
  });
  for (std::size_t floor : {kStub, std::size_t{1}}) {
    for (std::size_t i : order) Shorten(parts[i].Text, excess, floor);
    Shorten(base, excess, floor);
  }
  if (excess > 0) ext = CutUtf8(ext, ext.size() > excess ? ext.size() - excess : 0);
  std::string name = JoinPrefix(parts) + base + suffix + ext;
  return CutUtf8(name, maxBytes);
}

std::string AttachmentFileName(const TTargetPath& target, const std::string& fileName, int n) {
  const TNameSplit split = SplitAttachmentName(fileName);
  const std::string whole =
      EdgeName(CleanNamePart(split.Base) + ControlsToUnderscore(split.Extension));
  // The extension starts at the last "." of the converted name ("." is kept
  // as it is by the conversion).
  std::size_t dot = split.Extension.empty() ? std::string::npos : whole.rfind('.');
  if (dot == std::string::npos) dot = whole.size();
  const std::string base = whole.substr(0, dot);
  const std::string ext = whole.substr(dot);
  const std::string suffix = n > 1 ? " (" + std::to_string(n) + ")" : std::string();
  if (!target.PrefixParts.empty()) return FitFileName(target.PrefixParts, base, suffix, ext);
  // A prefix given whole (a target made by hand) is kept whole.
  const std::size_t room =
      target.Prefix.size() < kMaxNameBytes ? kMaxNameBytes - target.Prefix.size() : 1;
  return target.Prefix + FitFileName({}, base, suffix, ext, room);
}

std::string AttachmentFilePath(const TTargetPath& target, const std::string& fileName) {
  return target.Directory + AttachmentFileName(target, fileName);
}

bool IsExtensionWanted(const std::string& fileName, const std::vector<std::string>& excludeExt) {
  const std::string ext = UpperCase(Trim(SplitAttachmentName(fileName).Extension));
  if (ext.empty()) return false;
  return std::find(excludeExt.begin(), excludeExt.end(), ext) == excludeExt.end();
}

namespace {

bool OpenTarget(const TTargetPath& target, TSafeDir& dir, bool create) {
  const std::string base = IncludeTrailingSlash(target.Base);
  if (target.Base.empty() || target.Directory.compare(0, base.size(), base) != 0)
    return dir.Open(target.Directory, "", create);
  return dir.Open(target.Base, target.Directory.substr(base.size()), create);
}

// Reads the file open at fd from its start into tally; false on a read error.
bool TallyFile(int fd, TTally& tally) {
  char buffer[1 << 16];
  off_t at = 0;
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    tally.Add(buffer, static_cast<std::size_t>(n));
    at += n;
  }
}

// Writes one attachment through a temporary file in dir and places it.
TPlaced WriteOne(const TSafeDir& dir, const TTargetPath& target, const TAttachmentToWrite& a,
                 const std::string& name, TTally& tally) {
  const auto candidates = [&](const std::string& fileName, const std::string& first) {
    return [&target, fileName, first](int n) {
      return n == 1 ? first : AttachmentFileName(target, fileName, n);
    };
  };
  TPendingFile temp(dir);
  if (!temp.IsOpen()) return {};
  if (!a.Stream) {
    if (!a.Save(temp.Path())) return {};
    if (tally.Digest || tally.Deferred) {
      if (!TallyFile(temp.Fd(), tally)) return {};
    } else if (struct stat st{}; ::fstat(temp.Fd(), &st) == 0) {
      tally.Size = static_cast<std::uint64_t>(st.st_size);
    }
    return temp.Place(candidates(a.FileName, name));
  }
  if (!a.Stream([&temp, &tally](const char* data, std::size_t size) {
        tally.Add(data, size);
        return temp.Write(data, size);
      }))
    return {};
  if (temp.InPlace()) return temp.Place(candidates(a.FileName, name));
  // Taken away while it was written: a report says so in its place.
  temp.Discard();
  TPendingFile report(dir);
  const std::string text = TAttachedFile::VirusReportText(a.FileName);
  if (!report.IsOpen() || !report.Write(text.data(), text.size())) return {};
  tally.Reset();
  tally.Add(text.data(), text.size());
  const std::string reportName = TAttachedFile::kVirusReportName;
  return report.Place(candidates(reportName, AttachmentFileName(target, reportName)));
}

// The bytes of an attachment counted and digested, nothing kept.
bool TallyAttachment(const TAttachmentToWrite& a, TTally& tally) {
  if (a.Stream)
    return a.Stream([&tally](const char* data, std::size_t size) {
      tally.Add(data, size);
      return true;
    });
  // Saved to a file without a name in the temporary directory, read, dropped.
  const char* tmp = std::getenv("TMPDIR");
  TSafeDir dir;
  if (!dir.Open(tmp && *tmp ? tmp : "/tmp", "", false)) return false;
  TPendingFile temp(dir);
  return temp.IsOpen() && a.Save(temp.Path()) && TallyFile(temp.Fd(), tally);
}

// True when the file name in dir holds bytes of this size and digest.
bool HoldsSameBytes(const TSafeDir& dir, const std::string& name, std::uint64_t size,
                    const std::string& digest) {
  const int fd = ::openat(dir.Fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool same = false;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<std::uint64_t>(st.st_size) == size) {
    TTally there(true, false);
    same = TallyFile(fd, there) && there.Hex() == digest;
  }
  ::close(fd);
  return same;
}

// The name a write would give: the first candidate that is free, or holds
// the same bytes already (on disk, or planned earlier in the run).
TPlaced PlanOne(const TTargetPath& target, const TAttachmentToWrite& a, const std::string& name,
                TTally& tally, std::map<std::string, std::string>& planned) {
  if (!TallyAttachment(a, tally)) return {};
  const std::string digest = tally.Hex();
  TSafeDir dir;
  const bool there = OpenTarget(target, dir, false);
  for (int n = 1; n <= 10000; ++n) {
    const std::string candidate = n == 1 ? name : AttachmentFileName(target, a.FileName, n);
    const std::string path = target.Directory + candidate;
    if (const auto p = planned.find(path); p != planned.end()) {
      if (p->second == digest) return {TPlaceResult::SameBytes, candidate};
      continue;
    }
    if (there) {
      struct stat st {};
      if (::fstatat(dir.Fd(), candidate.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISREG(st.st_mode) && HoldsSameBytes(dir, candidate, tally.Size, digest))
          return {TPlaceResult::SameBytes, candidate};
        continue;
      }
    }
    planned.emplace(path, digest);
    return {TPlaceResult::Written, candidate};
  }
  return {};
}

}  // namespace

bool OpenTargetDirectory(const TTargetPath& target, TSafeDir& dir) {
  return OpenTarget(target, dir, true);
}

bool CouldMakeTargetDirectory(const TTargetPath& target) {
  const std::string base = IncludeTrailingSlash(target.Base);
  if (target.Base.empty() || target.Directory.compare(0, base.size(), base) != 0)
    return TSafeDir::CouldOpen(target.Directory, "");
  return TSafeDir::CouldOpen(target.Base, target.Directory.substr(base.size()));
}

int WriteAttachments(const TTargetPath& target, const std::vector<std::string>& excludeExt,
                     const std::vector<TAttachmentToWrite>& attachments,
                     const TWriteReport& report) {
  const bool dry = report.Planned != nullptr;
  const auto outcome = [&report](std::size_t i, TAttachmentOutcome::TKind kind,
                                 std::string reason) {
    if (!report.Outcome) return;
    TAttachmentOutcome o;
    o.Index = i;
    o.Kind = kind;
    o.Reason = std::move(reason);
    report.Outcome(o);
  };
  int written = 0;
  TSafeDir dir;
  // The target is open, or in a dry run, could be made.
  bool ready = false;
  for (std::size_t i = 0; i < attachments.size(); ++i) {
    const TAttachmentToWrite& a = attachments[i];
    if (!IsExtensionWanted(a.FileName, excludeExt)) {
      outcome(i, TAttachmentOutcome::Excluded,
              Trim(SplitAttachmentName(a.FileName).Extension).empty() ? "no extension"
                                                                      : "in the exclude list");
      continue;
    }
    if (!ready) {
      bool made = false;
      try {
        made = dry ? CouldMakeTargetDirectory(target) : OpenTargetDirectory(target, dir);
      } catch (const std::bad_alloc&) {
        throw;  // ends the run
      } catch (const std::exception&) {
        made = false;
      }
      if (!made) {
        if (report.Log &&
            (!report.FirstDirectoryFailure || report.FirstDirectoryFailure(target.Directory)))
          report.Log("Unable to Create Directory - " + target.Directory);
        for (std::size_t k = i; k < attachments.size(); ++k) {
          if (IsExtensionWanted(attachments[k].FileName, excludeExt)) {
            if (report.Failed) report.Failed();
            outcome(k, TAttachmentOutcome::Failed, "the directory could not be made");
          } else {
            outcome(k, TAttachmentOutcome::Excluded,
                    Trim(SplitAttachmentName(attachments[k].FileName).Extension).empty()
                        ? "no extension"
                        : "in the exclude list");
          }
        }
        break;
      }
      ready = true;
    }
    const std::string name = AttachmentFileName(target, a.FileName);
    if (report.Pause && !dry) report.Pause();
    // The name must be a file inside the target: an attachment called ".."
    // would otherwise address the directory above.
    TPlaced placed;
    TTally tally(report.Digests || dry, report.DeferDigests && !dry);
    if (name != "." && name != ".." && !name.empty() && (a.Save || a.Stream)) {
      try {
        placed = dry ? PlanOne(target, a, name, tally, *report.Planned)
                     : WriteOne(dir, target, a, name, tally);
      } catch (const std::bad_alloc&) {
        throw;  // ends the run
      } catch (const std::exception&) {
        placed.Result = TPlaceResult::Failed;
      }
    }
    if (placed.Result != TPlaceResult::Failed) {
      ++written;
      if (report.Written) report.Written(target.Directory + placed.Name);
      if (report.Outcome) {
        TAttachmentOutcome o;
        o.Index = i;
        o.Kind = placed.Result == TPlaceResult::SameBytes ? TAttachmentOutcome::SameBytesThere
                                                          : TAttachmentOutcome::Written;
        o.Path = target.Directory + placed.Name;
        tally.HandOn(o, report.Digests);
        report.Outcome(o);
      }
    } else {
      if (report.Log)
        report.Log("Unable to Save Attachment " + target.Directory + name + " of Message(" +
                   report.MessageNumber + ") in " + report.Folder);
      if (report.Failed) report.Failed();
      outcome(i, TAttachmentOutcome::Failed, "could not be written");
    }
  }
  return written;
}

}  // namespace qb
