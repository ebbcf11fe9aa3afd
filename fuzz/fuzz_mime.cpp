// Raw message parsing on arbitrary bytes: never crash, never hang, and leave
// no temporary file behind.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "mime/MoxMsg.h"
#include "mime/mimehelpers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  qb::TMoxMsg msg;
  msg.LoadRawMail(bytes);
  try {
    msg.ParseRawMail();
  } catch (const std::runtime_error&) {
    // "Oops..." from the uuencode decoder, or a temporary file that could
    // not be made: both are reported to the caller by design.
  }
  // The helpers that see header text directly.
  std::string_view head = bytes.substr(0, 4096);
  (void)qb::DecodeHeaderWords(head);
  (void)qb::NormalizeAddressList(head);
  qb::TDateTime date;
  std::string zone;
  qb::ParseDate(head, date, zone);
  return 0;
}
