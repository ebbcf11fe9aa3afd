#include "maildir/messagefiles.h"

#include <sys/stat.h>

namespace qb {

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TMessageFiles TMessageFiles::OfMaildir(const std::string& folder, std::uint64_t maxBytes) {
  if (!IsMaildirFolder(folder))
    throw EMessageFileError(TErrorKind::Usage,
                            "not a Maildir folder (no cur/ and new/): " + folder);
  TMessageFiles files;
  files.folder_ = folder;
  files.maildir_ = true;
  files.maxBytes_ = maxBytes;
  files.entries_ = ListMaildirMessages(folder);
  return files;
}

TMessageFiles TMessageFiles::OfEmlFolder(const std::string& dir, std::uint64_t maxBytes) {
  if (!IsDirectory(dir))
    throw EMessageFileError(TErrorKind::InOut, "cannot open the folder " + dir);
  TMessageFiles files;
  files.folder_ = dir;
  files.maxBytes_ = maxBytes;
  for (std::string& path : ListEmlFiles(dir)) {
    std::string name = path.substr(path.rfind('/') + 1);
    files.entries_.push_back({std::move(path), std::move(name), false});
  }
  return files;
}

void TMessageFiles::Read(std::size_t j, std::string& key, std::string& text) const {
  const TMaildirEntry& entry = entries_.at(j);
  std::string error;
  TReadStatus status = ReadMessageFile(entry.Path, text, maxBytes_, &error);
  if (status == TReadStatus::Missing && maildir_)
    if (const std::string now = FindMovedMessage(folder_, entry); !now.empty())
      status = ReadMessageFile(now, text, maxBytes_, &error);
  switch (status) {
    case TReadStatus::Ok:
      key = MaildirMessageKey(text);
      return;
    case TReadStatus::Oversized:
      throw EMessageFileError(TErrorKind::InputDamaged, "the message is too large to be read");
    case TReadStatus::Missing:
      throw EMessageFileError(TErrorKind::InOut, "the message is gone: " + entry.Path);
    case TReadStatus::NotRegular:
      throw EMessageFileError(TErrorKind::InputDamaged, "not a regular file: " + entry.Path);
    case TReadStatus::Failed:
      break;
  }
  throw EMessageFileError(TErrorKind::InOut, "cannot read " + entry.Path + ": " + error);
}

}  // namespace qb
