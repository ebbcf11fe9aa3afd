#include "engine/datetext.h"

#include <langinfo.h>
#include <locale.h>

#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <mutex>

namespace qb {

namespace {

std::mutex g_mutex;
bool g_loaded = false;
TDateTimeFormats g_formats;
std::atomic<bool> g_twoDigit{false};

// Expands the composite directives and drops the E and O modifiers, so that
// only the directives our formatter knows remain. Empty when the pattern
// holds a directive we cannot read back (month names and the like).
std::string Normalise(const std::string& pattern, const std::string& ampmPattern) {
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c != '%') {
      out += c;
      continue;
    }
    if (++i >= pattern.size()) return "";
    c = pattern[i];
    if ((c == 'E' || c == 'O') && i + 1 < pattern.size()) c = pattern[++i];
    switch (c) {
      case 'D':
        out += "%m/%d/%Y";
        break;
      case 'F':
        out += "%Y-%m-%d";
        break;
      case 'T':
        out += "%H:%M:%S";
        break;
      case 'R':
        out += "%H:%M";
        break;
      case 'r': {
        const std::string inner = ampmPattern.empty() || ampmPattern.find("%r") != std::string::npos
                                      ? std::string("%I:%M:%S %p")
                                      : Normalise(ampmPattern, "");
        if (inner.empty()) return "";
        out += inner;
        break;
      }
      case 'y':
        out += "%Y";
        break;  // the short date always shows four digits
      case 'C':
        break;
      case 'e':
        out += "%d";
        break;
      case 'd':
      case 'm':
      case 'Y':
      case 'H':
      case 'I':
      case 'M':
      case 'S':
      case 'p':
      case 'k':
      case 'l':
      case '%':
        out += '%';
        out += c;
        break;
      case 'P':
        out += "%p";
        break;
      default:
        return "";
    }
  }
  return out;
}

char FirstSeparator(const std::string& pattern, char fallback) {
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%') {
      ++i;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(pattern[i]);
    if (c < 0x80 && std::ispunct(c)) return pattern[i];
  }
  return fallback;
}

TDateTimeFormats Snapshot() {
  std::lock_guard lock(g_mutex);
  if (!g_loaded) {
    g_formats = LocaleDateTimeFormats();
    g_loaded = true;
  }
  return g_formats;
}

void AppendNumber(std::string& out, int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  out += buf;
}

// A date or time value the decoder can take: finite and within the years
// 1..9999. Anything else is shown as day 0.
TDateParts SafeDecode(TDateTime value) {
  if (!std::isfinite(value) || value < -693593.0 || value >= 2958466.0) value = 0;
  return DecodeDateTime(value);
}

struct TScanner {
  const std::string& s;
  std::size_t i = 0;
  void SkipBlanks() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  }
  bool Number(int& value, int& digits) {
    SkipBlanks();
    value = 0;
    digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
      if (digits < 9) value = value * 10 + (s[i] - '0');
      ++digits;
      ++i;
    }
    return digits > 0 && digits <= 9;
  }
  bool Char(char c) {
    SkipBlanks();
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  bool Word(const std::string& w) {
    SkipBlanks();
    if (w.empty() || s.size() - i < w.size()) return false;
    for (std::size_t k = 0; k < w.size(); ++k)
      if (std::toupper(static_cast<unsigned char>(s[i + k])) !=
          std::toupper(static_cast<unsigned char>(w[k])))
        return false;
    i += w.size();
    return true;
  }
  bool AtEnd() {
    SkipBlanks();
    return i >= s.size();
  }
};

// The order of day, month and year in the short date pattern: "MDY" etc.
std::string DateOrder(const std::string& pattern) {
  std::string order;
  for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    const char c = pattern[++i];
    char o = 0;
    if (c == 'd' || c == 'e') o = 'D';
    if (c == 'm') o = 'M';
    if (c == 'Y' || c == 'y') o = 'Y';
    if (o && order.find(o) == std::string::npos) order += o;
  }
  return order.size() == 3 ? order : std::string("MDY");
}

bool ScanDate(TScanner& sc, const TDateTimeFormats& f, TDateTime& out) {
  int n[3] = {0, 0, 0}, d[3] = {0, 0, 0};
  int count = 0;
  if (!sc.Number(n[0], d[0])) return false;
  count = 1;
  while (count < 3 && sc.Char(f.DateSeparator)) {
    if (!sc.Number(n[count], d[count])) return false;
    ++count;
  }
  if (count < 2) return false;
  const std::string order = DateOrder(f.ShortDate);
  int year = 0, month = 0, day = 0, yearDigits = 0;
  const TDateParts today = DecodeDateTime(Date());
  if (count == 2) {
    // Two numbers: day and month in the pattern's order, this year.
    std::string dm;
    for (char c : order)
      if (c != 'Y') dm += c;
    month = dm[0] == 'M' ? n[0] : n[1];
    day = dm[0] == 'M' ? n[1] : n[0];
    year = today.Year;
    yearDigits = 4;
  } else {
    for (int k = 0; k < 3; ++k) {
      if (order[static_cast<std::size_t>(k)] == 'Y') {
        year = n[k];
        yearDigits = d[k];
      } else if (order[static_cast<std::size_t>(k)] == 'M') {
        month = n[k];
      } else {
        day = n[k];
      }
    }
  }
  if (yearDigits <= 2) year += today.Year / 100 * 100;
  if (!IsValidDate(year, month, day)) return false;
  out = EncodeDate(year, month, day);
  return true;
}

bool ScanTime(TScanner& sc, const TDateTimeFormats& f, TDateTime& out) {
  int h = 0, m = 0, s = 0, ms = 0, digits = 0;
  if (!sc.Number(h, digits)) return false;
  bool minutes = false;
  if (sc.Char(f.TimeSeparator)) {
    minutes = true;
    if (!sc.Number(m, digits)) return false;
    if (sc.Char(f.TimeSeparator)) {
      if (!sc.Number(s, digits)) return false;
      if (sc.Char('.')) {
        if (!sc.Number(ms, digits) || digits > 3) return false;
        while (digits++ < 3) ms *= 10;
      }
    }
  }
  bool pm = false, ampm = false;
  if (sc.Word(f.PMString) || sc.Word("PM")) {
    pm = ampm = true;
  } else if (sc.Word(f.AMString) || sc.Word("AM")) {
    ampm = true;
  }
  // A lone number is a time only with an AM/PM mark.
  if (!minutes && !ampm) return false;
  if (ampm) {
    if (h < 1 || h > 12) return false;
    h = h % 12 + (pm ? 12 : 0);
  }
  if (h > 23 || m > 59 || s > 59) return false;
  out = EncodeTime(h, m, s, ms);
  return true;
}

}  // namespace

TDateTimeFormats LocaleDateTimeFormats() {
  TDateTimeFormats f;
  locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (!loc) return f;
  const std::string dfmt = nl_langinfo_l(D_FMT, loc);
  const std::string tfmt = nl_langinfo_l(T_FMT, loc);
  const std::string ampm = nl_langinfo_l(T_FMT_AMPM, loc);
  const std::string am = nl_langinfo_l(AM_STR, loc);
  const std::string pm = nl_langinfo_l(PM_STR, loc);
  freelocale(loc);
  const std::string date = Normalise(dfmt, ampm);
  if (!date.empty() && date.find("%d") != std::string::npos &&
      date.find("%m") != std::string::npos && date.find("%Y") != std::string::npos)
    f.ShortDate = date;
  const std::string time = Normalise(tfmt, ampm);
  if (!time.empty() && time.find("%M") != std::string::npos) f.LongTime = time;
  f.DateSeparator = FirstSeparator(f.ShortDate, '/');
  f.TimeSeparator = FirstSeparator(f.LongTime, ':');
  if (!am.empty()) f.AMString = am;
  if (!pm.empty()) f.PMString = pm;
  return f;
}

TDateTimeFormats CurrentDateTimeFormats() {
  return Snapshot();
}

void SetDateTimeFormats(const TDateTimeFormats& formats) {
  std::lock_guard lock(g_mutex);
  g_formats = formats;
  g_loaded = true;
}

void ReloadDateTimeFormats() {
  TDateTimeFormats f = LocaleDateTimeFormats();
  SetDateTimeFormats(f);
}

void SetTwoDigitLongTime(bool on) {
  g_twoDigit.store(on);
}

bool TwoDigitLongTime() {
  return g_twoDigit.load();
}

namespace {
std::string EffectiveLongTime(const TDateTimeFormats& f) {
  if (!g_twoDigit.load()) return f.LongTime;
  return std::string("%H") + f.TimeSeparator + "%M" + f.TimeSeparator + "%S";
}
}  // namespace

std::string EffectiveLongTimeFormat() {
  return EffectiveLongTime(Snapshot());
}

std::string FormatDateTimePattern(const std::string& pattern, TDateTime value,
                                  const TDateTimeFormats& f) {
  const TDateParts p = SafeDecode(value);
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 >= pattern.size()) {
      out += pattern[i];
      continue;
    }
    const int h12 = p.Hour % 12 == 0 ? 12 : p.Hour % 12;
    switch (pattern[++i]) {
      case 'd':
        AppendNumber(out, p.Day, 2);
        break;
      case 'e':
        AppendNumber(out, p.Day, 1);
        break;
      case 'm':
        AppendNumber(out, p.Month, 2);
        break;
      case 'Y':
        AppendNumber(out, p.Year, 4);
        break;
      case 'y':
        AppendNumber(out, p.Year % 100, 2);
        break;
      case 'H':
        AppendNumber(out, p.Hour, 2);
        break;
      case 'k':
        AppendNumber(out, p.Hour, 1);
        break;
      case 'I':
        AppendNumber(out, h12, 2);
        break;
      case 'l':
        AppendNumber(out, h12, 1);
        break;
      case 'M':
        AppendNumber(out, p.Minute, 2);
        break;
      case 'S':
        AppendNumber(out, p.Second, 2);
        break;
      case 'p':
        out += p.Hour < 12 ? f.AMString : f.PMString;
        break;
      case '%':
        out += '%';
        break;
      default:
        out += '%';
        out += pattern[i];
    }
  }
  return out;
}

std::string DateText(TDateTime value) {
  const TDateTimeFormats f = Snapshot();
  return FormatDateTimePattern(f.ShortDate, value, f);
}

std::string TimeText(TDateTime value) {
  const TDateTimeFormats f = Snapshot();
  return FormatDateTimePattern(EffectiveLongTime(f), value, f);
}

std::string DateTimeText(TDateTime value) {
  const TDateTimeFormats f = Snapshot();
  const TDateParts p = SafeDecode(value);
  std::string text = FormatDateTimePattern(f.ShortDate, value, f);
  if (p.Hour != 0 || p.Minute != 0 || p.Second != 0 || p.MilliSecond != 0)
    text += ' ' + FormatDateTimePattern(EffectiveLongTime(f), value, f);
  return text;
}

std::optional<TDateTime> ParseDateText(const std::string& text) {
  const TDateTimeFormats f = Snapshot();
  TScanner sc{text};
  TDateTime d = 0;
  if (!ScanDate(sc, f, d) || !sc.AtEnd()) return std::nullopt;
  return d;
}

std::optional<TDateTime> ParseTimeText(const std::string& text) {
  const TDateTimeFormats f = Snapshot();
  TScanner sc{text};
  TDateTime t = 0;
  if (!ScanTime(sc, f, t) || !sc.AtEnd()) return std::nullopt;
  return t;
}

std::optional<TDateTime> ParseDateTimeText(const std::string& text) {
  const TDateTimeFormats f = Snapshot();
  TScanner sc{text};
  TDateTime d = 0, t = 0;
  if (ScanDate(sc, f, d)) {
    if (sc.AtEnd()) return d;
    if (ScanTime(sc, f, t) && sc.AtEnd()) return d >= 0 ? d + t : d - t;
    return std::nullopt;
  }
  TScanner tsc{text};
  if (ScanTime(tsc, f, t) && tsc.AtEnd()) return t;
  return std::nullopt;
}

std::string FormatIntervalBound(TDateTime value) {
  const TDateTimeFormats f = Snapshot();
  const std::string text = DateTimeText(value);
  std::string groups[3];
  int g = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      if (groups[g].size() < 4) groups[g] += c;
    } else if (c == f.DateSeparator && g < 2) {
      ++g;
    }
  }
  static const std::size_t kFrom[3] = {0, 3, 6}, kLen[3] = {2, 2, 4};
  std::string result;
  for (int k = 0; k < 3; ++k) {
    std::string& group = groups[k];
    if (group.empty() && kFrom[k] < text.size()) group = text.substr(kFrom[k], kLen[k]);
    if (group.size() == 1) group = "0" + group;
    if (k > 0) result += f.DateSeparator;
    result += group;
  }
  if (!ParseDateText(result)) return FormatDateTimePattern(f.ShortDate, Date(), f);
  return result;
}

}  // namespace qb
