#include "maildir/localworker.h"

#include <map>
#include <memory>
#include <mutex>
#include <string_view>

#include "maildir/discovery.h"
#include "maildir/maildir.h"
#include "maildir/messagefiles.h"
#include "mbox/mboxworker.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "web/workerlinks.h"

namespace qb {

namespace {

std::string StripSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string LastName(const std::string& pathIn) {
  const std::string path = StripSlash(pathIn);
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<std::string> GmailLabels(std::string_view text) {
  // The header's value, its folded lines joined.
  std::string value;
  bool found = false, inHeader = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;  // the end of the headers
    if (line.front() == ' ' || line.front() == '\t') {
      if (inHeader) value.append(line);
      continue;
    }
    if (found) break;
    inHeader = false;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    if (SameText(TrimView(line.substr(0, colon)), "X-Gmail-Labels")) {
      found = inHeader = true;
      value.assign(line.substr(colon + 1));
    }
  }
  std::vector<std::string> labels;
  std::string label;
  bool quoted = false;
  auto flush = [&] {
    const std::string_view t = TrimView(label);
    if (!t.empty()) {
      bool again = false;
      for (const std::string& l : labels) again = again || l == t;
      if (!again) labels.emplace_back(t);
    }
    label.clear();
  };
  for (const char c : value) {
    if (c == '"')
      quoted = !quoted;
    else if (c == ',' && !quoted)
      flush();
    else
      label.push_back(c);
  }
  flush();
  return labels;
}

namespace {

// How many messages of the run carried each Gmail label.
class TLabelCounts {
 public:
  void Add(const std::map<std::string, std::size_t>& counts) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [label, n] : counts) counts_[label] += n;
  }
  std::map<std::string, std::size_t> Take() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::move(counts_);
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::size_t> counts_;
};

// Counts the labels of the messages its folder hands out and gives them to
// the run's counts when the folder is closed.
class TLabelledCursor : public IFolderCursor {
 public:
  TLabelledCursor(std::unique_ptr<IFolderCursor> inner, TLabelCounts& runCounts)
      : inner_(std::move(inner)), runCounts_(runCounts) {}
  ~TLabelledCursor() override { runCounts_.Add(counts_); }

  std::size_t Count() const override { return inner_->Count(); }
  TFolderDamage Damage() const override { return inner_->Damage(); }
  std::uint64_t ByteSize() const override { return inner_->ByteSize(); }
  void Read(std::size_t j, TSourceMessage& m, const std::function<void()>& pause) override {
    inner_->Read(j, m, pause);
    for (std::string& label : GmailLabels(m.RawText)) ++counts_[std::move(label)];
  }

 private:
  std::unique_ptr<IFolderCursor> inner_;
  TLabelCounts& runCounts_;
  std::map<std::string, std::size_t> counts_;
};

// The messages of a Maildir folder or a folder of .eml files.
class TMessageFilesCursor : public IFolderCursor {
 public:
  explicit TMessageFilesCursor(TMessageFiles files) : files_(std::move(files)) {}
  std::size_t Count() const override { return files_.Count(); }
  void Read(std::size_t j, TSourceMessage& m, const std::function<void()>&) override {
    files_.Read(j, m.KeyText, m.RawText);
  }

 private:
  TMessageFiles files_;
};

TSourceKind LocalKind(TSourceKind kind) {
  return kind == TSourceKind::Eml || kind == TSourceKind::Mbox ? kind : TSourceKind::Maildir;
}

class TLocalMailSource : public IMessageSource {
 public:
  explicit TLocalMailSource(TSourceKind kind)
      : kind_(LocalKind(kind)), mailboxes_(TMailFamily::Mozilla) {
    // A mailbox may be a Takeout of many gigabytes.
    mailboxes_.SetProgressByBytes(true);
  }

  TSourceKind Kind() const override { return kind_; }
  std::string HistoryPath() const override {
    return kind_ == TSourceKind::Mbox ? kMozillaHistoryPath : kMaildirHistoryPath;
  }

  std::unique_ptr<IFolderCursor> OpenFolder(const TJobFolder& folder) override {
    const std::string path = StripSlash(folder.FileName);
    std::unique_ptr<IFolderCursor> inner;
    try {
      if (IsMaildirFolder(path)) {
        inner = std::make_unique<TMessageFilesCursor>(TMessageFiles::OfMaildir(path));
      } else if (std::string box = FileExists(path) ? path : AppleMailboxFile(path); !box.empty()) {
        TJobFolder mailbox = folder;
        mailbox.FileName = box;
        inner = mailboxes_.OpenFolder(mailbox);
      } else if (DirectoryExists(path)) {
        inner = std::make_unique<TMessageFilesCursor>(TMessageFiles::OfEmlFolder(path));
      } else {
        throw TFolderReadError("cannot open " + path, 0);
      }
    } catch (const EMessageFileError& e) {
      throw TFolderReadError(e.what(), 0);
    }
    return std::make_unique<TLabelledCursor>(std::move(inner), labels_);
  }

  // Each cursor reads its own files or its own mailbox reader; the label
  // counts are the run's only shared state, behind their lock.
  bool CanReadAhead() const override { return true; }

  // The folder's directory or the mailbox file's name (an Apple Mail
  // export's directory name rather than its inner "mbox").
  std::string FolderFileKey(const TJobFolder& folder) const override {
    return LastName(folder.FileName);
  }

  std::vector<std::string> ClosingLines() override {
    std::vector<std::string> lines;
    for (const auto& [label, n] : labels_.Take())
      lines.push_back("Label " + label + " : " + std::to_string(n) +
                      (n == 1 ? " Message" : " Messages"));
    return lines;
  }

 private:
  TSourceKind kind_;
  TMboxSource mailboxes_;
  TLabelCounts labels_;
};

}  // namespace

TLocalMailExtracter::TLocalMailExtracter(const TExtractionJob& job,
                                         TLinkDownloadOptions linkOptions)
    : TExtractionWorker(job, std::make_unique<TLocalMailSource>(job.SourceKind),
                        MakeRunServices(job, std::move(linkOptions))) {}

}  // namespace qb
