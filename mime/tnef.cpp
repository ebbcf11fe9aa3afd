#include "mime/tnef.h"

#include <iconv.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/codepage.h"

// libytnef's headers define BYTE, WORD, DWORD and friends as macros: they
// come last, after everything else this file needs.
extern "C" {
#include <ytnef.h>
}

// libytnef reports trouble with printf and puts on standard output. Its
// archive is linked with those calls renamed to the functions below (see
// mime/CMakeLists.txt): the first error line becomes the damage note of the
// attachment being decoded, and nothing reaches standard output.
namespace {
thread_local std::string* gLibraryMessage = nullptr;

void NoteLibraryLine(const char* text) {
  if (!gLibraryMessage || !gLibraryMessage->empty() || !text) return;
  std::string line(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
    line.pop_back();
  if (line.rfind("ERROR", 0) == 0) *gLibraryMessage = line;
}
}  // namespace

static int NoteLibraryFormat(const char* format, va_list args) {
  char buf[512];
  const int n = std::vsnprintf(buf, sizeof buf, format, args);
  NoteLibraryLine(buf);
  return n;
}

extern "C" int qb_ytnef_printf_chk(int, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = NoteLibraryFormat(format, args);
  va_end(args);
  return n;
}

extern "C" int qb_ytnef_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = NoteLibraryFormat(format, args);
  va_end(args);
  return n;
}

extern "C" int qb_ytnef_puts(const char* text) {
  NoteLibraryLine(text);
  return 1;
}

extern "C" int qb_ytnef_putchar(int c) {
  return c;
}

namespace qb {

namespace {

constexpr std::uint32_t kSignature = 0x223E9F78;
constexpr std::uint8_t kLevelMessage = 1;
constexpr std::uint8_t kLevelAttachment = 2;
// An attached message is a TNEF stream inside the stream; this many levels
// are opened, deeper ones are kept as they are.
constexpr int kMaxDepth = 4;
// The object of PR_ATTACH_DATA_OBJ starts with the interface identifier.
constexpr std::size_t kObjectHeader = 16;

std::uint32_t Le32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

std::uint16_t Checksum(std::string_view data) {
  std::uint32_t sum = 0;
  for (char c : data) sum += static_cast<unsigned char>(c);
  return static_cast<std::uint16_t>(sum & 0xFFFF);
}

struct TAttribute {
  std::uint8_t Level;
  std::uint32_t Id;
  std::string_view Data;
};

// The attributes of one attachment, from its rendering attribute on.
using TGroup = std::vector<TAttribute>;

void NoteDamage(std::string& damage, const std::string& what) {
  if (damage.empty()) damage = what;
}

// An iconv name for a Windows code page number; "" for none known.
std::string CodePageName(std::uint32_t cp) {
  if (cp == 0) return "";
  if (cp == 65001) return "UTF-8";
  if (cp == 20127) return "ASCII";
  if (cp == 20866) return "KOI8-R";
  if (cp == 21866) return "KOI8-U";
  if (cp >= 28591 && cp <= 28606) return "ISO-8859-" + std::to_string(cp - 28590);
  if (cp == 50220 || cp == 50221 || cp == 50222) return "ISO-2022-JP";
  if (cp == 51932) return "EUC-JP";
  if (cp == 51949) return "EUC-KR";
  if (cp == 936 || cp == 54936) return "GB18030";
  return "CP" + std::to_string(cp);
}

std::optional<std::string> Iconv(const std::string& from, std::string_view bytes) {
  iconv_t cd = iconv_open("UTF-8", from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(bytes.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char* o = out.data();
  std::size_t outLeft = out.size();
  const std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

// An 8-bit name: up to its first NUL; valid UTF-8 as it is, else from the
// stream's code page, else Windows-1252.
std::string EightBitName(std::string_view raw, const std::string& codePage) {
  raw = raw.substr(0, raw.find('\0'));
  if (IsValidUtf8(raw)) return std::string(raw);
  if (!codePage.empty() && codePage != "CP1252")
    if (std::optional<std::string> text = Iconv(codePage, raw)) return *text;
  return Cp1252ToUtf8(raw);
}

std::string WideName(std::string_view raw) {
  std::size_t end = 0;
  while (end + 1 < raw.size() && (raw[end] != '\0' || raw[end + 1] != '\0')) end += 2;
  return Utf16LeToUtf8(raw.substr(0, end));
}

std::string_view View(const variableLength* v) {
  if (v == MAPI_UNDEFINED || v == nullptr || v->data == nullptr || v->size <= 0) return {};
  return {reinterpret_cast<const char*>(v->data), static_cast<std::size_t>(v->size)};
}

variableLength* Property(Attachment* a, unsigned type, unsigned id) {
  return MAPIFindProperty(&a->MAPI, PROP_TAG(type, id));
}

std::string AttachmentName(Attachment* a, const std::string& codePage) {
  std::string name = WideName(View(Property(a, PT_UNICODE, PR_ATTACH_LONG_FILENAME)));
  if (name.empty())
    name = EightBitName(View(Property(a, PT_STRING8, PR_ATTACH_LONG_FILENAME)), codePage);
  if (name.empty()) name = EightBitName(View(&a->Title), codePage);
  if (name.empty()) name = WideName(View(Property(a, PT_UNICODE, PR_DISPLAY_NAME)));
  if (name.empty()) name = EightBitName(View(Property(a, PT_STRING8, PR_DISPLAY_NAME)), codePage);
  return name;
}

void Decode(std::string_view bytes, int depth, TTnefContent& out);

// Hands one attachment's attributes to libytnef as a stream of their own.
// Without its MAPI properties when withProperties is false. Adds the files
// it gives to out; false when libytnef refused the stream (message says
// why, when it said).
bool DecodeGroup(std::string_view key, const TGroup& group, bool withProperties,
                 const std::string& codePage, int depth, TTnefContent& out, std::string& message) {
  std::string stream;
  std::size_t size = 6;
  for (const TAttribute& a : group) size += 11 + a.Data.size();
  stream.reserve(size);
  const auto put32 = [&stream](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) stream.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  put32(kSignature);
  stream.append(key);
  bool hasData = false;
  std::set<std::uint32_t> seen;
  for (const TAttribute& a : group) {
    if (!withProperties && a.Id == attAttachment) continue;
    // An attribute given twice: the first counts (libytnef would lose the
    // memory of the first to the second).
    if (!seen.insert(a.Id).second) continue;
    if (a.Id == attAttachData) hasData = true;
    stream.push_back(static_cast<char>(a.Level));
    put32(a.Id);
    put32(static_cast<std::uint32_t>(a.Data.size()));
    stream.append(a.Data);
    const std::uint16_t sum = Checksum(a.Data);
    stream.push_back(static_cast<char>(sum & 0xFF));
    stream.push_back(static_cast<char>(sum >> 8));
  }

  TNEFStruct tnef;
  TNEFInitialize(&tnef);
  tnef.Debug = 0;
  tnef.attachmentSize = static_cast<int>(std::min<std::size_t>(stream.size(), 0x7FFFFFFF));
  gLibraryMessage = &message;
  const int rc = TNEFParseMemory(reinterpret_cast<BYTE*>(stream.data()),
                                 static_cast<long>(stream.size()), &tnef);
  gLibraryMessage = nullptr;
  if (rc != 0) {
    TNEFFree(&tnef);
    return false;
  }
  for (Attachment* a = tnef.starting_attach.next; a; a = a->next) {
    TTnefFile file;
    file.Name = AttachmentName(a, codePage);
    std::string_view data = View(&a->FileData);
    std::string_view object = View(Property(a, PT_OBJECT, PR_ATTACH_DATA_OBJ));
    if (object.size() > kObjectHeader) {
      object.remove_prefix(kObjectHeader);
      // An attached message: its data is only a note that says so, and its
      // own files stand in its place.
      if (IsTnefStream(object) && depth + 1 < kMaxDepth) {
        Decode(object, depth + 1, out);
        continue;
      }
      if (data.empty()) data = object;
    }
    if (data.empty() && !hasData) continue;
    file.Bytes.assign(data);
    out.Files.push_back(std::move(file));
  }
  TNEFFree(&tnef);
  return true;
}

void Decode(std::string_view bytes, int depth, TTnefContent& out) {
  if (!IsTnefStream(bytes)) {
    NoteDamage(out.Damage, "the stream does not begin with the TNEF signature");
    return;
  }
  if (bytes.size() < 6) {
    NoteDamage(out.Damage, "the stream is cut short");
    return;
  }
  const std::string_view key = bytes.substr(4, 2);
  std::vector<TGroup> groups;
  std::string codePage;
  std::size_t at = 6;
  while (at < bytes.size()) {
    if (bytes.size() - at < 9) {
      NoteDamage(out.Damage, "the stream is cut short");
      break;
    }
    const std::uint8_t level = static_cast<std::uint8_t>(bytes[at]);
    if (level != kLevelMessage && level != kLevelAttachment) {
      NoteDamage(out.Damage, "bytes follow that are not a TNEF attribute");
      break;
    }
    const std::uint32_t id = Le32(bytes, at + 1);
    const std::uint32_t length = Le32(bytes, at + 5);
    if (length > bytes.size() - at - 9 || bytes.size() - at - 9 - length < 2) {
      NoteDamage(out.Damage, "the stream is cut short");
      break;
    }
    const std::string_view data = bytes.substr(at + 9, length);
    const std::uint16_t sum =
        static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at + 9 + length]) |
                                   static_cast<unsigned char>(bytes[at + 10 + length]) << 8);
    if (sum != Checksum(data)) NoteDamage(out.Damage, "an attribute's checksum does not match");
    at += 11 + length;
    if (level == kLevelMessage) {
      if (id == attOemCodepage && data.size() >= 4) codePage = CodePageName(Le32(data, 0));
      continue;
    }
    if (id == attAttachRenddata) groups.emplace_back();
    // Attachment attributes before the first rendering belong to none.
    if (!groups.empty()) groups.back().push_back({level, id, data});
  }
  for (const TGroup& group : groups) {
    std::string message;
    if (DecodeGroup(key, group, true, codePage, depth, out, message)) continue;
    std::string second;
    if (DecodeGroup(key, group, false, codePage, depth, out, second)) {
      NoteDamage(out.Damage, "an attachment's properties cannot be read" +
                                 (message.empty() ? std::string() : " (" + message + ")"));
      continue;
    }
    NoteDamage(out.Damage, "an attachment cannot be read" +
                               (second.empty() ? std::string() : " (" + second + ")"));
  }
}

}  // namespace

bool IsTnefStream(std::string_view bytes) {
  return bytes.size() >= 4 && Le32(bytes, 0) == kSignature;
}

TTnefContent DecodeTnef(std::string_view bytes) {
  TTnefContent out;
  Decode(bytes, 0, out);
  return out;
}

}  // namespace qb
