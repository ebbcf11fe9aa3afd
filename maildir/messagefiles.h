// The messages of one Maildir folder or one folder of .eml files, listed
// once when the folder is opened and read one at a time by number: what a
// run's cursor over such a folder needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "maildir/maildir.h"
#include "platform/errors.h"

namespace qb {

// The folder cannot be listed, or a message cannot be read: InOut when the
// file system failed or a file went away, InputDamaged when a file is not
// what a message file is (not a regular file, too large), Usage when the
// path is not a folder of the kind asked for.
class EMessageFileError : public EQuillboxError {
 public:
  EMessageFileError(TErrorKind kind, const std::string& what) : EQuillboxError(kind, what) {}
};

class TMessageFiles {
 public:
  // The messages of a Maildir folder (ListMaildirMessages). Throws
  // EMessageFileError when folder is not a Maildir folder.
  static TMessageFiles OfMaildir(const std::string& folder,
                                 std::uint64_t maxBytes = kMaxMessageFileBytes);
  // The .eml files of a directory (ListEmlFiles). Throws EMessageFileError
  // when dir is not a directory.
  static TMessageFiles OfEmlFolder(const std::string& dir,
                                   std::uint64_t maxBytes = kMaxMessageFileBytes);

  std::size_t Count() const { return entries_.size(); }
  const std::string& Path(std::size_t j) const { return entries_.at(j).Path; }

  // Reads message j: its history key (MaildirMessageKey) and its bytes. A
  // Maildir message renamed since the listing (new/ to cur/, other flags) is
  // read where it is now. Throws EMessageFileError when it is gone, is not
  // a regular file, is larger than the limit or cannot be read.
  void Read(std::size_t j, std::string& key, std::string& text) const;

 private:
  std::string folder_;
  bool maildir_ = false;
  std::uint64_t maxBytes_ = kMaxMessageFileBytes;
  std::vector<TMaildirEntry> entries_;
};

}  // namespace qb
