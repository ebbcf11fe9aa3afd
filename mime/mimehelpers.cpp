#include "mime/mimehelpers.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <stdexcept>

#include "mime/base64stream.h"
#include "platform/codepage.h"
#include "platform/datetime.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace qb {

namespace {

inline char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

}  // namespace

// --- Lines and basic text ----------------------------------------------------

namespace detail {

const char* FindLineBreak(const char* p, const char* end) {
  // Mail text breaks at LF (most often CR LF): find the LF with memchr,
  // then look for a bare CR before it in the same stretch.
  const void* lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
  const char* limit = lf ? static_cast<const char*>(lf) : end;
  const void* cr = std::memchr(p, '\r', static_cast<std::size_t>(limit - p));
  return cr ? static_cast<const char*>(cr) : limit;
}

}  // namespace detail

void AppendLines(TStringList& list, std::string_view text) {
  ForEachLine(text, [&](std::string_view line) { list.emplace_back(line); });
}

TStringList SplitTextLines(std::string_view text) {
  TStringList list;
  list.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  AppendLines(list, text);
  return list;
}

std::string JoinLines(TLineSpan lines) {
  std::size_t total = 0;
  for (const auto& l : lines) total += l.size() + 2;
  std::string s;
  s.reserve(total);
  for (const auto& l : lines) {
    s += l;
    s += "\r\n";
  }
  return s;
}

std::string JoinLinesNoFinalBreak(TLineSpan lines) {
  std::string s = JoinLines(lines);
  if (!lines.empty()) s.resize(s.size() - 2);
  return s;
}

std::size_t FindUpper(std::string_view hay, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
  if (hay.size() < needle.size()) return std::string_view::npos;
  const std::size_t last = hay.size() - needle.size();
  const char first = needle[0];
  for (std::size_t i = from; i <= last; ++i) {
    if (Upper(hay[i]) != first) continue;
    std::size_t k = 1;
    while (k < needle.size() && Upper(hay[i + k]) == needle[k]) ++k;
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

bool StartsWithUpper(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (Upper(s[i]) != prefix[i]) return false;
  return true;
}

// --- Header access -----------------------------------------------------------

namespace {

// Appends s to a header field, keeping at most kMimeMaxHeaderFieldBytes
// of the field; false once it is full.
bool AppendCapped(std::string& field, std::string_view s) {
  if (field.size() >= kMimeMaxHeaderFieldBytes) return false;
  field.append(s.substr(0, kMimeMaxHeaderFieldBytes - field.size()));
  return field.size() < kMimeMaxHeaderFieldBytes;
}

// Appends the continuation lines that follow lines[i] to line, trimmed or
// (unfolded) as they are.
void AppendContinuations(TLineSpan lines, std::size_t i, std::string& line, bool trim = true) {
  for (std::size_t k = i + 1; k < lines.size(); ++k) {
    const std::string_view c = lines[k];
    if (c.empty() || (c[0] != ' ' && c[0] != '\t')) break;
    if (!AppendCapped(line, trim ? TrimView(c) : c)) break;
  }
}

// The field that starts at lines[i], capped.
std::string FieldAt(TLineSpan lines, std::size_t i, bool trim) {
  std::string found;
  AppendCapped(found, lines[i]);
  AppendContinuations(lines, i, found, trim);
  return found;
}

}  // namespace

bool FindHeader(std::string_view key, TLineSpan lines, std::string& line) {
  std::size_t i = 0;
  while (i < lines.size() && lines[i].empty()) ++i;
  for (; i < lines.size() && !lines[i].empty(); ++i) {
    if (!StartsWithUpper(lines[i], key)) continue;
    line = FieldAt(lines, i, true);
    return true;
  }
  return false;
}

bool FindHeaderUnfolded(std::string_view key, TLineSpan lines, std::string& line) {
  std::size_t i = 0;
  while (i < lines.size() && lines[i].empty()) ++i;
  for (; i < lines.size() && !lines[i].empty(); ++i) {
    if (!StartsWithUpper(lines[i], key)) continue;
    line = FieldAt(lines, i, false);
    return true;
  }
  return false;
}

bool FindHeaderInPart(std::string_view key, TLineSpan lines, std::string& line) {
  std::size_t i = 0;
  while (i < lines.size() && lines[i].empty()) ++i;
  for (; i < lines.size(); ++i) {
    const std::string_view l = lines[i];
    if (l.size() >= 2 && l[0] == '-' && l[1] == '-') break;
    if (!StartsWithUpper(l, key)) continue;
    line = FieldAt(lines, i, true);
    return true;
  }
  return false;
}

std::string HeaderValue(std::string_view key, std::string_view line) {
  std::size_t at = FindUpper(line, key);
  if (at == std::string_view::npos) return "";
  std::string_view v = TrimView(line.substr(at + key.size()));
  std::size_t semi = v.find(';');
  if (semi != std::string_view::npos) v = TrimView(v.substr(0, semi));
  return std::string(v);
}

TLineSpan StripHeaderBlock(TLineSpan lines) {
  std::size_t i = 0;
  while (i < lines.size() && !IsBlank(lines[i])) ++i;
  while (i < lines.size() && IsBlank(lines[i])) ++i;
  return lines.subspan(i);
}

void StripHeaderBlock(TStringList& lines) {
  std::size_t drop = lines.size() - StripHeaderBlock(TLineSpan(lines)).size();
  lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(drop));
}

std::string ExtractBoundary(std::string_view line, bool whole) {
  std::size_t at = FindUpper(line, "BOUNDARY");
  if (at == std::string_view::npos) return "";
  std::string_view s = line.substr(at + 8, whole ? std::string_view::npos : 72);
  s = TrimView(s);
  if (s.empty()) return "";
  s = TrimView(s.substr(1));
  if (s.empty()) return "";
  if (s[0] == '"') {
    s.remove_prefix(1);
    std::size_t q = s.find('"');
    if (q != std::string_view::npos) s = s.substr(0, q);
  }
  std::size_t semi = s.find(';');
  if (semi != std::string_view::npos) s = s.substr(0, semi);
  return "--" + std::string(TrimView(s));
}

// --- Quoted-printable --------------------------------------------------------

namespace {

// Hex digit values, -1 for other bytes.
constexpr std::array<signed char, 256> MakeHexTable() {
  std::array<signed char, 256> t{};
  for (auto& v : t) v = -1;
  for (int i = 0; i < 10; ++i) t['0' + i] = static_cast<signed char>(i);
  for (int i = 0; i < 6; ++i) {
    t['A' + i] = static_cast<signed char>(10 + i);
    t['a' + i] = static_cast<signed char>(10 + i);
  }
  return t;
}
constexpr std::array<signed char, 256> kHexValue = MakeHexTable();

inline char EscapedByte(char hi, char lo) {
  const int h = kHexValue[static_cast<unsigned char>(hi)];
  const int l = kHexValue[static_cast<unsigned char>(lo)];
  return (h < 0 || l < 0) ? '@' : static_cast<char>(h * 16 + l);
}

}  // namespace

std::size_t TQuotedPrintableDecoder::Decode(const char* in, std::size_t count, char* out) {
  std::size_t r = 0, w = 0;
  while (r < count) {
    switch (state_) {
      case kText:
        // The fast path: an escape whose two bytes are at hand is handled
        // on the spot; only one cut by the end of the chunk leaves its
        // state for the next call.
        while (r < count) {
          // Plain text up to the next "=" moves in one piece.
          const void* eq = std::memchr(in + r, '=', count - r);
          const std::size_t run =
              eq ? static_cast<std::size_t>(static_cast<const char*>(eq) - (in + r)) : count - r;
          if (out + w != in + r) std::memmove(out + w, in + r, run);
          w += run;
          r += run;
          if (r == count) break;
          if (r + 2 < count) {
            const char c1 = in[r + 1];
            if (c1 != '\r' && c1 != '\n') {
              out[w++] = EscapedByte(c1, in[r + 2]);
              r += 3;
            } else if (lineEnds_) {
              // A soft break: "=" and the break, CR LF, LF or CR.
              r += (c1 == '\r' && in[r + 2] == '\n') ? 3 : 2;
            } else {
              r += 3;  // "=", the break and the byte after it
            }
          } else {
            state_ = kEquals;
            ++r;
            break;
          }
        }
        break;
      case kEquals: {
        const char c = in[r++];
        if (lineEnds_ && c == '\n') {
          state_ = kText;
        } else if (lineEnds_ && c == '\r') {
          state_ = kSkipLf;
        } else if (c == '\r' || c == '\n') {
          state_ = kSkipOne;
        } else {
          first_ = c;
          state_ = kHex;
        }
        break;
      }
      case kHex:
        out[w++] = EscapedByte(first_, in[r++]);
        state_ = kText;
        break;
      case kSkipOne:
        ++r;
        state_ = kText;
        break;
      case kSkipLf:
        if (in[r] == '\n') ++r;
        state_ = kText;
        break;
    }
  }
  return w;
}

std::size_t DecodeQuotedPrintable(std::string& buf) {
  // Decoding never writes ahead of where it reads, so it can work in place.
  TQuotedPrintableDecoder dec;
  buf.resize(dec.Decode(buf.data(), buf.size(), buf.data()));
  return buf.size();
}

std::string DecodeQuotedPrintableCopy(std::string_view text) {
  std::string s(text);
  DecodeQuotedPrintable(s);
  return s;
}

// --- Encoded words -----------------------------------------------------------

// Each pass of the rule takes the text before the first "=?", decodes one
// word and starts again from the top of the new text. Done literally that is
// quadratic in the number of words, so the text is kept in two halves: the
// finished front (which never holds "=?") and the rest, stored reversed so
// that a decoded word can be put back in front of it cheaply. A Q word turns
// every "_" present at that moment into a blank; each byte therefore
// remembers the pass that produced it, and at the end an underscore becomes
// a blank when a Q pass came at or after its birth.
std::string DecodeHeaderWords(std::string_view text) {
  std::string_view t = TrimView(text);
  std::string rem(t.rbegin(), t.rend());  // reversed
  std::vector<std::uint32_t> remStamp(rem.size(), 0);
  std::string out;
  std::vector<std::uint32_t> outStamp;
  out.reserve(t.size());
  outStamp.reserve(t.size());
  std::uint32_t pass = 0, lastQ = 0;
  bool anyQ = false;

  auto finish = [&]() {
    while (!rem.empty()) {
      out.push_back(rem.back());
      outStamp.push_back(remStamp.back());
      rem.pop_back();
      remStamp.pop_back();
    }
  };

  for (;;) {
    // Move bytes to the front until "=?" appears.
    bool found = false;
    std::uint32_t qStamp = 0;
    while (!rem.empty()) {
      char c = rem.back();
      if (c == '?' && !out.empty() && out.back() == '=') {
        qStamp = remStamp.back();
        rem.pop_back();
        remStamp.pop_back();
        found = true;
        break;
      }
      out.push_back(c);
      outStamp.push_back(remStamp.back());
      rem.pop_back();
      remStamp.pop_back();
    }
    if (!found) break;
    // out ends with the "=" of "=?"; keep what is taken so it can be put
    // back when the word turns out to be incomplete.
    std::string taken = "?";
    std::vector<std::uint32_t> takenStamp = {qStamp};
    auto take = [&]() {
      char c = rem.back();
      taken.push_back(c);
      takenStamp.push_back(remStamp.back());
      rem.pop_back();
      remStamp.pop_back();
      return c;
    };
    auto giveUp = [&]() {
      // "=?" stays in the text as written; decoding ends.
      out += taken;
      outStamp.insert(outStamp.end(), takenStamp.begin(), takenStamp.end());
      finish();
    };
    // Charset up to the first "?".
    bool q = false;
    while (!rem.empty())
      if (take() == '?') {
        q = true;
        break;
      }
    if (!q) {
      giveUp();
      break;
    }
    char letter = rem.empty() ? '\0' : Upper(take());
    if (!rem.empty()) take();  // the "?" after the letter
    // Encoded text up to the first "?=".
    std::string encoded;
    bool closed = false;
    while (!rem.empty()) {
      char c = take();
      if (c == '?' && !rem.empty() && rem.back() == '=') {
        take();
        closed = true;
        break;
      }
      encoded.push_back(c);
    }
    if (!closed) {
      giveUp();
      break;
    }
    out.pop_back();  // the "=" of "=?"
    outStamp.pop_back();
    ++pass;
    std::string decoded;
    if (letter == 'Q') {
      decoded = DecodeQuotedPrintableCopy(encoded);
      anyQ = true;
      lastQ = pass;
    } else if (letter == 'B') {
      decoded = Base64Decode(encoded);
    }
    for (auto it = decoded.rbegin(); it != decoded.rend(); ++it) {
      rem.push_back(*it);
      remStamp.push_back(pass);
    }
  }
  if (anyQ)
    for (std::size_t i = 0; i < out.size(); ++i)
      if (out[i] == '_' && outStamp[i] <= lastQ) out[i] = ' ';
  return out;
}

std::string DecodeHeaderWords(std::string_view text, const TMimeParserOptions& options) {
  if (!options.CharsetNames) return DecodeHeaderWords(text);
  const std::string_view t = TrimView(text);
  std::string out;
  // Decoded bytes of consecutive words in one charset, converted together.
  std::string pendingCharset, pendingBytes;
  bool pending = false;
  auto flush = [&]() {
    if (!pending) return;
    std::string utf8;
    out += CharsetToUtf8(pendingCharset, pendingBytes, utf8) ? utf8 : pendingBytes;
    pending = false;
    pendingBytes.clear();
  };
  bool afterWord = false;
  std::size_t i = 0;
  while (i < t.size()) {
    std::size_t p = t.find("=?", i);
    std::size_t q1 = p == std::string_view::npos ? p : t.find('?', p + 2);
    std::size_t e = q1 == std::string_view::npos || q1 + 2 >= t.size() || t[q1 + 2] != '?'
                        ? std::string_view::npos
                        : t.find("?=", q1 + 3);
    const char letter = e == std::string_view::npos ? '\0' : Upper(t[q1 + 1]);
    if (p == std::string_view::npos || q1 == std::string_view::npos) {
      flush();
      out += t.substr(i);
      break;
    }
    if (e == std::string_view::npos || (letter != 'Q' && letter != 'B')) {
      // Not an encoded word: "=?" stays as written.
      flush();
      out += t.substr(i, p + 2 - i);
      afterWord = false;
      i = p + 2;
      continue;
    }
    const std::string_view gap = t.substr(i, p - i);
    if (!(afterWord && IsBlank(gap))) {
      flush();
      out += gap;
    }
    std::string_view charset = t.substr(p + 2, q1 - p - 2);
    charset = charset.substr(0, charset.find('*'));  // RFC 2231 language
    std::string encoded(t.substr(q1 + 3, e - q1 - 3));
    std::string decoded;
    if (letter == 'Q') {
      std::replace(encoded.begin(), encoded.end(), '_', ' ');
      decoded = DecodeQuotedPrintableCopy(encoded);
    } else {
      decoded = Base64Decode(encoded, true);
    }
    if (!pending || LowerCase(charset) != LowerCase(pendingCharset)) {
      flush();
      pending = true;
      pendingCharset = std::string(charset);
    }
    pendingBytes += decoded;
    afterWord = true;
    i = e + 2;
  }
  flush();
  return out;
}

// --- Quotes and addresses ----------------------------------------------------

std::string StripQuotes(std::string_view text) {
  std::string_view s = TrimView(text);
  while (!s.empty() && s.front() == '"') s.remove_prefix(1);
  while (!s.empty() && s.back() == '"') s.remove_suffix(1);
  return std::string(s);
}

std::string StripOuterQuote(std::string_view text) {
  std::string_view s = text;
  if (!s.empty() && (s.front() == '"' || s.front() == '\'')) s.remove_prefix(1);
  if (!s.empty() && (s.back() == '"' || s.back() == '\'')) s.remove_suffix(1);
  return std::string(s);
}

std::string RemoveChar(std::string_view text, char c) {
  std::string r;
  r.reserve(text.size());
  for (char x : text)
    if (x != c) r.push_back(x);
  return r;
}

std::string RemoveQuoted(std::string_view text) {
  if (IsBlank(text)) return "";
  // Removing the first quote and everything up to the next one, again and
  // again, is one pass from left to right.
  std::string r;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t q = text.find('"', i);
    if (q == std::string_view::npos) {
      r.append(text.substr(i));
      break;
    }
    r.append(text.substr(i, q - i));
    std::size_t close = text.find('"', q + 1);
    if (close == std::string_view::npos) {
      r.append(text.substr(q + 1));  // a lone quote goes by itself
      break;
    }
    i = close + 1;
  }
  return r;
}

std::string CleanAddress(std::string_view text, bool wrap) {
  std::string r;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t open = text.find('(', i);
    std::size_t close =
        open == std::string_view::npos ? std::string_view::npos : text.find(')', open + 1);
    if (close == std::string_view::npos) {
      r.append(text.substr(i));
      break;
    }
    r.append(text.substr(i, open - i));
    i = close + 1;
  }
  std::string s = Trim(r);
  std::size_t lt = s.find('<'), gt = s.find('>');
  if (lt != std::string::npos && gt != std::string::npos)
    s = gt < lt ? std::string() : s.substr(lt + 1, gt - lt - 1);
  return wrap ? "<" + s + ">" : s;
}

std::string CleanDisplayName(std::string_view text, bool quote) {
  std::string s(text);
  std::size_t lt = s.find('<'), gt = s.find('>');
  if (lt != std::string::npos && gt != std::string::npos && gt > lt) s.erase(lt, gt - lt + 1);
  std::size_t op = s.find('('), cp = s.find(')');
  if (op != std::string::npos && cp != std::string::npos)
    s = cp < op ? std::string() : s.substr(op + 1, cp - op - 1);
  s = RemoveChar(RemoveChar(s, '"'), '\'');
  s = Trim(s);
  return quote ? "\"" + s + "\"" : s;
}

std::string NormalizeAddressList(std::string_view text) {
  std::string s = RemoveQuoted(text);
  std::string r;
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = s.find(',', start);
    std::string_view piece = std::string_view(s).substr(
        start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!r.empty() || start > 0) r += ", ";
    r += CleanDisplayName(DecodeHeaderWords(piece), true);
    r += ' ';
    r += CleanAddress(piece, true);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return r;
}

// --- Content types -----------------------------------------------------------

std::string ContentTypeOfFile(std::string_view fileName) {
  static const struct {
    const char* ext;
    const char* type;
  } kTypes[] = {
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".jpe", "image/jpeg"},
      {".gif", "image/gif"},
      {".png", "image/png"},
      {".bmp", "image/bmp"},
      {".tif", "image/tiff"},
      {".tiff", "image/tiff"},
      {".ico", "image/x-icon"},
      {".svg", "image/svg+xml"},
      {".webp", "image/webp"},
      {".wav", "audio/wav"},
      {".mp3", "audio/mpeg"},
      {".mid", "audio/mid"},
      {".midi", "audio/mid"},
      {".wma", "audio/x-ms-wma"},
      {".ogg", "audio/ogg"},
      {".au", "audio/basic"},
      {".aif", "audio/aiff"},
      {".aiff", "audio/aiff"},
      {".avi", "video/avi"},
      {".mpg", "video/mpeg"},
      {".mpeg", "video/mpeg"},
      {".mp4", "video/mp4"},
      {".mov", "video/quicktime"},
      {".wmv", "video/x-ms-wmv"},
      {".asf", "video/x-ms-asf"},
      {".doc", "application/msword"},
      {".dot", "application/msword"},
      {".rtf", "application/rtf"},
      {".xls", "application/vnd.ms-excel"},
      {".ppt", "application/vnd.ms-powerpoint"},
      {".pps", "application/vnd.ms-powerpoint"},
      {".docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
      {".xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
      {".pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
      {".odt", "application/vnd.oasis.opendocument.text"},
      {".ods", "application/vnd.oasis.opendocument.spreadsheet"},
      {".pdf", "application/pdf"},
      {".ps", "application/postscript"},
      {".zip", "application/x-zip-compressed"},
      {".gz", "application/x-gzip"},
      {".tgz", "application/x-compressed"},
      {".tar", "application/x-tar"},
      {".rar", "application/x-rar-compressed"},
      {".7z", "application/x-7z-compressed"},
      {".txt", "text/plain"},
      {".log", "text/plain"},
      {".csv", "text/csv"},
      {".htm", "text/html"},
      {".html", "text/html"},
      {".css", "text/css"},
      {".xml", "text/xml"},
      {".vcf", "text/x-vcard"},
      {".ics", "text/calendar"},
      {".eml", "message/rfc822"},
      {".nws", "message/rfc822"},
  };
  // The extension is the text from the last "." after every path
  // separator.
  std::size_t sep = fileName.find_last_of("\\/:");
  std::size_t dot = fileName.rfind('.');
  if (dot != std::string_view::npos && (sep == std::string_view::npos || dot > sep)) {
    std::string ext = LowerCase(fileName.substr(dot));
    for (const auto& t : kTypes)
      if (ext == t.ext) return t.type;
  }
  return "application/octet-stream";
}

// --- Random values and temporary files ---------------------------------------

namespace {

std::mutex& RandomMutex() {
  static std::mutex m;
  return m;
}

std::mt19937& RandomEngine() {
  static std::mt19937 engine(static_cast<std::uint32_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  return engine;
}

}  // namespace

void RandomizeFromClock() {
  std::lock_guard<std::mutex> lock(RandomMutex());
  RandomEngine().seed(static_cast<std::uint32_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
}

std::uint32_t RandomBelow(std::uint32_t limit) {
  if (limit == 0) return 0;
  std::lock_guard<std::mutex> lock(RandomMutex());
  return std::uniform_int_distribution<std::uint32_t>(0, limit - 1)(RandomEngine());
}

std::string RandomHex8() {
  return Hex8(RandomBelow(2147483647u));
}

std::string TempDirectory() {
  std::string dir = GetEnv("TMPDIR");
  if (dir.empty()) dir = "/tmp";
  return IncludeTrailingSlash(dir);
}

std::string UniqueTempFileName(std::string_view prefix) {
  const std::string dir = TempDirectory();
  // The file is created here, exclusively: a name that another decoder has
  // just taken makes the open fail and a new name is drawn.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string path = dir + std::string(prefix) + "-" + RandomHex8() + ".$$$";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST)
      throw EStreamError("Cannot create file \"" + path + "\": " + std::strerror(errno));
  }
  throw EStreamError("Cannot create a temporary file in \"" + dir + "\"");
}

// --- Composing ---------------------------------------------------------------

std::string MakeBoundary() {
  TDateParts p = DecodeDateTime(Now());
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d_%02d%02d_%04d%02d%02d_", p.Hour, p.Minute, p.Second, p.Year,
                p.Month, p.Day);
  std::string r = "----=_MOXbound_";
  r += buf;
  r += Hex8(RandomBelow(2147483647u));
  r += '.';
  r += Hex8(RandomBelow(2147483647u));
  return r;
}

std::string MakeMessageID(std::string_view host, std::string_view address) {
  TDateParts p = DecodeDateTime(Now());
  char day[16];
  std::snprintf(day, sizeof day, "%04d%02d%02d", p.Year, p.Month, p.Day);
  std::string r = "<MOX";
  r += day;
  r += '$';
  if (!IsBlank(address)) {
    std::string_view a = TrimView(address);
    int parts = 0;
    std::size_t i = 0;
    for (;;) {
      std::size_t dot = a.find('.', i);
      std::string_view num = a.substr(i, dot == std::string_view::npos ? a.npos : dot - i);
      if (num.empty() || num.size() > 3 || parts >= 4)
        throw std::invalid_argument("'" + std::string(address) + "' is not a valid address");
      int v = 0;
      for (char c : num) {
        if (c < '0' || c > '9')
          throw std::invalid_argument("'" + std::string(num) + "' is not a valid integer value");
        v = v * 10 + (c - '0');
      }
      char hex[8];
      std::snprintf(hex, sizeof hex, "%02X", v & 0xFF);
      r += hex;
      ++parts;
      if (dot == std::string_view::npos) break;
      i = dot + 1;
    }
    if (parts != 4)
      throw std::invalid_argument("'" + std::string(address) + "' is not a valid address");
  } else {
    r += Hex8(RandomBelow(2147483647u));
  }
  r += ".$";
  r += Hex8(RandomBelow(2147483647u));
  r += '@';
  r += host;
  r += '>';
  return r;
}

std::string EncodeQuotedPrintable(TLineSpan lines) {
  std::string out;
  bool firstLine = true;
  auto endLine = [&](std::string_view l) {
    if (!firstLine) out += "\r\n";
    out += l;
    firstLine = false;
  };
  static const char kHex[] = "0123456789ABCDEF";
  for (const auto& in : lines) {
    std::string cur;
    for (char ch : in) {
      unsigned char c = static_cast<unsigned char>(ch);
      if (c == '\t' || (c >= ' ' && c <= '<') || (c >= '>' && c <= '~')) {
        cur.push_back(ch);
      } else {
        cur.push_back('=');
        cur.push_back(kHex[c >> 4]);
        cur.push_back(kHex[c & 15]);
      }
      if (cur.size() > 70) {
        endLine(cur + "=");
        cur.clear();
      }
    }
    endLine(cur);
  }
  return out;
}

}  // namespace qb
