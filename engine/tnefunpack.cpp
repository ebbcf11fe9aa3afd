#include "engine/tnefunpack.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "mime/mimehelpers.h"
#include "mime/tnef.h"
#include "platform/text.h"

namespace qb {

namespace {

bool DeclaredTnef(const TAttachmentToWrite& a) {
  std::string type = UpperCase(Trim(a.MimeType));
  type = type.substr(0, type.find(';'));
  type = Trim(type);
  return type == "APPLICATION/MS-TNEF" || type == "APPLICATION/VND.MS-TNEF";
}

// The attachment's bytes, or nothing when it cannot be read.
std::optional<std::string> ReadAll(const TAttachmentToWrite& a) {
  std::string bytes;
  try {
    if (a.Stream) {
      const bool ok = a.Stream([&bytes](const char* data, std::size_t size) {
        bytes.append(data, size);
        return true;
      });
      if (!ok) return std::nullopt;
      return bytes;
    }
    if (!a.Save) return std::nullopt;
    const std::string path = UniqueTempFileName("tnef");
    bool ok = false;
    try {
      ok = a.Save(path);
      if (ok) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        ok = !in.bad();
      }
    } catch (...) {
      ok = false;
    }
    std::remove(path.c_str());
    if (!ok) return std::nullopt;
    return bytes;
  } catch (...) {
    return std::nullopt;
  }
}

// Hands part of what one shared buffer holds.
std::function<bool(const TWriteBytes&)> StreamOf(std::shared_ptr<const std::string> bytes) {
  return [bytes = std::move(bytes)](const TWriteBytes& write) {
    return write(bytes->data(), bytes->size());
  };
}

}  // namespace

bool MayBeTnef(const TAttachmentToWrite& attachment) {
  if (DeclaredTnef(attachment)) return true;
  const std::string& name = attachment.FileName;
  const std::size_t sep = name.find_last_of("\\/:");
  const std::string tail = sep == std::string::npos ? name : name.substr(sep + 1);
  return LowerCase(Trim(tail)) == "winmail.dat";
}

std::vector<TTnefNote> UnpackTnefAttachments(std::vector<TAttachmentToWrite>& attachments) {
  std::vector<TTnefNote> notes;
  for (std::size_t i = 0; i < attachments.size(); ++i) {
    if (!MayBeTnef(attachments[i])) continue;
    std::optional<std::string> read = ReadAll(attachments[i]);
    if (!read) continue;
    auto bytes = std::make_shared<const std::string>(std::move(*read));
    TAttachmentToWrite& tnef = attachments[i];
    // Written from what was read: not decoded or saved a second time.
    tnef.Save = {};
    tnef.Stream = StreamOf(bytes);
    if (!IsTnefStream(*bytes)) {
      if (DeclaredTnef(tnef))
        notes.push_back({tnef.FileName, "the stream does not begin with the TNEF signature"});
      continue;
    }
    std::vector<TAttachmentToWrite> carried;
    try {
      TTnefContent content = DecodeTnef(*bytes);
      if (!content.Damage.empty()) notes.push_back({tnef.FileName, content.Damage});
      carried.reserve(content.Files.size());
      for (TTnefFile& f : content.Files) {
        TAttachmentToWrite w;
        w.FileName = std::move(f.Name);
        w.Stream = StreamOf(std::make_shared<const std::string>(std::move(f.Bytes)));
        carried.push_back(std::move(w));
      }
    } catch (const std::bad_alloc&) {
      // Too large to unpack here: the winmail.dat is still written.
      carried.clear();
      notes.push_back({attachments[i].FileName, "the stream is too large to unpack"});
      continue;
    }
    attachments.insert(attachments.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                       std::make_move_iterator(carried.begin()),
                       std::make_move_iterator(carried.end()));
    // The carried files are not looked at again (a winmail.dat inside one
    // stays a file).
    i += carried.size();
  }
  return notes;
}

std::string TnefDamageLine(const TTnefNote& note, const std::string& messageNumber,
                           const std::string& folder) {
  return "Damaged TNEF Attachment " + note.FileName + " of Message(" + messageNumber + ") in " +
         folder + " - " + note.Damage;
}

}  // namespace qb
