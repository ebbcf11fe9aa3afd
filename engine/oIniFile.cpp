#include "engine/oIniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <set>

#include "engine/datetext.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace qb {

namespace {

inline char Fold(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string FoldText(const std::string& s) {
  std::string out(s);
  for (char& c : out) c = Fold(c);
  return out;
}

std::string Cut(const std::string& s) {
  return s.size() > kIniMaxText ? s.substr(0, kIniMaxText) : s;
}

// True when line is a key line whose key equals key, ignoring case.
bool LineHasKey(const std::string& line, const std::string& key) {
  if (line.size() <= key.size() || line[key.size()] != '=') return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (line[i] == '=' || Fold(line[i]) != Fold(key[i])) return false;
  }
  return true;
}

// Decimal, or hexadecimal after "$", "0x" or "0X", with an optional sign
// and leading blanks. Hexadecimal takes up to 8 digits (a full 32-bit
// pattern); decimal must fit an int.
bool ParseInteger(const std::string& text, int& out) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool neg = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) neg = text[i++] == '-';
  if (i >= text.size()) return false;
  long long value = 0;
  if (text[i] == '$' ||
      (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X'))) {
    i += text[i] == '$' ? 1 : 2;
    const std::size_t start = i;
    if (text.size() - start < 1 || text.size() - start > 8) return false;
    for (; i < text.size(); ++i) {
      const int d = HexDigit(text[i]);
      if (d < 0) return false;
      value = value * 16 + d;
    }
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    if (neg) bits = 0u - bits;
    out = static_cast<int>(bits);
    return true;
  }
  const std::size_t start = i;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
    if (value > 2147483648LL) return false;
  }
  if (i == start) return false;
  if (neg) value = -value;
  if (value > 2147483647LL || value < -2147483648LL) return false;
  out = static_cast<int>(value);
  return true;
}

}  // namespace

bool IniSameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

// ---------------------------------------------------------------------------
// TSectionList

int TSectionList::FindFrom(const std::string& name, int start) const {
  auto it = index_.find(FoldText(name));
  if (it == index_.end() || it->second.empty()) return -1;
  if (start < 0 || start >= Count()) start = 0;
  const std::vector<int>& v = it->second;
  auto hit = std::lower_bound(v.begin(), v.end(), start);
  return hit != v.end() ? *hit : v.front();
}

int TSectionList::IndexOf(const std::string& name) {
  const int i = FindFrom(name, position_);
  if (i >= 0) position_ = i;
  return i;
}

int TSectionList::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& n = Name(i);
    const std::size_t eq = n.find('=');
    if (IniSameText(eq == std::string::npos ? n : n.substr(0, eq), name)) return i;
  }
  return -1;
}

int TSectionList::Add(const std::string& name) {
  const int i = Count();
  items_.push_back(TEntry{name, std::make_unique<TStringList>()});
  index_[FoldText(name)].push_back(i);
  return i;
}

void TSectionList::Reindex() {
  index_.clear();
  for (int i = 0; i < Count(); ++i) index_[FoldText(Name(i))].push_back(i);
}

void TSectionList::Delete(int i) {
  if (i < 0 || i >= Count()) return;
  items_.erase(items_.begin() + i);
  Reindex();
}

void TSectionList::Rename(int i, const std::string& name) {
  if (i < 0 || i >= Count()) return;
  auto& old = index_[FoldText(Name(i))];
  old.erase(std::find(old.begin(), old.end(), i));
  if (old.empty()) index_.erase(FoldText(Name(i)));
  items_[static_cast<std::size_t>(i)].Name = name;
  auto& now = index_[FoldText(name)];
  now.insert(std::lower_bound(now.begin(), now.end(), i), i);
}

void TSectionList::DeleteMarked(const std::vector<bool>& drop) {
  std::vector<TEntry> kept;
  kept.reserve(items_.size());
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (i >= drop.size() || !drop[i]) kept.push_back(std::move(items_[i]));
  items_ = std::move(kept);
  Reindex();
}

void TSectionList::Clear() {
  items_.clear();
  index_.clear();
  position_ = 0;
}

// ---------------------------------------------------------------------------
// TBigIniFile

TBigIniFile::TBigIniFile(const std::string& fileName) {
  SetFileName(fileName);
}

TBigIniFile::~TBigIniFile() {
  try {
    UpdateFile();
  } catch (const std::exception&) {
    // Nothing can be reported from here; callers flush first to see errors.
  }
}

void TBigIniFile::SetFileName(const std::string& fileName) {
  UpdateFile();
  sections_.Clear();
  lastFound_ = 0;
  diskKnown_ = false;
  oldChanged_ = false;
  flushedCount_ = 0;
  fileName_ = Cut(fileName);
  if (!fileName_.empty()) LoadFromFile(fileName_);
  modified_ = false;
}

void TBigIniFile::LoadFromFile(const std::string& fileName) {
  if (sections_.Count() > 0) {
    sections_.Clear();
    TouchAll();
  }
  lastFound_ = 0;
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      if (fileName == fileName_) diskKnown_ = false;
      return;
    }
    throw EInOutError(N_("Cannot open %1: %2"), {fileName, std::strerror(errno)});
  }
  std::optional<std::string> text = ReadWholeFile(fileName);
  if (!text) throw EInOutError(N_("Cannot read %1"), {fileName});
  ParseText(*text);
  MergeDuplicates();
  if (fileName == fileName_) {
    // Later flushes may append only when the file holds exactly what a
    // full rewrite of this image would write.
    flushedCount_ = sections_.Count();
    oldChanged_ = false;
    diskKnown_ = false;
    if (FileText() == *text) NoteDiskState(*text);
  }
}

void TBigIniFile::ParseText(const std::string& text) {
  int current = -1;
  std::size_t pos = 0;
  const std::size_t n = text.size();
  while (pos < n) {
    std::size_t end = pos;
    while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
    std::string line = text.substr(pos, std::min(end - pos, kIniMaxText));
    pos = end;
    if (pos < n && text[pos] == '\r') ++pos;
    if (pos < n && text[pos] == '\n') ++pos;

    if (line == "\x1A") line.clear();
    if (DropComments && !line.empty() && line[0] == ';') line.clear();
    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      current = sections_.Add(line.substr(1, line.size() - 2));
      continue;
    }
    if (TrimAroundEq) {
      const std::size_t eq = line.find('=');
      if (eq != std::string::npos) {
        std::size_t b = eq, e = eq + 1;
        while (b > 0 && (line[b - 1] == ' ' || line[b - 1] == '\t')) --b;
        while (e < line.size() && (line[e] == ' ' || line[e] == '\t')) ++e;
        line = line.substr(0, b) + "=" + line.substr(e);
      }
    }
    if (Unquote) {
      const std::size_t eq = line.find('=');
      if (eq != std::string::npos && line.size() - eq - 1 >= 2) {
        const char q = line[eq + 1];
        if ((q == '"' || q == '\'') && line.back() == q)
          line = line.substr(0, eq + 1) + line.substr(eq + 2, line.size() - eq - 3);
      }
    }
    if (TrimTrailing) {
      while (!line.empty() && static_cast<unsigned char>(line.back()) < 0x21) line.pop_back();
    }
    if (DropLinesWithoutEq && line.find('=') == std::string::npos) continue;
    if (current >= 0) sections_.Lines(current).push_back(std::move(line));
  }
}

void TBigIniFile::MergeDuplicates() {
  const int count = sections_.Count();
  if (count < 2) return;
  std::vector<std::pair<std::string, int>> names;
  names.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) names.emplace_back(FoldText(sections_.Name(i)), i);
  std::sort(names.begin(), names.end());
  std::vector<bool> drop(static_cast<std::size_t>(count), false);
  bool found = false;
  for (std::size_t i = 0; i < names.size();) {
    std::size_t j = i + 1;
    int keep = names[i].second;
    while (j < names.size() && names[j].first == names[i].first) {
      const int later = names[j].second;
      found = true;
      bool dropLater = true;
      if (OnDuplicateSection)
        dropLater =
            OnDuplicateSection(sections_.Name(keep), sections_.Lines(keep), sections_.Lines(later));
      if (dropLater) {
        drop[static_cast<std::size_t>(later)] = true;
      } else {
        drop[static_cast<std::size_t>(keep)] = true;
        keep = later;
      }
      ++j;
    }
    i = j;
  }
  if (!found) return;
  sections_.DeleteMarked(drop);
  sections_.SetPosition(0);
  lastFound_ = 0;
  TouchAll();
}

void TBigIniFile::Clear() {
  if (sections_.Count() > 0) TouchAll();
  sections_.Clear();
  lastFound_ = 0;
}

void TBigIniFile::Touch(int section) {
  modified_ = true;
  if (section < flushedCount_) oldChanged_ = true;
}

void TBigIniFile::TouchAll() {
  modified_ = true;
  oldChanged_ = true;
}

int TBigIniFile::FindSection(const std::string& section, bool create) {
  const std::string name = Cut(section);
  if (sections_.Count() > 0) {
    const int i = sections_.FindFrom(name, lastFound_);
    if (i >= 0) {
      lastFound_ = i;
      return i;
    }
  }
  if (!create) return -1;
  lastFound_ = sections_.Add(name);
  return lastFound_;
}

TBigIniFile::TKeyPos TBigIniFile::FindKey(const std::string& section, const std::string& key,
                                          bool create) {
  TKeyPos p;
  p.Section = FindSection(section, create);
  if (p.Section < 0) return p;
  const std::string k = Cut(key);
  const TStringList& lines = sections_.Lines(p.Section);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (LineHasKey(lines[i], k)) {
      p.Line = static_cast<int>(i);
      break;
    }
  }
  return p;
}

std::string TBigIniFile::RawValue(const std::string& section, const std::string& key, bool& found) {
  const TKeyPos p = FindKey(section, key, false);
  found = p.Line >= 0;
  if (!found) return "";
  const std::string& line = sections_.Lines(p.Section)[static_cast<std::size_t>(p.Line)];
  return line.substr(line.find('=') + 1);
}

void TBigIniFile::WriteLine(const std::string& section, const std::string& key,
                            const std::string& line) {
  const TKeyPos p = FindKey(section, key, true);
  TStringList& lines = sections_.Lines(p.Section);
  if (p.Line < 0) {
    lines.push_back(line);
    Touch(p.Section);
  } else if (lines[static_cast<std::size_t>(p.Line)] != line) {
    lines[static_cast<std::size_t>(p.Line)] = line;
    Touch(p.Section);
  }
}

void TBigIniFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value) {
  if (key.empty()) {
    if (!section.empty() || !value.empty())
      EraseSection(section);
    else
      UpdateFile();
    return;
  }
  WriteLine(section, key, Cut(key) + "=" + value);
}

void TBigIniFile::WriteShortString(const std::string& section, const std::string& key,
                                   const std::string& value) {
  if (key.empty()) {
    WriteString(section, key, value);
    return;
  }
  WriteLine(section, key, Cut(Cut(key) + "=" + value));
}

void TBigIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteShortString(section, key, value ? "1" : "0");
}

void TBigIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteShortString(section, key, std::to_string(value));
}

void TBigIniFile::WriteDate(const std::string& section, const std::string& key, TDateTime value) {
  WriteShortString(section, key, DateText(value));
}

void TBigIniFile::WriteDateTime(const std::string& section, const std::string& key,
                                TDateTime value) {
  WriteShortString(section, key, DateTimeText(value));
}

void TBigIniFile::WriteTime(const std::string& section, const std::string& key, TDateTime value) {
  WriteShortString(section, key, TimeText(value));
}

void TBigIniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value);
  WriteShortString(section, key, std::string(buf, r.ptr));
}

void TBigIniFile::DeleteKey(const std::string& section, const std::string& key) {
  const TKeyPos p = FindKey(section, key, true);
  if (p.Line < 0) return;
  TStringList& lines = sections_.Lines(p.Section);
  lines.erase(lines.begin() + p.Line);
  Touch(p.Section);
}

void TBigIniFile::EraseSection(const std::string& section) {
  const int i = sections_.IndexOf(Cut(section));
  if (i < 0) return;
  sections_.Delete(i);
  sections_.SetPosition(0);
  modified_ = true;
  if (i < flushedCount_) {
    --flushedCount_;
    oldChanged_ = true;
  }
  if (lastFound_ >= sections_.Count()) lastFound_ = 0;
}

bool TBigIniFile::SectionExists(const std::string& section) {
  return sections_.IndexOf(Cut(section)) >= 0;
}

std::string TBigIniFile::ReadString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) {
  bool found = false;
  std::string v = RawValue(section, key, found);
  return found ? v : defaultValue;
}

std::string TBigIniFile::ReadShortString(const std::string& section, const std::string& key,
                                         const std::string& defaultValue) {
  return Cut(ReadString(section, key, defaultValue));
}

int TBigIniFile::ReadInteger(const std::string& section, const std::string& key, int defaultValue) {
  bool found = false;
  const std::string v = RawValue(section, key, found);
  int out = 0;
  return found && ParseInteger(v, out) ? out : defaultValue;
}

bool TBigIniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

double TBigIniFile::ReadFloat(const std::string& section, const std::string& key,
                              double defaultValue) {
  bool found = false;
  const std::string v = Trim(RawValue(section, key, found));
  if (!found || v.empty()) return defaultValue;
  double out = 0;
  const char* first = v.data();
  if (*first == '+') ++first;
  auto r = std::from_chars(first, v.data() + v.size(), out);
  if (r.ec != std::errc() || r.ptr != v.data() + v.size()) return defaultValue;
  return out;
}

TDateTime TBigIniFile::ReadDate(const std::string& section, const std::string& key,
                                TDateTime defaultValue) {
  bool found = false;
  const std::string v = RawValue(section, key, found);
  if (!found || v.empty()) return defaultValue;
  return ParseDateText(v).value_or(defaultValue);
}

TDateTime TBigIniFile::ReadDateTime(const std::string& section, const std::string& key,
                                    TDateTime defaultValue) {
  bool found = false;
  const std::string v = RawValue(section, key, found);
  if (!found || v.empty()) return defaultValue;
  return ParseDateTimeText(v).value_or(defaultValue);
}

TDateTime TBigIniFile::ReadTime(const std::string& section, const std::string& key,
                                TDateTime defaultValue) {
  bool found = false;
  const std::string v = RawValue(section, key, found);
  if (!found || v.empty()) return defaultValue;
  return ParseTimeText(v).value_or(defaultValue);
}

void TBigIniFile::ReadSection(const std::string& section, TStringList& keys) {
  if (ClearBeforeCopy) keys.clear();
  const int i = sections_.IndexOf(Cut(section));
  if (i < 0) return;
  for (const std::string& line : sections_.Lines(i)) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) keys.push_back(line.substr(0, eq));
  }
}

void TBigIniFile::ReadSections(TStringList& sections) const {
  sections.clear();
  for (int i = 0; i < sections_.Count(); ++i) sections.push_back(sections_.Name(i));
}

void TBigIniFile::ReadSectionValues(const std::string& section, TStringList& lines) {
  if (ClearBeforeCopy) lines.clear();
  const int i = sections_.IndexOf(Cut(section));
  if (i < 0) return;
  const TStringList& src = sections_.Lines(i);
  lines.insert(lines.end(), src.begin(), src.end());
}

void TBigIniFile::ReadAll(TStringList& list) const {
  for (int i = 0; i < sections_.Count(); ++i) {
    const TStringList& lines = sections_.Lines(i);
    if (lines.empty()) continue;
    list.push_back("[" + sections_.Name(i) + "]");
    list.insert(list.end(), lines.begin(), lines.end());
    list.emplace_back();
  }
}

bool TBigIniFile::ValueExists(const std::string& section, const std::string& key) {
  return FindKey(section, key, false).Line >= 0;
}

namespace {
void AppendSectionText(std::string& out, const std::string& name, const TStringList& lines) {
  if (lines.empty()) return;
  out += '[';
  out += name;
  out += "]\r\n";
  for (const std::string& l : lines) {
    out += l;
    out += "\r\n";
  }
  out += "\r\n";
}
}  // namespace

std::string TBigIniFile::FileText() const {
  std::string out;
  for (int i = 0; i < sections_.Count(); ++i)
    AppendSectionText(out, sections_.Name(i), sections_.Lines(i));
  return out;
}

void TBigIniFile::NoteDiskState(const std::string& written) {
  struct stat st {};
  diskKnown_ = ::stat(fileName_.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
               static_cast<std::uint64_t>(st.st_size) == written.size();
  diskSize_ = written.size();
  diskDev_ = static_cast<std::uint64_t>(st.st_dev);
  diskIno_ = static_cast<std::uint64_t>(st.st_ino);
  flushedCount_ = sections_.Count();
  oldChanged_ = false;
}

void TBigIniFile::UpdateFile() {
  if (!modified_) return;
  if (!fileName_.empty()) {
    struct stat st {};
    const bool canAppend = diskKnown_ && !oldChanged_ && ::stat(fileName_.c_str(), &st) == 0 &&
                           S_ISREG(st.st_mode) &&
                           static_cast<std::uint64_t>(st.st_size) == diskSize_ &&
                           static_cast<std::uint64_t>(st.st_dev) == diskDev_ &&
                           static_cast<std::uint64_t>(st.st_ino) == diskIno_;
    if (canAppend) {
      // Only sections added since the last flush changed: their text goes
      // after what the file already holds.
      std::string tail;
      for (int i = flushedCount_; i < sections_.Count(); ++i)
        AppendSectionText(tail, sections_.Name(i), sections_.Lines(i));
      if (!tail.empty()) {
        const int fd = ::open(fileName_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0) {
          diskKnown_ = false;
          throw EInOutError(N_("Cannot open %1: %2"), {fileName_, std::strerror(errno)});
        }
        std::size_t off = 0;
        while (off < tail.size()) {
          const ssize_t n = ::write(fd, tail.data() + off, tail.size() - off);
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) {
            const int err = errno;
            // Take the partial tail back off so the file keeps its old content.
            diskKnown_ = ::ftruncate(fd, static_cast<off_t>(diskSize_)) == 0;
            ::close(fd);
            throw EInOutError(N_("Cannot write %1: %2"), {fileName_, std::strerror(err)});
          }
          off += static_cast<std::size_t>(n);
        }
        if (::close(fd) != 0) {
          diskKnown_ = false;
          throw EInOutError(N_("Cannot write %1: %2"), {fileName_, std::strerror(errno)});
        }
        diskSize_ += tail.size();
      }
      flushedCount_ = sections_.Count();
    } else {
      const std::string text = FileText();
      try {
        WriteFileAtomically(fileName_, text);
      } catch (const EQuillboxError& e) {
        throw EInOutError(e);
      } catch (const std::exception& e) {
        throw EInOutError(e.what());
      }
      NoteDiskState(text);
    }
  }
  modified_ = false;
}

// ---------------------------------------------------------------------------
// TCommaSeparatedInfo, TCSIFont

std::string TCommaSeparatedInfo::Text() const {
  std::string out;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (i > 0) out += ',';
    const std::string& f = fields_[i];
    const bool quote = f.find_first_of(",\"") != std::string::npos ||
                       (!f.empty() && (static_cast<unsigned char>(f.front()) <= 32 ||
                                       static_cast<unsigned char>(f.back()) <= 32));
    if (!quote) {
      out += f;
      continue;
    }
    out += '"';
    for (char c : f) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

void TCommaSeparatedInfo::SetText(const std::string& text) {
  fields_.clear();
  if (text.empty()) return;
  std::size_t i = 0;
  for (;;) {
    std::string field;
    if (i < text.size() && text[i] == '"') {
      ++i;
      while (i < text.size()) {
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += text[i++];
      }
      // Anything between the closing quote and the comma belongs to the field.
      while (i < text.size() && text[i] != ',') field += text[i++];
    } else {
      while (i < text.size() && text[i] != ',') field += text[i++];
    }
    fields_.push_back(std::move(field));
    if (i >= text.size()) break;
    ++i;  // the comma
  }
}

std::string TCommaSeparatedInfo::Element(int i) const {
  return i >= 0 && i < Count() ? fields_[static_cast<std::size_t>(i)] : std::string();
}

void TCommaSeparatedInfo::SetElement(int i, const std::string& value) {
  if (i < 0) return;
  if (static_cast<std::size_t>(i) >= fields_.size())
    fields_.resize(static_cast<std::size_t>(i) + 1);
  fields_[static_cast<std::size_t>(i)] = value;
}

int TCommaSeparatedInfo::IntegerElement(int i) const {
  const std::string v = Trim(Element(i));
  int out = 0;
  const char* first = v.data();
  if (!v.empty() && *first == '+') ++first;
  auto r = std::from_chars(first, v.data() + v.size(), out);
  if (v.empty() || r.ec != std::errc() || r.ptr != v.data() + v.size()) return -1;
  return out;
}

void TCommaSeparatedInfo::SetIntegerElement(int i, int value) {
  SetElement(i, std::to_string(value));
}

namespace {
struct TNamedColor {
  const char* Name;
  std::uint32_t Value;
};
constexpr TNamedColor kColors[] = {
    {"clBlack", 0x000000},  {"clMaroon", 0x000080},  {"clGreen", 0x008000}, {"clOlive", 0x008080},
    {"clNavy", 0x800000},   {"clPurple", 0x800080},  {"clTeal", 0x808000},  {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0}, {"clRed", 0x0000FF},     {"clLime", 0x00FF00},  {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},   {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00},  {"clWhite", 0xFFFFFF},
};

bool ParseHex32(const std::string& text, std::uint32_t& out) {
  if (text.empty() || text.size() > 8) return false;
  std::uint32_t v = 0;
  for (char c : text) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    v = v * 16 + static_cast<std::uint32_t>(d);
  }
  out = v;
  return true;
}
}  // namespace

bool ColorFromName(const std::string& name, std::uint32_t& color) {
  for (const TNamedColor& c : kColors) {
    if (IniSameText(name, c.Name)) {
      color = c.Value;
      return true;
    }
  }
  return false;
}

void TCSIFont::ApplyTo(TFontRecord& font) const {
  if (Count() > 0) font.Name = Element(0);
  if (Count() > 1) font.Size = IntegerElement(1);
  if (Count() > 2) font.Bold = BoolElement(2);
  if (Count() > 3) font.Italic = BoolElement(3);
  if (Count() > 4) font.Underline = BoolElement(4);
  if (Count() > 5) font.StrikeOut = BoolElement(5);
  if (Count() > 6) {
    const std::string c = Trim(Element(6));
    std::uint32_t v = 0;
    if (ParseHex32(c, v) || ColorFromName(c, v)) font.Color = v;
  }
  if (Count() > 7) font.Charset = IntegerElement(7);
  if (Count() > 8) font.Pitch = IntegerElement(8);
}

void TCSIFont::Assign(const TFontRecord& font) {
  fields_.clear();
  SetElement(0, font.Name);
  SetIntegerElement(1, font.Size);
  SetBoolElement(2, font.Bold);
  SetBoolElement(3, font.Italic);
  SetBoolElement(4, font.Underline);
  SetBoolElement(5, font.StrikeOut);
  SetElement(6, Hex8(font.Color));
  SetIntegerElement(7, font.Charset);
  SetIntegerElement(8, font.Pitch);
}

// ---------------------------------------------------------------------------
// TBiggerIniFile

std::size_t TBiggerIniFile::ReadBytes(const std::string& section, const std::string& key,
                                      std::size_t capacity, void* buffer) {
  bool found = false;
  const std::string v = RawValue(section, key, found);
  if (!found) return 0;
  const std::size_t count = std::min(v.size() / 2, capacity);
  auto* out = static_cast<std::uint8_t*>(buffer);
  for (std::size_t i = 0; i < count; ++i) {
    const int hi = HexDigit(v[2 * i]), lo = HexDigit(v[2 * i + 1]);
    if (hi < 0 || lo < 0) return 0;
    out[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return count;
}

std::uint32_t TBiggerIniFile::ReadHexValue(const std::string& section, const std::string& key,
                                           std::uint32_t defaultValue) {
  bool found = false;
  const std::string v = RawValue(section, key, found);
  if (!found) return defaultValue;
  std::uint32_t out = 0;
  if (!ParseHex32(v, out)) throw EConvertError("'" + v + "' is not a valid hexadecimal value");
  return out;
}

void TBiggerIniFile::ReadFontSpec(const std::string& section, const std::string& key,
                                  TFontRecord& font) {
  bool found = false;
  const std::string v = RawValue(section, key, found);
  if (!found) return;
  TCSIFont(v).ApplyTo(font);
}

void TBiggerIniFile::RenameKey(const std::string& section, const std::string& oldKey,
                               const std::string& newKey) {
  if (IniSameText(Cut(oldKey), Cut(newKey))) return;
  bool found = false;
  const std::string v = RawValue(section, oldKey, found);
  if (!found) return;
  WriteString(section, newKey, v);
  DeleteKey(section, oldKey);
}

void TBiggerIniFile::RenameSection(const std::string& oldName, const std::string& newName) {
  const int i = sections_.IndexOf(Cut(oldName));
  if (i < 0 || Cut(oldName) == Cut(newName)) return;
  sections_.Rename(i, Cut(newName));
  Touch(i);
}

void TBiggerIniFile::WriteBytes(const std::string& section, const std::string& key,
                                std::size_t count, const void* buffer) {
  static const char kHex[] = "0123456789ABCDEF";
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  std::string text;
  text.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    text += kHex[in[i] >> 4];
    text += kHex[in[i] & 15];
  }
  WriteString(section, key, text);
}

void TBiggerIniFile::WriteHexValue(const std::string& section, const std::string& key,
                                   std::uint32_t value) {
  WriteShortString(section, key, Hex8(value));
}

void TBiggerIniFile::WriteFontSpec(const std::string& section, const std::string& key,
                                   const TFontRecord& font) {
  TCSIFont spec;
  spec.Assign(font);
  WriteString(section, key, spec.Text());
}

void TBiggerIniFile::WriteCountedList(const std::string& section, const TStringList& list) {
  const int s = FindSection(section, true);
  const TStringList before = sections_.Lines(s);
  const bool wasModified = modified_;
  const bool wasOldChanged = oldChanged_;
  const int oldCount = ReadInteger(section, "Count", 0);
  // Delete the keys "1" to the old count: the first line of each, as a
  // DeleteKey per number would, without walking a count read from the file.
  if (oldCount > 0) {
    TStringList& lines = sections_.Lines(s);
    std::set<long long> seen;
    for (std::size_t i = 0; i < lines.size();) {
      const std::size_t eq = lines[i].find('=');
      const std::string k = eq == std::string::npos ? std::string() : lines[i].substr(0, eq);
      long long n = 0;
      bool canonical = !k.empty() && k.size() <= 10 && k[0] != '0' &&
                       std::all_of(k.begin(), k.end(), [](char c) { return c >= '0' && c <= '9'; });
      if (canonical) n = std::stoll(k);
      if (canonical && n >= 1 && n <= oldCount && seen.insert(n).second) {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
        Touch(s);
        continue;
      }
      ++i;
    }
  }
  WriteInteger(section, "Count", static_cast<int>(list.size()));
  for (std::size_t i = 0; i < list.size(); ++i)
    WriteString(section, std::to_string(i + 1), list[i]);
  if (!wasModified && sections_.Lines(s) == before) {
    modified_ = false;
    oldChanged_ = wasOldChanged;
  }
}

void TBiggerIniFile::ReplaceSection(const std::string& section, const TStringList& list) {
  const int s = FindSection(section, true);
  TStringList& lines = sections_.Lines(s);
  if (lines.size() == list.size()) {
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (lines[i] != list[i]) {
        lines[i] = list[i];
        Touch(s);
      }
    }
    return;
  }
  lines = list;
  Touch(s);
}

}  // namespace qb
