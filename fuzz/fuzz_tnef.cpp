// TNEF decoding on arbitrary bytes: never crash, never hang, never read
// outside the input. The files given are parts of the input (their bytes
// together never exceed it) and their names are UTF-8. Unpacking a
// winmail.dat in a message's list keeps every other attachment in place.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/tnefunpack.h"
#include "mime/tnef.h"
#include "platform/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const qb::TTnefContent content = qb::DecodeTnef(bytes);
  std::size_t total = 0;
  for (const qb::TTnefFile& f : content.Files) {
    total += f.Bytes.size();
    if (!qb::IsValidUtf8(f.Name)) std::abort();
  }
  if (total > size) std::abort();
  if (!qb::IsTnefStream(bytes) && !content.Files.empty()) std::abort();

  const auto streamed = [](const std::string& name, const std::string& b) {
    qb::TAttachmentToWrite a;
    a.FileName = name;
    a.Stream = [b](const qb::TWriteBytes& write) { return write(b.data(), b.size()); };
    return a;
  };
  std::vector<qb::TAttachmentToWrite> list = {
      streamed("a.txt", "a"), streamed("winmail.dat", bytes), streamed("z.txt", "z")};
  (void)qb::UnpackTnefAttachments(list);
  if (list.size() != 3 + content.Files.size() || list.front().FileName != "a.txt" ||
      list.back().FileName != "z.txt")
    std::abort();
  return 0;
}
