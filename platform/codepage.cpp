#include "platform/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>

namespace qb {

namespace {

std::string_view TrimAscii(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
  return s;
}

// Windows-1252 0x80..0x9F; 0 marks the five undefined positions.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::mutex g_cp_mutex;
std::string g_codepage;

bool IsCp1252(const std::string& name) {
  return name == "CP1252" || name == "cp1252" || name == "WINDOWS-1252" || name == "windows-1252";
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    char32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

std::string SystemCodePage() {
  std::lock_guard lock(g_cp_mutex);
  if (!g_codepage.empty()) return g_codepage;
  const char* env = std::getenv("QUILLBOX_CODEPAGE");
  return env && *env ? std::string(env) : std::string("CP1252");
}

void SetSystemCodePage(const std::string& name) {
  std::lock_guard lock(g_cp_mutex);
  g_codepage = name;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (char ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else if (c < 0xA0) {
      char16_t u = kCp1252High[c - 0x80];
      AppendUtf8(out, u ? u : 0xFFFD);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

namespace {

// The one iconv conversion of the program. Converts all of bytes with cd
// and closes cd. Where iconv stops at input it cannot convert (or at an
// incomplete sequence at the end), onBad appends a stand-in for the rest of
// the input it is given and returns how many bytes of it to skip; 0 gives
// the conversion up (ok is then false).
std::string IconvAll(iconv_t cd, std::string_view bytes,
                     const std::function<size_t(std::string& out, std::string_view rest)>& onBad,
                     bool* ok = nullptr) {
  std::string out;
  std::string in(bytes);
  char* inp = in.data();
  size_t inleft = in.size();
  char buf[1024];
  bool good = true;
  while (inleft > 0) {
    char* outp = buf;
    size_t outleft = sizeof buf;
    size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
    out.append(buf, static_cast<size_t>(outp - buf));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      const size_t skip = onBad(out, {inp, inleft});
      if (skip == 0) {
        good = false;
        break;
      }
      inp += std::min(inleft, skip);
      inleft -= std::min(inleft, skip);
    }
  }
  if (good) {
    // The end of a text in a stateful encoding (ISO-2022-JP): back to the
    // initial state.
    char* outp = buf;
    size_t outleft = sizeof buf;
    if (iconv(cd, nullptr, nullptr, &outp, &outleft) != static_cast<size_t>(-1))
      out.append(buf, static_cast<size_t>(outp - buf));
  }
  iconv_close(cd);
  if (ok) *ok = good;
  return out;
}

// Names mail programs write for character sets that iconv knows under
// another name (or only as a superset).
std::string IconvCharsetName(std::string cs) {
  static const struct {
    const char* mail;
    const char* iconv;
  } kAliases[] = {
      {"ks_c_5601-1987", "CP949"},
      {"ks_c_5601", "CP949"},
      {"ks_c_5601-1989", "CP949"},
      {"euc-kr", "CP949"},
      {"gb2312", "GBK"},
      {"x-gbk", "GBK"},
      {"x-sjis", "SHIFT_JIS"},
      {"shift-jis", "SHIFT_JIS"},
      {"iso-8859-8-i", "ISO-8859-8"},
      {"x-mac-roman", "MACINTOSH"},
      {"unicode-1-1-utf-7", "UTF-7"},
      {"x-user-defined", "CP1252"},
  };
  for (const auto& a : kAliases)
    if (cs == a.mail) return a.iconv;
  return cs;
}

}  // namespace

std::string ToUtf8Edge(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  const std::string cp = SystemCodePage();
  if (IsCp1252(cp)) return Cp1252ToUtf8(bytes);
  iconv_t cd = iconv_open("UTF-8", cp.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return Cp1252ToUtf8(bytes);
  return IconvAll(cd, bytes, [](std::string& out, std::string_view) {
    // A byte the code page does not define: replace it and go on.
    AppendUtf8(out, 0xFFFD);
    return size_t{1};
  });
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  size_t i = 0;
  while (i + 1 < bytes.size()) {
    char32_t u = static_cast<unsigned char>(bytes[i]) |
                 (static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    i += 2;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < bytes.size()) {
      char32_t lo = static_cast<unsigned char>(bytes[i]) |
                    (static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        i += 2;
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        continue;
      }
      AppendUtf8(out, 0xFFFD);
      continue;
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    AppendUtf8(out, u);
  }
  return out;
}

std::string Utf8ToCodePage(std::string_view utf8) {
  const std::string cp = SystemCodePage();
  iconv_t cd = iconv_open((cp + "//TRANSLIT").c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(utf8);
  return IconvAll(cd, utf8, [](std::string& out, std::string_view rest) {
    out += '?';
    // Skip the rest of the offending UTF-8 sequence.
    size_t n = 1;
    while (n < rest.size() && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80) ++n;
    return n;
  });
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  auto put = [&out](char32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>((u >> 8) & 0xFF);
  };
  size_t i = 0;
  while (i < utf8.size()) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    char32_t cp;
    size_t len;
    if (c < 0x80) {
      cp = c, len = 1;
    } else if (c < 0xE0) {
      cp = c & 0x1F, len = 2;
    } else if (c < 0xF0) {
      cp = c & 0x0F, len = 3;
    } else {
      cp = c & 0x07, len = 4;
    }
    for (size_t k = 1; k < len && i + k < utf8.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

bool CharsetToUtf8(std::string_view charset, std::string_view bytes, std::string& out) {
  std::string cs(TrimAscii(charset));
  for (char& c : cs)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (cs.empty() || cs == "utf-8" || cs == "utf8" || cs == "us-ascii" || cs == "ascii") {
    out = std::string(bytes);
    return IsValidUtf8(bytes);
  }
  // A charset is a plain token; anything else (iconv's "//" suffixes) is
  // not a charset name.
  if (!std::all_of(cs.begin(), cs.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
               c == '.' || c == ':';
      }))
    return false;
  iconv_t cd = iconv_open("UTF-8", IconvCharsetName(cs).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  bool ok = false;
  std::string result = IconvAll(
      cd, bytes, [](std::string&, std::string_view) { return size_t{0}; }, &ok);
  if (ok) out = std::move(result);
  return ok;
}

}  // namespace qb
