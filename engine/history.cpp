#include "engine/history.h"

#include "engine/oCalcMD5.h"
#include "platform/paths.h"

namespace qb {

TExtractionHistory::~TExtractionHistory() {
  Close();
}

std::string TExtractionHistory::HistoryPath(const std::string& relativePath) {
  return IncludeTrailingSlash(AppDataDir()) + relativePath;
}

bool TExtractionHistory::Open(const std::string& fullPath) {
  Close();
  // The store keeps at most 255 characters of its name; a longer path would
  // name some other file, so such a history stays closed.
  if (fullPath.empty() || fullPath.size() > kIniMaxText) return false;
  // A directory that cannot be made leaves the history closed rather than
  // failing at the first record.
  const std::size_t slash = fullPath.rfind('/');
  if (slash != std::string::npos && slash > 0 && !ForceDirectories(fullPath.substr(0, slash)))
    return false;
  try {
    auto store = std::make_unique<TBiggerIniFile>(fullPath);
    store->WriteDateTime("Program", "LastStarted", Now());
    store_ = std::move(store);
  } catch (...) {
    store_.reset();
    return false;
  }
  return true;
}

std::string TExtractionHistory::RecordMessage(const std::string& keyText, TDateTime date,
                                              int attachments, bool writeDate, bool writeCount) {
  const std::string digest = MD5Text(keyText);
  if (!store_) return digest;
  store_->WriteBool(digest, "Saved", false);
  if (writeDate) store_->WriteDateTime(digest, "Date", date);
  if (writeCount) store_->WriteInteger(digest, "Attachments", attachments);
  store_->UpdateFile();
  return digest;
}

void TExtractionHistory::Close() {
  if (!store_) return;
  try {
    store_->UpdateFile();
  } catch (...) {
    // Closing happens while the worker goes away; there is no one to tell.
  }
  store_.reset();
}

}  // namespace qb
