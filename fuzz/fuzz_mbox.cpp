// The mailbox reader on arbitrary bytes: it must end, hand out messages
// that together are no longer than the input, count what it hands out, and
// pass an oversized message without keeping it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mbox/mboxreader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;  // fmemopen wants a buffer; the unit tests read an empty file
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::FILE* f = ::fmemopen(bytes.data(), bytes.size(), "rb");
  if (!f) std::abort();
  qb::TMboxReader reader(256);
  reader.Open(f);
  qb::TMboxMessage m;
  std::size_t count = 0, total = 0;
  while (reader.Next(m)) {
    ++count;
    total += m.Text.size();
    if (m.Text.size() > 256 || (m.Oversized && !m.Text.empty())) std::abort();
    if (qb::MboxMessageKey(m.Text).size() != 37) std::abort();
  }
  if (total > bytes.size()) std::abort();
  reader.Rewind();
  if (reader.CountRemaining() != count) std::abort();
  return 0;
}
