#include "platform/regformat.h"

#include <cstdio>
#include <utility>

#include "platform/codepage.h"
#include "platform/text.h"

namespace qb {

std::optional<std::vector<std::string_view>> SplitRegKey(std::string_view key) {
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

namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";

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
      Fail(static_cast<int>(lines_.empty() ? 1 : lines_.size()), N_("the file is empty"));
    std::string_view header = TrimBlanks(lines_[i]);
    if (header == kRegHeader5) {
      utf16Hex_ = true;
    } else if (header == kHeader4) {
      utf16Hex_ = false;
    } else {
      Fail(static_cast<int>(i + 1), N_("expected \"Windows Registry Editor Version 5.00\" or "
                                       "\"REGEDIT4\" as the first line"));
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
        Fail(N_("unexpected text %1"), {Shown(TrimBlanks(s))});
      }
    }
    return std::move(script_);
  }

 private:
  // problem: a msgid (marked with N_) with %1 ... for args.
  [[noreturn]] void Fail(int line, const char* problem,
                         std::initializer_list<std::string> args = {}) {
    throw ERegParseError(line, problem, args);
  }
  [[noreturn]] void Fail(const char* problem, std::initializer_list<std::string> args = {}) {
    Fail(static_cast<int>(line_ + 1), problem, args);
  }

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
    if (close == std::string_view::npos) Fail(N_("key name without closing ']'"));
    std::string_view rest = TrimBlanks(s.substr(close + 1));
    if (!rest.empty() && rest.front() != ';') Fail(N_("text after the key name %1"), {Shown(rest)});
    std::string_view name = s.substr(1, close - 1);
    bool remove = !name.empty() && name.front() == '-';
    if (remove) name.remove_prefix(1);
    auto parts = SplitRegKey(name);
    if (!parts) Fail(N_("key name longer than 255 characters or deeper than 512 levels"));
    if (parts->empty()) Fail(N_("empty key name"));
    std::string root = UpperCase((*parts)[0]);
    inKey_ = true;
    currentKey_ = kOtherRoot;
    if (root == kRegRootName || root == "HKCU") {
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
    Fail(N_("unknown root key %1"), {Shown((*parts)[0])});
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

  // problem: a msgid with %1 for the text found.
  void ExpectEnd(std::string_view s, size_t pos, const char* problem) {
    std::string_view rest = TrimBlanks(s.substr(pos));
    if (!rest.empty() && rest.front() != ';') Fail(problem, {Shown(rest)});
  }

  void ValueLine(std::string_view s) {
    if (!inKey_) Fail(N_("value outside of a key section"));
    std::string name;
    size_t pos = 1;
    if (s.front() == '"') {
      auto quoted = Quoted(s, pos);
      if (!quoted) Fail(N_("value name without closing quote"));
      name = std::move(*quoted);
      if (name.size() > kMaxValueNameLength) Fail(N_("value name longer than 16383 characters"));
    }
    while (pos < s.size() && IsBlank(s[pos])) ++pos;
    if (pos >= s.size() || s[pos] != '=') Fail(N_("missing '=' after the value name"));
    ++pos;
    while (pos < s.size() && IsBlank(s[pos])) ++pos;
    std::string_view data = s.substr(pos);

    TRegValue value;
    value.Name = name;
    bool remove = false;
    if (!data.empty() && data.front() == '"') {
      size_t p = 1;
      auto text = Quoted(data, p);
      if (!text) Fail(N_("text without closing quote"));
      ExpectEnd(data, p, N_("text after the closing quote %1"));
      value.Type = kRegSz;
      value.Data = std::move(*text);
    } else if (!data.empty() && data.front() == '-') {
      ExpectEnd(data, 1, N_("text after '-' %1"));
      remove = true;
    } else if (data.size() >= 6 && SameText(data.substr(0, 6), "dword:")) {
      std::string_view digits = data.substr(6);
      size_t n = 0;
      while (n < digits.size() && HexDigit(digits[n]) >= 0) ++n;
      if (n == 0 || n > 8) Fail(N_("a dword needs 1 to 8 hexadecimal digits"));
      ExpectEnd(digits, n, N_("text after the dword %1"));
      std::uint32_t v = 0;
      for (size_t k = 0; k < n; ++k) v = (v << 4) | static_cast<std::uint32_t>(HexDigit(digits[k]));
      value.Type = kRegDword;
      value.Dword = v;
    } else if (data.size() >= 3 && SameText(data.substr(0, 3), "hex")) {
      HexValue(data.substr(3), value);
    } else {
      Fail(N_("unknown value type %1"), {Shown(data)});
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
        Fail(N_("hex type needs 1 to 8 hexadecimal digits in parentheses"));
      type = 0;
      for (size_t k = pos + 1; k < close; ++k) {
        int d = HexDigit(data[k]);
        if (d < 0) Fail(N_("hex type needs 1 to 8 hexadecimal digits in parentheses"));
        type = (type << 4) | static_cast<std::uint32_t>(d);
      }
      pos = close + 1;
    }
    if (pos >= data.size() || data[pos] != ':') Fail(N_("missing ':' after \"hex\""));
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
            Fail(N_("missing hexadecimal byte"));
        } else {
          int hi = HexDigit(item[0]);
          int lo = item.size() == 2 ? HexDigit(item[1]) : 0;
          if (item.size() > 2 || hi < 0 || lo < 0)
            Fail(N_("bad hexadecimal byte %1"), {Shown(item)});
          bytes += static_cast<char>(item.size() == 2 ? hi * 16 + lo : hi);
        }
        if (comma == std::string_view::npos) break;
        p = comma + 1;
        if (p == s.size() && !more) break;  // trailing comma at the very end
      }
      if (!more) break;
      if (line_ + 1 >= lines_.size()) Fail(N_("hex data continues past the end of the file"));
      s = lines_[++line_];
    }

    value.Type = type;
    value.Dword = 0;
    value.Data.clear();
    if (type == kRegSz || type == kRegExpandSz) {
      value.Data = DecodeHexText(bytes, utf16Hex_);
    } else if (type == kRegDword) {
      if (bytes.size() != 4) Fail(N_("a dword needs exactly 4 bytes"));
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

// A problem's English text.
std::string ProblemText(const char* problem, std::initializer_list<std::string> args) {
  return SubstituteList(problem, std::vector<std::string_view>(args.begin(), args.end()));
}

}  // namespace

ERegParseError::ERegParseError(int line, const char* problem,
                               std::initializer_list<std::string> args)
    : EKeyStoreError(TErrorKind::InputDamaged,
                     "line " + std::to_string(line) + ": " + ProblemText(problem, args), problem,
                     args),
      line_(line),
      problem_(ProblemText(problem, args)) {}

std::string ERegParseError::UserText() const {
  return Substitute(Translate("line %1: %2"), {std::to_string(line_), EKeyStoreError::UserText()});
}

TRegScript ParseRegText(std::string_view bytes) {
  return TRegParser(bytes).Parse();
}

void AppendRegSection(std::string& out, std::string_view path, const std::list<TRegValue>& values) {
  out += '[';
  out += path;
  out += "]\n";
  for (const TRegValue& v : values) AppendValue(out, v);
  out += '\n';
}

}  // namespace qb
