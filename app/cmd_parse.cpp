// quillbox-cli parse MESSAGE_FILE: parses one raw message as an extraction
// run would and prints its fields and attachments.
#include <array>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/commands.h"
#include "mime/MoxMsg.h"
#include "platform/datetime.h"
#include "platform/i18n.h"
#include "platform/paths.h"
#include "platform/sha256.h"

namespace {

void PrintMessage(const qb::TMoxMsg& msg) {
  using qb::cli::OutRecord;
  OutRecord({"From", msg.From});
  OutRecord({"FromAddress", msg.FromAddress});
  OutRecord({"Subject", msg.Subject});
  OutRecord({"Date", msg.Date == 0 ? std::string("0") : qb::FormatIsoDateTime(msg.Date)});
  OutRecord({"Text-Lines", std::to_string(msg.Text.size())});
  OutRecord({"HTML-Lines", std::to_string(msg.HTML.size())});
  for (int i = 0; i < msg.Attachments.Count(); ++i) {
    const qb::TAttachedFile& a = msg.Attachments[i];
    OutRecord({"Attachment", std::to_string(a.Bytes().size()), qb::Sha256Hex(a.Bytes()), a.FileName,
               a.ContentType});
  }
}

int RunParse(const std::vector<std::string>& args) {
  if (args.size() != 1)
    return qb::cli::UsageError("parse", qb::Translate("expected one MESSAGE_FILE"));
  auto bytes = qb::ReadWholeFile(args[0]);
  if (!bytes) return qb::cli::Fail(qb::Substitute(qb::Translate("cannot read '%1'"), {args[0]}));
  qb::TMoxMsg msg;
  msg.ClearRawMail();
  msg.LoadRawMail(*bytes);
  bytes.reset();
  try {
    msg.ParseRawMail();
  } catch (const std::exception& e) {
    PrintMessage(msg);
    qb::cli::OutRecord({"Error", e.what()});
    return qb::cli::kFailure;
  }
  PrintMessage(msg);
  return qb::cli::kOk;
}

using qb::N_;
const qb::cli::Register kParse(
    {"parse", N_("MESSAGE_FILE"),
     N_("parse one raw message file and list its fields and attachments"), RunParse});

}  // namespace
