// One message decoded from its raw RFC 822 text, as the extraction run reads
// it: its date, subject and sender, its attachments (decoded only when
// written), the bodies whose links may be downloaded, and the parsed message
// for the address collecting. The run sees no more of the message model.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/datetime.h"

namespace qb {

class TMoxMsg;

class TDecodedMessage {
 public:
  using TByteSink = std::function<bool(const char* data, std::size_t size)>;

  TDecodedMessage();
  ~TDecodedMessage();
  TDecodedMessage(const TDecodedMessage&) = delete;
  TDecodedMessage& operator=(const TDecodedMessage&) = delete;

  TDateTime Date() const;
  const std::string& Subject() const;
  // The From address.
  const std::string& Sender() const;
  // Every attachment in collection order.
  std::size_t AttachmentCount() const;
  const std::string& AttachmentName(std::size_t k) const;
  // The content type its part declared, upper case ("" when none).
  const std::string& AttachmentType(std::size_t k) const;
  // Decodes attachment k into sink, in pieces; false when sink refused.
  bool WriteAttachment(std::size_t k, const TByteSink& sink) const;
  // The HTML body's text, then the plain text's.
  std::vector<std::string> LinkBodies() const;
  const TMoxMsg& Message() const { return *msg_; }

 private:
  friend bool DecodeRawMessage(std::string&& raw, TDecodedMessage& out);
  std::unique_ptr<TMoxMsg> msg_;
};

// Takes raw over and parses it into out; false when the text cannot be
// loaded (out is then empty). A parse error propagates.
bool DecodeRawMessage(std::string&& raw, TDecodedMessage& out);

}  // namespace qb
