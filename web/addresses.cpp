#include "web/addresses.h"

#include <cstdio>
#include <optional>
#include <stdexcept>

#include "platform/paths.h"
#include "platform/text.h"
#include "web/jsHTMLParser.h"

namespace qb {

namespace {

// Pending addresses past which a run writes its finds without waiting for
// its end, so a long run that dies keeps most of them.
constexpr std::size_t kFlushEvery = 1000;

std::string PercentDecode(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
      r += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
      i += 2;
    } else {
      r += s[i];
    }
  }
  return r;
}

bool IsAddress(std::string_view a) {
  const std::size_t at = a.rfind('@');
  if (at == std::string_view::npos || at == 0 || at + 1 == a.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(a[i]);
    if (c <= 32 || c == 127) return false;
    switch (c) {
      case '<':
      case '>':
      case '(':
      case ')':
      case ',':
      case ';':
      case ':':
      case '"':
      case '\\':
      case '[':
      case ']':
        return false;
      case '@':
        if (i != at) return false;
        break;
      default:
        break;
    }
  }
  return true;
}

// Several addresses in one "mailto:" target are separated by commas (and,
// in the wild, semicolons).
template <typename F>
void ForEachMailtoAddress(std::string_view target, F&& f) {
  if (StartsWithNoCase(TrimView(target), "mailto:")) target = TrimView(target).substr(7);
  const std::size_t q = target.find('?');
  if (q != std::string_view::npos) target = target.substr(0, q);
  const std::string decoded = PercentDecode(target);
  std::size_t p = 0;
  for (;;) {
    const std::size_t end = decoded.find_first_of(",;", p);
    f(std::string_view(decoded).substr(p, end == std::string::npos ? end : end - p));
    if (end == std::string::npos) break;
    p = end + 1;
  }
}

}  // namespace

std::string DefaultGrabbedAddressesPath() {
  return AppDataDir() + "/" + kGrabbedAddressesPath;
}

std::string CleanAddress(std::string_view text) {
  std::string_view s = TrimView(text);
  if (StartsWithNoCase(s, "mailto:")) s = TrimView(s.substr(7));
  // Wrappers, outermost first: <...>, "...", '...'.
  for (bool changed = true; changed && s.size() >= 2;) {
    changed = false;
    const char a = s.front(), b = s.back();
    if ((a == '<' && b == '>') || (a == '"' && b == '"') || (a == '\'' && b == '\'')) {
      s = TrimView(s.substr(1, s.size() - 2));
      changed = true;
    }
  }
  const std::size_t q = s.find('?');
  if (q != std::string_view::npos) s = s.substr(0, q);
  std::string r = PercentDecode(s);
  return IsAddress(r) ? r : std::string();
}

std::vector<std::string> MessageAddresses(const TMoxMsg& message) {
  std::vector<std::string> r;
  auto add = [&r](std::string_view text) {
    std::string a = CleanAddress(text);
    if (!a.empty()) r.push_back(std::move(a));
  };
  add(message.FromAddress);
  for (const TAddressList* list : {&message.SendToList, &message.CCList})
    for (int i = 0; i < list->Count(); ++i) add(list->Items(i).Address);
  for (std::string& a : HTMLAddresses(message.HTML)) r.push_back(std::move(a));
  return r;
}

std::vector<std::string> HTMLAddresses(const TStringList& htmlLines) {
  std::vector<std::string> r;
  if (htmlLines.empty()) return r;
  TjsHTMLParser parser;
  parser.SetHTML(htmlLines);
  parser.Execute();
  for (const std::string& target : parser.Parsed().EMails)
    ForEachMailtoAddress(target, [&r](std::string_view text) {
      std::string a = CleanAddress(text);
      if (!a.empty()) r.push_back(std::move(a));
    });
  return r;
}

// --- TAddressBook ------------------------------------------------------------

TAddressBook::TAddressBook(std::string path) : path_(std::move(path)) {}

bool TAddressBook::Load() {
  Clear();
  if (!FileExists(path_)) return true;
  const std::optional<std::string> bytes = ReadWholeFile(path_);
  if (!bytes) return false;
  std::size_t p = 0;
  while (p < bytes->size()) {
    std::size_t end = bytes->find('\n', p);
    if (end == std::string::npos) end = bytes->size();
    const std::string line = Trim(std::string_view(*bytes).substr(p, end - p));
    if (!line.empty()) Add(line);
    p = end + 1;
  }
  return true;
}

bool TAddressBook::Add(const std::string& address) {
  if (address.empty() || !keys_.insert(LowerCase(address)).second) return false;
  addresses_.push_back(address);
  return true;
}

void TAddressBook::Clear() {
  addresses_.clear();
  keys_.clear();
}

std::string TAddressBook::Text() const {
  std::string r;
  for (const std::string& a : addresses_) r += a + "\n";
  return r;
}

void TAddressBook::Save() const {
  const std::size_t slash = path_.rfind('/');
  if (slash != std::string::npos && slash > 0) ForceDirectories(path_.substr(0, slash));
  WriteFileAtomically(path_, Text());
}

void TAddressBook::SaveTo(const std::string& path) const {
  WriteFileAtomically(path, Text());
}

// --- TAddressHarvester -------------------------------------------------------

TAddressHarvester::TAddressHarvester(std::string path) : path_(std::move(path)) {}

TAddressHarvester::~TAddressHarvester() {
  Flush();
}

void TAddressHarvester::AddAddress(std::string_view text) {
  std::string a = CleanAddress(text);
  if (a.empty() || !keys_.insert(LowerCase(a)).second) return;
  pending_.push_back(std::move(a));
  if (pending_.size() >= kFlushEvery) Flush();
}

void TAddressHarvester::AddMessage(const TMoxMsg& message) {
  for (const std::string& a : MessageAddresses(message)) AddAddress(a);
}

void TAddressHarvester::AddHTMLTargets(const std::string& html) {
  if (html.empty()) return;
  for (const std::string& a : HTMLAddresses(SplitTextLines(html))) AddAddress(a);
}

bool TAddressHarvester::Flush() {
  if (pending_.empty()) return true;
  try {
    TAddressBook book(path_);
    if (!book.Load()) return false;  // never overwrite a list we could not read
    for (const std::string& a : pending_) book.Add(a);
    book.Save();
    pending_.clear();
    return true;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Grabbed addresses: %s\n", e.what());
    return false;
  }
}

}  // namespace qb
