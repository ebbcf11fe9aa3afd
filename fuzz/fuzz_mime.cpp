// Raw message parsing on arbitrary bytes: never crash, never hang, and leave
// no temporary file behind. A message whose text is taken over must write
// the attachments that decoding at once gives. The chunked decoders must
// give what the whole-buffer ones give, wherever the chunks are cut.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include "mime/MoxMsg.h"
#include "mime/base64stream.h"
#include "mime/headerparams.h"
#include "mime/mimehelpers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  qb::TMoxMsg msg, later;
  // Lines loaded into RawMail have lost their line ends: text attachments
  // are compared as the old rule joins them.
  msg.ParserOptions.TextAttachmentsKeepBytes = false;
  later.ParserOptions.TextAttachmentsKeepBytes = false;
  later.ParserOptions.BadUuencodeLosesOnlyItsFile = false;
  msg.LoadRawMail(bytes);
  later.TakeRawText(std::string(bytes));
  const auto parses = [](qb::TMoxMsg& m) {
    try {
      m.ParseRawMail();
      return true;
    } catch (const std::runtime_error&) {
      // "Oops..." from the uuencode decoder, or a temporary file that could
      // not be made: both are reported to the caller by design.
      return false;
    }
  };
  const bool parsed = parses(msg);
  if (parses(later) != parsed) std::abort();
  if (parsed) {
    if (later.Attachments.Count() != msg.Attachments.Count()) std::abort();
    for (int i = 0; i < msg.Attachments.Count(); ++i) {
      std::string written;
      later.Attachments[i].WriteDecoded([&](const char* d, std::size_t n) {
        written.append(d, n);
        return true;
      });
      // The eager decoding may have stood a virus report in (no temporary
      // file could be read back); the deferred one has no file to lose.
      if (msg.Attachments[i].FileName != qb::TAttachedFile::kVirusReportName &&
          written != msg.Attachments[i].Bytes())
        std::abort();
    }
  }
  // The helpers that see header text directly.
  std::string_view head = bytes.substr(0, 4096);
  (void)qb::DecodeHeaderWords(head);
  (void)qb::DecodeHeaderWords(head, qb::TMimeParserOptions::Default());
  (void)qb::NormalizeAddressList(head);
  qb::TDateTime date;
  std::string zone;
  qb::ParseDate(head, date, zone);
  (void)qb::FileNameParameter("FILENAME", head, qb::TMimeParserOptions::Default());

  // Chunk sizes from the first byte: 1 to 16.
  const std::size_t chunk = size ? (data[0] & 15) + 1 : 1;
  qb::TBase64Decoder b64, rfc(true);
  std::string b64out, rfcout;
  qb::TQuotedPrintableDecoder qp;
  std::string qpout;
  for (std::size_t i = 0; i < bytes.size(); i += chunk) {
    std::string_view piece = bytes.substr(i, chunk);
    std::string buf(qb::TBase64Decoder::MaxDecodedSize(piece.size()), '\0');
    buf.resize(
        b64.Decode(piece.data(), piece.size(), reinterpret_cast<unsigned char*>(buf.data())));
    b64out += buf;
    buf.assign(qb::TBase64Decoder::MaxDecodedSize(piece.size()), '\0');
    buf.resize(
        rfc.Decode(piece.data(), piece.size(), reinterpret_cast<unsigned char*>(buf.data())));
    rfcout += buf;
    buf.assign(piece.size(), '\0');
    buf.resize(qp.Decode(piece.data(), piece.size(), buf.data()));
    qpout += buf;
  }
  qp.Finish();
  unsigned char tail[4];
  rfcout.append(reinterpret_cast<char*>(tail), rfc.Finish(tail));
  if (b64out != qb::Base64Decode(bytes)) std::abort();
  if (rfcout != qb::Base64Decode(bytes, true)) std::abort();
  if (qpout != qb::DecodeQuotedPrintableCopy(bytes)) std::abort();
  return 0;
}
