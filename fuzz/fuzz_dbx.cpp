// The .dbx reader over arbitrary bytes: the index in both modes, then the
// text and the dump of every message the index names.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "oestore/dbxreader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view image(reinterpret_cast<const char*>(data), size);
  qb::TDbxIndexList folders;
  qb::LoadDbxIndexFromImage(image, true, &folders);
  qb::TDbxIndexList messages;
  qb::LoadDbxIndexFromImage(image, false, &messages);
  int left = 64;
  for (const qb::TDbxRecord& r : messages) {
    if (left-- == 0) break;
    const auto& m = std::get<qb::Toe5_MessageInfo>(r);
    std::string text, dump;
    qb::LoadDbxMessageTextFromImage(image, m.MessageDataPos, text);
    qb::DumpDbxObjectFromImage(image, m.MessageDataPos, dump);
    qb::DumpDbxObjectFromImage(image, m.ObjectPos, dump);
    if (text.size() > size) __builtin_trap();  // never more text than the file holds
  }
  return 0;
}
