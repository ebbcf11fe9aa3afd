#include "platform/keystore.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <unordered_map>
#include <utility>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace qb {

// ---------------------------------------------------------------------------
// The tree

struct TKeyStore::TKey {
  std::string Name;  // as first written
  // Subkeys by upper-cased name, which is also their enumeration order.
  std::map<std::string, std::unique_ptr<TKey>> Subkeys;
  // Values in creation order, and the same by upper-cased name.
  std::list<TRegValue> Values;
  std::unordered_map<std::string, std::list<TRegValue>::iterator> Index;
};

namespace {

using TKey = TKeyStore::TKey;

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kRootName = "HKEY_CURRENT_USER";

// Splits "A\B\\C" into its non-empty parts. nullopt when a part or the
// depth is beyond the registry's limits.
std::optional<std::vector<std::string_view>> SplitKey(std::string_view key) {
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos <= key.size()) {
    size_t next = key.find('\\', pos);
    if (next == std::string_view::npos) next = key.size();
    if (next > pos) {
      std::string_view part = key.substr(pos, next - pos);
      if (part.size() > kMaxKeyNameLength || parts.size() >= kMaxKeyDepth) return std::nullopt;
      parts.push_back(part);
    }
    pos = next + 1;
  }
  return parts;
}

std::vector<std::string_view> SplitKeyOrThrow(std::string_view key) {
  // A line break would end the key's line in the file.
  if (key.find_first_of("\r\n") != std::string_view::npos)
    throw EKeyStoreError("Key name with a line break: \"" + std::string(key.substr(0, 80)) + "\"");
  auto parts = SplitKey(key);
  if (!parts)
    throw EKeyStoreError("Key name too long or too deep: \"" + std::string(key.substr(0, 80)) +
                         "\"");
  return *parts;
}

const TKey* FindKey(const TKey& root, std::string_view key) {
  auto parts = SplitKey(key);
  if (!parts) return nullptr;
  const TKey* k = &root;
  for (std::string_view part : *parts) {
    auto it = k->Subkeys.find(UpperCase(part));
    if (it == k->Subkeys.end()) return nullptr;
    k = it->second.get();
  }
  return k;
}

TKey* FindKey(TKey& root, std::string_view key) {
  return const_cast<TKey*>(FindKey(static_cast<const TKey&>(root), key));
}

// Returns the key and whether anything was created.
std::pair<TKey*, bool> MakeKey(TKey& root, const std::vector<std::string_view>& parts) {
  TKey* k = &root;
  bool created = false;
  for (std::string_view part : parts) {
    auto [it, inserted] = k->Subkeys.try_emplace(UpperCase(part));
    if (inserted) {
      it->second = std::make_unique<TKey>();
      it->second->Name = std::string(part);
      created = true;
    }
    k = it->second.get();
  }
  return {k, created};
}

const TRegValue* FindValue(const TKey& key, std::string_view name) {
  auto it = key.Index.find(UpperCase(name));
  return it == key.Index.end() ? nullptr : &*it->second;
}

// Creates or replaces; true when the stored value changed.
bool SetValue(TKey& key, std::string_view name, const TRegValue& value) {
  if (name.size() > kMaxValueNameLength)
    throw EKeyStoreError("Value name longer than 16383 characters");
  std::string folded = UpperCase(name);
  auto it = key.Index.find(folded);
  if (it != key.Index.end()) {
    TRegValue& old = *it->second;
    if (old.Type == value.Type && old.Data == value.Data && old.Dword == value.Dword) return false;
    old.Type = value.Type;
    old.Data = value.Data;
    old.Dword = value.Dword;
    return true;
  }
  key.Values.push_back(value);
  key.Values.back().Name = std::string(name);
  key.Index.emplace(std::move(folded), std::prev(key.Values.end()));
  return true;
}

bool RemoveValue(TKey& key, std::string_view name) {
  auto it = key.Index.find(UpperCase(name));
  if (it == key.Index.end()) return false;
  key.Values.erase(it->second);
  key.Index.erase(it);
  return true;
}

bool RemoveKey(TKey& root, const std::vector<std::string_view>& parts) {
  if (parts.empty()) {  // the root itself: empty it
    bool had = !root.Subkeys.empty() || !root.Values.empty();
    root.Subkeys.clear();
    root.Values.clear();
    root.Index.clear();
    return had;
  }
  TKey* parent = &root;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    auto it = parent->Subkeys.find(UpperCase(parts[i]));
    if (it == parent->Subkeys.end()) return false;
    parent = it->second.get();
  }
  return parent->Subkeys.erase(UpperCase(parts.back())) > 0;
}

TRegValue TextValue(std::string_view text, std::uint32_t type = kRegSz) {
  TRegValue v;
  v.Type = type;
  v.Data = std::string(text);
  return v;
}

TRegValue DwordValue(std::uint32_t n) {
  TRegValue v;
  v.Type = kRegDword;
  v.Dword = n;
  return v;
}

// ---------------------------------------------------------------------------
// Encodings

// The text of hex(1)/hex(2) data: UTF-16LE in a version 5 file, 8-bit in a
// REGEDIT4 file; it ends at the first zero character.
std::string DecodeHexText(std::string_view bytes, bool utf16) {
  if (!utf16) return std::string(bytes.substr(0, bytes.find('\0')));
  size_t end = 0;
  while (end + 1 < bytes.size() && (bytes[end] != '\0' || bytes[end + 1] != '\0')) end += 2;
  return Utf16LeToUtf8(bytes.substr(0, end));
}

// The file's bytes as 8-bit text: UTF-16 is turned into UTF-8, a UTF-8
// byte-order mark dropped, anything else kept as it is.
std::string DecodeFile(std::string_view bytes) {
  auto b = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 2 && b(0) == 0xFF && b(1) == 0xFE) return Utf16LeToUtf8(bytes.substr(2));
  if (bytes.size() >= 2 && b(0) == 0xFE && b(1) == 0xFF) {
    std::string swapped(bytes.substr(2));
    for (size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    return Utf16LeToUtf8(swapped);
  }
  if (bytes.size() >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF)
    return std::string(bytes.substr(3));
  // UTF-16LE that lost its byte-order mark: "W\0i\0..." or "R\0E\0...".
  if (bytes.size() >= 4 && b(0) != 0 && b(1) == 0 && b(2) != 0 && b(3) == 0)
    return Utf16LeToUtf8(bytes);
  return std::string(bytes);
}

// ---------------------------------------------------------------------------
// Reading the .reg format

struct TRegOp {
  enum Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue } Op;
  size_t KeyIndex;  // into TRegScript::Keys
  TRegValue Value;  // kSetValue: the value; kDeleteValue: its Name
};

struct TRegScript {
  std::vector<std::vector<std::string>> Keys;
  std::vector<TRegOp> Ops;
  TRegImportStats Stats;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Shown(std::string_view s) {
  std::string out(s.substr(0, 40));
  if (s.size() > 40) out += "...";
  return "\"" + out + "\"";
}

class TRegParser {
 public:
  explicit TRegParser(std::string_view bytes) : text_(DecodeFile(bytes)) { SplitLines(); }

  TRegScript Parse() {
    size_t i = 0;
    while (i < lines_.size() && TrimBlanks(lines_[i]).empty()) ++i;
    if (i == lines_.size())
      Fail(static_cast<int>(lines_.empty() ? 1 : lines_.size()), "the file is empty");
    std::string_view header = TrimBlanks(lines_[i]);
    if (header == kHeader5) {
      utf16Hex_ = true;
    } else if (header == kHeader4) {
      utf16Hex_ = false;
    } else {
      Fail(static_cast<int>(i + 1),
           "expected \"Windows Registry Editor Version 5.00\" or "
           "\"REGEDIT4\" as the first line");
    }
    for (line_ = i + 1; line_ < lines_.size(); ++line_) {
      std::string_view s = lines_[line_];
      while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
      if (s.empty() || s.front() == ';') continue;
      if (s.front() == '[') {
        KeyLine(s);
      } else if (s.front() == '"' || s.front() == '@') {
        ValueLine(s);
      } else {
        Fail("unexpected text " + Shown(TrimBlanks(s)));
      }
    }
    return std::move(script_);
  }

 private:
  [[noreturn]] void Fail(int line, const std::string& problem) {
    throw ERegParseError(line, problem);
  }
  [[noreturn]] void Fail(const std::string& problem) { Fail(static_cast<int>(line_ + 1), problem); }

  void SplitLines() {
    std::string_view t = text_;
    size_t pos = 0;
    while (pos < t.size()) {
      size_t end = t.find_first_of("\r\n", pos);
      if (end == std::string_view::npos) {
        lines_.push_back(t.substr(pos));
        break;
      }
      lines_.push_back(t.substr(pos, end - pos));
      pos = end + ((t[end] == '\r' && end + 1 < t.size() && t[end + 1] == '\n') ? 2 : 1);
    }
  }

  void KeyLine(std::string_view s) {
    size_t close = s.rfind(']');
    if (close == std::string_view::npos) Fail("key name without closing ']'");
    std::string_view rest = TrimBlanks(s.substr(close + 1));
    if (!rest.empty() && rest.front() != ';') Fail("text after the key name " + Shown(rest));
    std::string_view name = s.substr(1, close - 1);
    bool remove = !name.empty() && name.front() == '-';
    if (remove) name.remove_prefix(1);
    auto parts = SplitKey(name);
    if (!parts) Fail("key name longer than 255 characters or deeper than 512 levels");
    if (parts->empty()) Fail("empty key name");
    std::string root = UpperCase((*parts)[0]);
    inKey_ = true;
    currentKey_ = kOtherRoot;
    if (root == kRootName || root == "HKCU") {
      std::vector<std::string> path(parts->begin() + 1, parts->end());
      script_.Keys.push_back(std::move(path));
      currentKey_ = script_.Keys.size() - 1;
      if (remove) {
        script_.Ops.push_back({TRegOp::kDeleteKey, currentKey_, {}});
        ++script_.Stats.Deleted;
        currentKey_ = kOtherRoot;  // values below a deleted key are skipped
      } else {
        script_.Ops.push_back({TRegOp::kCreateKey, currentKey_, {}});
        ++script_.Stats.Keys;
      }
      return;
    }
    static const char* const kOtherRoots[] = {"HKEY_LOCAL_MACHINE",
                                              "HKEY_CLASSES_ROOT",
                                              "HKEY_USERS",
                                              "HKEY_CURRENT_CONFIG",
                                              "HKEY_DYNAMIC_DATA",
                                              "HKEY_PERFORMANCE_DATA",
                                              "HKLM",
                                              "HKCR",
                                              "HKU",
                                              "HKCC"};
    for (const char* other : kOtherRoots)
      if (root == other) {
        if (!remove) ++script_.Stats.Ignored;
        return;
      }
    Fail("unknown root key " + Shown((*parts)[0]));
  }

  // Reads a quoted text starting after the opening quote at s[pos];
  // returns the text and moves pos past the closing quote.
  std::optional<std::string> Quoted(std::string_view s, size_t& pos) {
    std::string out;
    while (pos < s.size()) {
      char c = s[pos++];
      if (c == '"') return out;
      if (c == '\\' && pos < s.size()) {
        char e = s[pos++];
        switch (e) {
          case '\\':
            out += '\\';
            break;
          case '"':
            out += '"';
            break;
          case 'n':
            out += '\n';
            break;
          case 'r':
            out += '\r';
            break;
          case '0':
            out += '\0';
            break;
          default:  // not an escape: kept as written
            out += '\\';
            out += e;
        }
        continue;
      }
      out += c;
    }
    return std::nullopt;
  }

  void ExpectEnd(std::string_view s, size_t pos, const char* what) {
    std::string_view rest = TrimBlanks(s.substr(pos));
    if (!rest.empty() && rest.front() != ';')
      Fail(std::string("text after ") + what + " " + Shown(rest));
  }

  void ValueLine(std::string_view s) {
    if (!inKey_) Fail("value outside of a key section");
    std::string name;
    size_t pos = 1;
    if (s.front() == '"') {
      auto quoted = Quoted(s, pos);
      if (!quoted) Fail("value name without closing quote");
      name = std::move(*quoted);
      if (name.size() > kMaxValueNameLength) Fail("value name longer than 16383 characters");
    }
    while (pos < s.size() && IsBlank(s[pos])) ++pos;
    if (pos >= s.size() || s[pos] != '=') Fail("missing '=' after the value name");
    ++pos;
    while (pos < s.size() && IsBlank(s[pos])) ++pos;
    std::string_view data = s.substr(pos);

    TRegValue value;
    value.Name = name;
    bool remove = false;
    if (!data.empty() && data.front() == '"') {
      size_t p = 1;
      auto text = Quoted(data, p);
      if (!text) Fail("text without closing quote");
      ExpectEnd(data, p, "the closing quote");
      value.Type = kRegSz;
      value.Data = std::move(*text);
    } else if (!data.empty() && data.front() == '-') {
      ExpectEnd(data, 1, "'-'");
      remove = true;
    } else if (data.size() >= 6 && SameText(data.substr(0, 6), "dword:")) {
      std::string_view digits = data.substr(6);
      size_t n = 0;
      while (n < digits.size() && HexDigit(digits[n]) >= 0) ++n;
      if (n == 0 || n > 8) Fail("a dword needs 1 to 8 hexadecimal digits");
      ExpectEnd(digits, n, "the dword");
      std::uint32_t v = 0;
      for (size_t k = 0; k < n; ++k) v = (v << 4) | static_cast<std::uint32_t>(HexDigit(digits[k]));
      value = DwordValue(v);
      value.Name = name;
    } else if (data.size() >= 3 && SameText(data.substr(0, 3), "hex")) {
      HexValue(data.substr(3), value);
    } else {
      Fail("unknown value type " + Shown(data));
    }

    if (currentKey_ == kOtherRoot) return;
    if (remove) {
      script_.Ops.push_back({TRegOp::kDeleteValue, currentKey_, std::move(value)});
      ++script_.Stats.Deleted;
    } else {
      script_.Ops.push_back({TRegOp::kSetValue, currentKey_, std::move(value)});
      ++script_.Stats.Values;
    }
  }

  // data is what follows "hex": ":" or "(N):", then bytes "xx,xx,..." that
  // may go on over lines ending in a backslash.
  void HexValue(std::string_view data, TRegValue& value) {
    std::uint32_t type = kRegBinary;
    size_t pos = 0;
    if (pos < data.size() && data[pos] == '(') {
      size_t close = data.find(')', pos);
      if (close == std::string_view::npos || close == pos + 1 || close - pos - 1 > 8)
        Fail("hex type needs 1 to 8 hexadecimal digits in parentheses");
      type = 0;
      for (size_t k = pos + 1; k < close; ++k) {
        int d = HexDigit(data[k]);
        if (d < 0) Fail("hex type needs 1 to 8 hexadecimal digits in parentheses");
        type = (type << 4) | static_cast<std::uint32_t>(d);
      }
      pos = close + 1;
    }
    if (pos >= data.size() || data[pos] != ':') Fail("missing ':' after \"hex\"");
    ++pos;

    std::string bytes;
    std::string_view s = data.substr(pos);
    for (bool continued = false;; continued = true) {
      s = TrimBlanks(s);
      bool more = false;
      if (!s.empty() && s.back() == '\\') {
        more = true;
        s.remove_suffix(1);
        s = TrimBlanks(s);
      }
      size_t p = 0;
      while (p < s.size()) {
        if (s[p] == ';') break;  // comment
        size_t comma = s.find(',', p);
        std::string_view item =
            TrimBlanks(s.substr(p, comma == std::string_view::npos ? s.npos : comma - p));
        if (item.empty()) {
          // "xx,,xx" is damaged; a trailing comma before a continuation is not.
          // A continuation line may start with the comma the line before left out.
          bool leadingComma = p == 0 && continued && comma == 0;
          if ((comma != std::string_view::npos || p > 0) && !leadingComma)
            Fail("missing hexadecimal byte");
        } else {
          int hi = HexDigit(item[0]);
          int lo = item.size() == 2 ? HexDigit(item[1]) : 0;
          if (item.size() > 2 || hi < 0 || lo < 0) Fail("bad hexadecimal byte " + Shown(item));
          bytes += static_cast<char>(item.size() == 2 ? hi * 16 + lo : hi);
        }
        if (comma == std::string_view::npos) break;
        p = comma + 1;
        if (p == s.size() && !more) break;  // trailing comma at the very end
      }
      if (!more) break;
      if (line_ + 1 >= lines_.size()) Fail("hex data continues past the end of the file");
      s = lines_[++line_];
    }

    value.Type = type;
    value.Dword = 0;
    value.Data.clear();
    if (type == kRegSz || type == kRegExpandSz) {
      value.Data = DecodeHexText(bytes, utf16Hex_);
    } else if (type == kRegDword) {
      if (bytes.size() != 4) Fail("a dword needs exactly 4 bytes");
      value.Dword = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0])) |
                    static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[1])) << 8 |
                    static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2])) << 16 |
                    static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[3])) << 24;
    } else if (type == kRegMultiSz && !utf16Hex_) {
      // Kept as a version 5 file holds it, so that it is written back right.
      value.Data = Utf8ToUtf16Le(ToUtf8Edge(bytes));
    } else {
      value.Data = std::move(bytes);
    }
  }

  static constexpr size_t kOtherRoot = static_cast<size_t>(-1);

  std::string text_;
  std::vector<std::string_view> lines_;
  size_t line_ = 0;
  bool utf16Hex_ = true;
  bool inKey_ = false;
  size_t currentKey_ = kOtherRoot;
  TRegScript script_;
};

// Applies a parsed script; true when anything changed.
bool Apply(TKey& root, const TRegScript& script) {
  bool changed = false;
  std::vector<std::vector<std::string_view>> keys;
  keys.reserve(script.Keys.size());
  for (const auto& k : script.Keys) keys.emplace_back(k.begin(), k.end());
  // The key of each section, found once: a section may hold many values
  // below a deep path. Deleting keys makes the found ones stale.
  std::vector<std::pair<TKey*, size_t>> found(keys.size(), {nullptr, 0});
  size_t generation = 1;
  auto sectionKey = [&](size_t index) {
    if (found[index].second != generation) {
      auto [key, created] = MakeKey(root, keys[index]);
      found[index] = {key, generation};
      changed |= created;
    }
    return found[index].first;
  };
  for (const TRegOp& op : script.Ops) {
    switch (op.Op) {
      case TRegOp::kCreateKey:
        sectionKey(op.KeyIndex);
        break;
      case TRegOp::kDeleteKey:
        changed |= RemoveKey(root, keys[op.KeyIndex]);
        ++generation;
        break;
      case TRegOp::kSetValue:
        changed |= SetValue(*sectionKey(op.KeyIndex), op.Value.Name, op.Value);
        break;
      case TRegOp::kDeleteValue:
        changed |= RemoveValue(*sectionKey(op.KeyIndex), op.Value.Name);
        break;
    }
  }
  return changed;
}

// ---------------------------------------------------------------------------
// Writing the .reg format

std::string Escaped(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  out += '"';
  for (char c : s) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        out += c;
    }
  }
  out += '"';
  return out;
}

void AppendHex(std::string& out, std::string prefix, std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string line = std::move(prefix);
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    std::string item{kDigits[b >> 4], kDigits[b & 15]};
    if (i + 1 < bytes.size()) item += ',';
    if (line.size() + item.size() > 78) {
      out += line;
      out += "\\\n";
      line = "  ";
    }
    line += item;
  }
  out += line;
  out += '\n';
}

void AppendValue(std::string& out, const TRegValue& v) {
  std::string prefix = v.Name.empty() ? std::string("@") : Escaped(v.Name);
  prefix += '=';
  if (v.Type == kRegSz) {
    out += prefix + Escaped(v.Data) + '\n';
  } else if (v.Type == kRegDword) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", v.Dword);
    out += prefix + buf + '\n';
  } else if (v.Type == kRegExpandSz) {
    std::string text = IsValidUtf8(v.Data) ? v.Data : ToUtf8Edge(v.Data);
    AppendHex(out, prefix + "hex(2):", Utf8ToUtf16Le(text) + std::string(2, '\0'));
  } else if (v.Type == kRegBinary) {
    AppendHex(out, prefix + "hex:", v.Data);
  } else {
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", v.Type);
    AppendHex(out, prefix + buf, v.Data);
  }
}

void AppendKey(std::string& out, const TKey& key, std::string& path, bool isRoot) {
  size_t mark = path.size();
  if (!isRoot) {
    path += '\\';
    path += key.Name;
  }
  if (!isRoot || !key.Values.empty()) {
    out += '[';
    out += path;
    out += "]\n";
    for (const TRegValue& v : key.Values) AppendValue(out, v);
    out += '\n';
  }
  for (const auto& [folded, sub] : key.Subkeys) AppendKey(out, *sub, path, false);
  path.resize(mark);
}

}  // namespace

// ---------------------------------------------------------------------------
// TKeyStore

ERegParseError::ERegParseError(int line, const std::string& problem)
    : EKeyStoreError("line " + std::to_string(line) + ": " + problem),
      line_(line),
      problem_(problem) {}

TKeyStore::TKeyStore() : root_(std::make_unique<TKey>()) {}

TKeyStore::TKeyStore(std::string path) : path_(std::move(path)), root_(std::make_unique<TKey>()) {
  if (!FileExists(path_)) {
    // Something that is there but is no plain file is not overwritten.
    if (::access(path_.c_str(), F_OK) == 0) {
      loadError_ = path_ + ": not a file";
      moveAside_ = true;
    }
    return;
  }
  auto bytes = ReadWholeFile(path_);
  if (!bytes) {
    loadError_ = path_ + ": cannot be read: " + std::strerror(errno);
    moveAside_ = true;
    return;
  }
  try {
    TRegScript script = TRegParser(*bytes).Parse();
    Apply(*root_, script);
  } catch (const EKeyStoreError& e) {
    root_ = std::make_unique<TKey>();
    loadError_ = path_ + ": " + e.what();
    moveAside_ = true;
  }
}

TKeyStore::~TKeyStore() = default;

std::string TKeyStore::LoadError() const {
  std::lock_guard lock(mutex_);
  return loadError_;
}

bool TKeyStore::KeyExists(std::string_view key) const {
  std::lock_guard lock(mutex_);
  return FindKey(*root_, key) != nullptr;
}

void TKeyStore::CreateKey(std::string_view key) {
  auto parts = SplitKeyOrThrow(key);
  std::lock_guard lock(mutex_);
  if (MakeKey(*root_, parts).second) Changed();
}

bool TKeyStore::DeleteKey(std::string_view key) {
  auto parts = SplitKey(key);
  if (!parts) return false;
  std::lock_guard lock(mutex_);
  if (!RemoveKey(*root_, *parts)) return false;
  Changed();
  return true;
}

std::vector<std::string> TKeyStore::SubKeyNames(std::string_view key) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  if (const TKey* k = FindKey(*root_, key))
    for (const auto& [folded, sub] : k->Subkeys) names.push_back(sub->Name);
  return names;
}

bool TKeyStore::ValueExists(std::string_view key, std::string_view name) const {
  std::lock_guard lock(mutex_);
  const TKey* k = FindKey(*root_, key);
  return k && FindValue(*k, name);
}

std::vector<std::string> TKeyStore::ValueNames(std::string_view key) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  if (const TKey* k = FindKey(*root_, key))
    for (const TRegValue& v : k->Values) names.push_back(v.Name);
  return names;
}

std::optional<TRegValue> TKeyStore::GetValue(std::string_view key, std::string_view name) const {
  std::lock_guard lock(mutex_);
  const TKey* k = FindKey(*root_, key);
  if (!k) return std::nullopt;
  const TRegValue* v = FindValue(*k, name);
  if (!v) return std::nullopt;
  return *v;
}

std::string TKeyStore::ReadString(std::string_view key, std::string_view name) const {
  auto v = GetValue(key, name);
  if (!v) return {};
  if (!v->IsText())
    throw EKeyStoreError("Invalid data type for \"" + std::string(name) + "\": not a text");
  return v->Data;
}

std::optional<std::uint32_t> TKeyStore::ReadInteger(std::string_view key,
                                                    std::string_view name) const {
  auto v = GetValue(key, name);
  if (!v) return std::nullopt;
  if (v->Type != kRegDword)
    throw EKeyStoreError("Invalid data type for \"" + std::string(name) +
                         "\": not a 32-bit integer");
  return v->Dword;
}

bool TKeyStore::ReadFlag(std::string_view key, std::string_view name) const {
  auto n = ReadInteger(key, name);
  return n && *n != 0;
}

void TKeyStore::WriteValue(std::string_view key, std::string_view name, const TRegValue& value) {
  auto parts = SplitKeyOrThrow(key);
  TRegValue v = value;
  if (v.IsText()) {
    v.Dword = 0;
  } else if (v.Type == kRegDword) {
    v.Data.clear();
  } else {
    v.Dword = 0;
  }
  std::lock_guard lock(mutex_);
  auto [k, created] = MakeKey(*root_, parts);
  if (SetValue(*k, name, v) || created) Changed();
}

void TKeyStore::WriteString(std::string_view key, std::string_view name, std::string_view text) {
  WriteValue(key, name, TextValue(text));
}

void TKeyStore::WriteInteger(std::string_view key, std::string_view name, std::uint32_t value) {
  WriteValue(key, name, DwordValue(value));
}

void TKeyStore::WriteFlag(std::string_view key, std::string_view name, bool set) {
  WriteInteger(key, name, set ? 1 : 0);
}

bool TKeyStore::DeleteValue(std::string_view key, std::string_view name) {
  std::lock_guard lock(mutex_);
  TKey* k = FindKey(*root_, key);
  if (!k || !RemoveValue(*k, name)) return false;
  Changed();
  return true;
}

TRegImportStats TKeyStore::ImportRegText(std::string_view bytes) {
  if (bytes.size() > kMaxRegFileSize)
    throw ERegParseError(
        1, "the file is larger than " + std::to_string(kMaxRegFileSize >> 20) + " MB");
  TRegScript script = TRegParser(bytes).Parse();  // throws before anything changes
  std::lock_guard lock(mutex_);
  if (Apply(*root_, script)) Changed();
  return script.Stats;
}

std::string TKeyStore::ToRegText() const {
  std::lock_guard lock(mutex_);
  std::string out(kHeader5);
  out += "\n\n";
  std::string path(kRootName);
  AppendKey(out, *root_, path, true);
  return out;
}

void TKeyStore::Save() {
  std::lock_guard lock(mutex_);
  SaveLocked();
}

void TKeyStore::Changed() {
  dirty_ = true;
  if (batchDepth_ == 0) SaveLocked();
}

void TKeyStore::SaveLocked() {
  if (path_.empty()) {
    dirty_ = false;
    return;
  }
  std::string text(kHeader5);
  text += "\n\n";
  std::string keyPath(kRootName);
  AppendKey(text, *root_, keyPath, true);

  auto slash = path_.rfind('/');
  if (slash != std::string::npos && slash > 0 && !ForceDirectories(path_.substr(0, slash)))
    throw EKeyStoreError("Cannot create the folder of " + path_ + ": " + std::strerror(errno));
  if (moveAside_) {
    std::string aside = path_ + ".damaged";
    if (std::rename(path_.c_str(), aside.c_str()) != 0 && errno != ENOENT)
      throw EKeyStoreError("Cannot move the damaged " + path_ + " aside: " + std::strerror(errno));
    moveAside_ = false;
  }
  try {
    WriteFileAtomically(path_, text);
  } catch (const std::exception& e) {
    throw EKeyStoreError(e.what());
  }
  dirty_ = false;
}

TKeyStore::TBatch::TBatch(TKeyStore& store) : store_(store) {
  std::lock_guard lock(store_.mutex_);
  ++store_.batchDepth_;
}

TKeyStore::TBatch::~TBatch() {
  std::lock_guard lock(store_.mutex_);
  if (--store_.batchDepth_ == 0 && store_.dirty_) {
    try {
      store_.SaveLocked();
    } catch (const std::exception&) {
      // Stays dirty: the next change or Save() writes it.
    }
  }
}

std::string KeyStorePath() {
  std::string base = GetEnv("XDG_CONFIG_HOME");
  if (base.empty() || base[0] != '/') {
    std::string home = GetEnv("HOME");
    base = home.empty() ? ProgramDir() : home + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/Quillbox/registry.reg";
}

TKeyStore& UserKeyStore() {
  static TKeyStore store(KeyStorePath());
  return store;
}

}  // namespace qb
