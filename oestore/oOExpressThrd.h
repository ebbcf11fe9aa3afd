// The Outlook Express extraction worker: the shared run (engine/worker.h)
// over the chosen folders, with the folder's message list read from its
// .dbx index and each message read from its data blocks and parsed.
//
// Failures stay with the message they belong to: a message whose text
// cannot be read, or whose parsing, recording, naming or download raises,
// is logged as "Error opening Messages (" + j + ") in " + file and the run
// goes on with the next one. A history file that cannot be written is
// switched off for the rest of the run.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/worker.h"
#include "oestore/dbxreader.h"
#include "web/linkdownload.h"

namespace qb {

class TOEExtracter : public TExtractionWorker {
 public:
  // Opens the history "Quillbox/OE/OEMailData.ini" below the application
  // data folder. linkOptions configure the download of linked files (tests
  // put their own URL list and fetcher there).
  explicit TOEExtracter(const TExtractionJob& job, TLinkDownloadOptions linkOptions = {});
  ~TOEExtracter() override;

  // The message key text made of a dump: the dump is built from the stored
  // bytes one for one, so the 8-bit text in the system code page is the
  // dump's own bytes.
  static std::string KeyTextOfDump(const std::string& dump) { return dump; }

 protected:
  std::size_t LoadMessageList(const TJobFolder& folder) override;
  void ReleaseMessageList() override;
  // What the reader skipped in the folder file: a header that announces
  // more messages than the index holds, texts cut short or missing.
  TFolderDamage FolderDamage() const override;
  // Pauses, builds the message key text, reads the raw text and hands both to
  // ProcessMessageText; a text that cannot be read, and any error raised
  // while the message is handled, is logged and the message skipped.
  void ProcessMessage(std::size_t folderIndex, const TJobFolder& folder, std::size_t j,
                      std::size_t count) override;
  // The folder file and its list are the reading thread's alone while it
  // runs. A subclass that replaces ProcessMessageText, which only the run
  // without reading ahead takes, returns false.
  bool CanPrepareAhead() const override { return true; }
  // The key text and raw text of ProcessMessage, read on the reading thread.
  void PrepareMessage(const TJobFolder& folder, std::size_t j, TPreparedMessage& item) override;

  // Reads the folder file's index into list (records read before an error
  // stay in it).
  virtual void ReadFolderIndex(const TJobFolder& folder, TDbxIndexList& list);
  // The work on one message once its key text and raw text are in hand:
  // the shared steps with the text parsed as the message, which may take
  // rawText over. Errors propagate to ProcessMessage.
  virtual void ProcessMessageText(std::size_t folderIndex, const TJobFolder& folder, std::size_t j,
                                  std::size_t count, const std::string& keyText,
                                  std::string& rawText);

  // The message list read last.
  std::vector<Toe5_MessageInfo> Messages;

 private:
  // Message j's key text and raw text, read from the folder file (opened
  // again when it was not open); raises when they cannot be read.
  void ReadMessage(const TJobFolder& folder, std::size_t j, std::string& keyText,
                   std::string& rawText);

  // The folder file of that list, open until the list is released.
  std::unique_ptr<TDbxFile> file_;
};

}  // namespace qb
