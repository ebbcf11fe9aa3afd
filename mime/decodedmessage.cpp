#include "mime/decodedmessage.h"

#include <exception>
#include <new>

#include "mime/MoxMsg.h"
#include "mime/mimehelpers.h"

namespace qb {

TDecodedMessage::TDecodedMessage() : msg_(std::make_unique<TMoxMsg>()) {}
TDecodedMessage::~TDecodedMessage() = default;

TDateTime TDecodedMessage::Date() const {
  return msg_->Date;
}
const std::string& TDecodedMessage::Subject() const {
  return msg_->Subject;
}
const std::string& TDecodedMessage::Sender() const {
  return msg_->FromAddress;
}
std::size_t TDecodedMessage::AttachmentCount() const {
  return static_cast<std::size_t>(msg_->Attachments.Count());
}
const std::string& TDecodedMessage::AttachmentName(std::size_t k) const {
  return msg_->Attachments[static_cast<int>(k)].FileName;
}
const std::string& TDecodedMessage::AttachmentType(std::size_t k) const {
  return msg_->Attachments[static_cast<int>(k)].PartType;
}
bool TDecodedMessage::WriteAttachment(std::size_t k, const TByteSink& sink) const {
  return msg_->Attachments[static_cast<int>(k)].WriteDecoded(sink);
}
std::vector<std::string> TDecodedMessage::LinkBodies() const {
  return {JoinLines(msg_->HTML), msg_->TextBody()};
}

bool DecodeRawMessage(std::string&& raw, TDecodedMessage& out) {
  TMoxMsg& msg = *out.msg_;
  msg.ClearRawMail();
  try {
    msg.TakeRawText(std::move(raw));
  } catch (const std::bad_alloc&) {
    throw;  // ends the run: nothing after it could be read either
  } catch (const std::exception&) {
    return false;
  }
  msg.ClearRawMailAfterParse = true;
  msg.ParseRawMail();
  return true;
}

}  // namespace qb
