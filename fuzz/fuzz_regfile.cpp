// The .reg reader: any bytes are either refused with a line number or
// imported; whatever was imported is written and read back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/keystore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  qb::TKeyStore store;
  try {
    store.ImportRegText(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const qb::ERegParseError& e) {
    if (e.Line() < 1) std::abort();
    return 0;
  }
  const std::string text = store.ToRegText();
  qb::TKeyStore copy;
  copy.ImportRegText(text);
  if (copy.ToRegText() != text) std::abort();
  return 0;
}
