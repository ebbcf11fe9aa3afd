// The messages of one Maildir folder or one folder of .eml files, listed
// once when the folder is opened and read one at a time by number: what a
// run's cursor over such a folder needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "maildir/maildir.h"

namespace qb {

// The folder cannot be listed, or a message cannot be read.
class EMessageFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
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
