#include "engine/history.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/oCalcMD5.h"
#include "platform/paths.h"

namespace qb {

namespace {

constexpr const char* kKeepsNone = "; this run keeps no history";

// A run killed while it appended a batch may leave the file ending inside
// a record. Every record this history writes ends with an empty line, so a
// file whose last record does not is cut back to the end of the record
// before it. Files that do not end in one of our records are left alone.
void CutTornRecord(const std::string& path) {
  const std::optional<std::string> text = ReadWholeFile(path);
  if (!text || text->empty()) return;
  const std::string& t = *text;
  if (t.size() >= 4 && t.compare(t.size() - 4, 4, "\r\n\r\n") == 0) return;
  const std::size_t boundary = t.rfind("\r\n\r\n");
  if (boundary == std::string::npos || t[boundary + 4] != '[') return;
  const std::size_t start = boundary + 4;  // the torn record's '['
  // Only a record section: "[" and up to 32 hex digits, cut anywhere.
  std::size_t i = start + 1;
  while (i < t.size() && i < start + 33 && std::isxdigit(static_cast<unsigned char>(t[i]))) ++i;
  if (i < t.size() && i < start + 33) return;
  if (i < t.size() && t[i] != ']') return;
  if (::truncate(path.c_str(), static_cast<off_t>(start)) != 0) return;
}

}  // namespace

TExtractionHistory::~TExtractionHistory() {
  Close();
}

std::string TExtractionHistory::HistoryPath(const std::string& relativePath) {
  return IncludeTrailingSlash(AppDataDir()) + relativePath;
}

TExtractionHistory::TDiskState TExtractionHistory::StatFile() const {
  TDiskState s;
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) return s;
  s.Exists = true;
  s.Dev = st.st_dev;
  s.Ino = st.st_ino;
  s.Size = static_cast<unsigned long long>(st.st_size);
  s.MtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return s;
}

bool TExtractionHistory::Lock() {
  if (lockFd_ < 0) {
    lockFd_ = ::open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (lockFd_ < 0) return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lockWaitMs_);
  for (;;) {
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void TExtractionHistory::Unlock() {
  if (lockFd_ >= 0) ::flock(lockFd_, LOCK_UN);
}

void TExtractionHistory::SwitchOff(const std::string& notice) {
  if (store_) store_->DiscardChanges();
  store_.reset();
  pending_.clear();
  batched_ = 0;
  if (lockFd_ >= 0) ::close(lockFd_);
  lockFd_ = -1;
  if (notice_.empty()) notice_ = notice;
}

bool TExtractionHistory::Open(const std::string& fullPath) {
  Close();
  notice_.clear();
  savedBefore_.clear();
  // The store keeps at most 255 characters of its name; a longer path would
  // name some other file, so such a history stays closed.
  if (fullPath.empty() || fullPath.size() > kIniMaxText) return false;
  // A directory that cannot be made leaves the history closed rather than
  // failing at the first record.
  const std::size_t slash = fullPath.rfind('/');
  if (slash != std::string::npos && slash > 0 && !ForceDirectories(fullPath.substr(0, slash)))
    return false;
  path_ = fullPath;
  if (!Lock()) {
    if (lockFd_ >= 0) SwitchOff("the history " + path_ + " is locked by another run" + kKeepsNone);
    return false;
  }
  try {
    CutTornRecord(fullPath);
    auto store = std::make_unique<TBiggerIniFile>(fullPath);
    disk_ = StatFile();
    Unlock();
    LoadSaved(*store);
    store_ = std::move(store);
    Apply([now = Now()](TBiggerIniFile& s) { s.WriteDateTime("Program", "LastStarted", now); });
  } catch (const std::exception&) {
    Unlock();
    store_.reset();
    return false;
  }
  return true;
}

// What earlier runs saved completely decides what may be skipped.
void TExtractionHistory::LoadSaved(TBiggerIniFile& store) {
  TStringList sections;
  store.ReadSections(sections);
  for (const std::string& s : sections)
    if (s.size() == 32 && store.ReadString(s, "Saved", "0") == "1") savedBefore_.insert(s);
}

bool TExtractionHistory::ReadSavedOnly(const std::string& fullPath) {
  Close();
  notice_.clear();
  savedBefore_.clear();
  if (fullPath.empty() || fullPath.size() > kIniMaxText) return false;
  // A file that is not there yet holds nothing saved; one that cannot be
  // read raises.
  try {
    TBiggerIniFile store(fullPath);
    LoadSaved(store);
  } catch (const std::exception&) {
    savedBefore_.clear();
    return false;
  }
  return true;
}

void TExtractionHistory::Apply(TChange change) {
  change(*store_);
  pending_.push_back(std::move(change));
}

bool TExtractionHistory::Flush() {
  if (!store_ || !store_->Modified()) {
    pending_.clear();
    batched_ = 0;
    return true;
  }
  if (!Lock()) {
    SwitchOff("the history " + path_ + " stayed locked by another run" + kKeepsNone);
    return false;
  }
  try {
    const TDiskState now = StatFile();
    if (!(now == disk_)) {
      // Another run wrote meanwhile: take its file and lay ours over it.
      auto fresh = std::make_unique<TBiggerIniFile>(path_);
      for (const TChange& c : pending_) c(*fresh);
      store_->DiscardChanges();
      store_ = std::move(fresh);
      disk_ = now;
    }
    store_->UpdateFile();
    disk_ = StatFile();
  } catch (const std::exception&) {
    Unlock();
    throw;
  }
  Unlock();
  pending_.clear();
  batched_ = 0;
  return true;
}

bool TExtractionHistory::BatchDue() {
  const auto now = std::chrono::steady_clock::now();
  if (batched_++ == 0) batchStart_ = now;
  return batched_ >= batchRecords_ || now - batchStart_ >= std::chrono::milliseconds(batchMs_);
}

void TExtractionHistory::Commit() {
  if (!store_) return;
  try {
    Flush();
  } catch (const std::exception& e) {
    SwitchOff("cannot write the history " + path_ + " (" + e.what() + ")" + kKeepsNone);
  }
}

std::string TExtractionHistory::RecordMessage(const std::string& keyText, TDateTime date,
                                              int attachments, bool writeDate, bool writeCount) {
  const std::string digest = MD5Text(keyText);
  if (!store_) return digest;
  Apply([=](TBiggerIniFile& s) {
    s.WriteBool(digest, "Saved", false);
    if (writeDate) s.WriteDateTime(digest, "Date", date);
    if (writeCount) s.WriteInteger(digest, "Attachments", attachments);
  });
  if (!BatchDue()) return digest;
  try {
    Flush();
  } catch (const std::exception& e) {
    SwitchOff("cannot write the history " + path_ + " (" + e.what() + ")" + kKeepsNone);
    throw;
  }
  return digest;
}

std::string TExtractionHistory::RecordOutcome(const std::string& keyText, TDateTime date,
                                              int attachments, bool allSaved) {
  const std::string digest = MD5Text(keyText);
  if (!store_) return digest;
  Apply([=](TBiggerIniFile& s) {
    s.WriteBool(digest, "Saved", allSaved);
    s.WriteDateTime(digest, "Date", date);
    s.WriteInteger(digest, "Attachments", attachments);
  });
  if (BatchDue()) Commit();
  return digest;
}

bool TExtractionHistory::SavedBefore(const std::string& keyText) const {
  return savedBefore_.count(MD5Text(keyText)) != 0;
}

void TExtractionHistory::Close() {
  if (store_) {
    try {
      Flush();
    } catch (const std::exception& e) {
      SwitchOff("cannot write the history " + path_ + " (" + e.what() + ")" + kKeepsNone);
    }
  }
  store_.reset();
  pending_.clear();
  if (lockFd_ >= 0) ::close(lockFd_);
  lockFd_ = -1;
}

}  // namespace qb
