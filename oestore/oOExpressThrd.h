// The Outlook Express extraction worker: the shared run over the chosen
// folders, with the folder's message list read from its .dbx index and each
// message read from its data blocks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/worker.h"
#include "oestore/dbxreader.h"

namespace qb {

class TOEExtracter : public TExtractionWorker {
 public:
  explicit TOEExtracter(const TExtractionJob& job);
  ~TOEExtracter() override;

 protected:
  std::size_t LoadMessageList(const TJobFolder& folder) override;
  void ReleaseMessageList() override;
  // Pauses, builds the message key text, reads the raw text and hands both to
  // ProcessMessageText; a text that cannot be read is logged and skipped.
  void ProcessMessage(std::size_t folderIndex, const TJobFolder& folder, std::size_t j,
                      std::size_t count) override;

  // Reads the folder file's index into list (records read before an error
  // stay in it).
  virtual void ReadFolderIndex(const TJobFolder& folder, TDbxIndexList& list);
  // The work on one message once its key text and raw text are in hand.
  // Adds to MessagesWithFiles and FilesExtracted as the message warrants.
  // Does nothing here; the full processing overrides it.
  virtual void ProcessMessageText(std::size_t folderIndex, const TJobFolder& folder, std::size_t j,
                                  std::size_t count, const std::string& keyText,
                                  const std::string& rawText);

  // The message list read last.
  std::vector<Toe5_MessageInfo> Messages;
};

}  // namespace qb
