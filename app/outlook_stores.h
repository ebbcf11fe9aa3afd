// Outlook's stores as the CLI opens them: the configured .pst files and those
// given on the command line, with the mail folder tree read from them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "outlook/automation.h"
#include "outlook/outlooklist.h"

namespace qb::cli {

class TOutlookStores {
 public:
  // Opens the stores and reads the folder tree; "" when that went well, else
  // the message to report. The stores stay open while this object lives.
  std::string Open(const std::vector<std::string>& pst);

  const TOutlookFolderList& FolderList() const { return fill_.FolderList(); }

 private:
  std::optional<ole::TScopedOutlookProvider> provider_;
  TOutlookTreeFill fill_;
};

}  // namespace qb::cli
