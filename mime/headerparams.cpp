#include "mime/headerparams.h"

#include <algorithm>
#include <cerrno>

#include "mime/mimehelpers.h"
#include "platform/codepage.h"
#include "platform/text.h"

namespace qb {

namespace {

bool IsBlankChar(char c) {
  return c == ' ' || c == '\t';
}

// Splits "NAME*12*" into the name, the section and the encoding marker.
// A "*" that is not followed by digits (and an optional "*") is part of an
// ordinary name.
void DecomposeName(THeaderParameter& p, std::string_view upperName) {
  p.Name = std::string(upperName);
  std::size_t star = upperName.find('*');
  if (star == std::string_view::npos) return;
  std::string_view rest = upperName.substr(star + 1);
  if (rest.empty()) {
    p.Extended = p.Encoded = true;
  } else {
    bool encoded = rest.back() == '*';
    std::string_view digits = encoded ? rest.substr(0, rest.size() - 1) : rest;
    if (digits.empty() || digits.size() > 4 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return;
    p.Extended = true;
    p.Encoded = encoded;
    p.Section = std::stoi(std::string(digits));
  }
  p.Name = std::string(upperName.substr(0, star));
}

// Percent escapes to bytes; a "%" without two hex digits after it stays.
void AppendPercentDecoded(std::string& out, std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(s[i]);
  }
}

// "charset'language'text": the charset and the text. Without both quotes
// the whole value is text in no particular charset.
std::string_view SplitCharset(std::string_view value, std::string& charset) {
  std::size_t q1 = value.find('\'');
  std::size_t q2 = q1 == std::string_view::npos ? q1 : value.find('\'', q1 + 1);
  if (q2 == std::string_view::npos) {
    charset.clear();
    return value;
  }
  charset = Trim(value.substr(0, q1));
  return value.substr(q2 + 1);
}

std::string OldRuleFileName(std::string_view key, std::string_view line,
                            const TMimeParserOptions& o) {
  std::string raw = HeaderValue(key, line);
  if (raw.empty()) return "";
  return Trim(DecodeHeaderWords(StripOuterQuote(std::string_view(raw).substr(1)), o));
}

}  // namespace

std::vector<THeaderParameter> ParseHeaderParameters(std::string_view line, bool keepSemicolons) {
  std::vector<THeaderParameter> params;
  std::size_t i = line.find(';');
  if (i == std::string_view::npos) return params;
  const std::size_t n = line.size();
  ++i;
  while (i < n) {
    while (i < n && (IsBlankChar(line[i]) || line[i] == ';')) ++i;
    if (i >= n) break;
    const std::size_t nameBegin = i;
    while (i < n && line[i] != '=' && line[i] != ';') ++i;
    std::size_t nameEnd = i;
    while (nameEnd > nameBegin && IsBlankChar(line[nameEnd - 1])) --nameEnd;
    if (i >= n || line[i] == ';') continue;  // a word without a value
    ++i;                                     // the "="
    while (i < n && IsBlankChar(line[i])) ++i;
    THeaderParameter p;
    DecomposeName(p, UpperCase(line.substr(nameBegin, nameEnd - nameBegin)));
    p.NameBegin = nameBegin;
    p.NameEnd = nameEnd;
    if (i < n && line[i] == '"') {
      p.Quoted = true;
      ++i;
      if (keepSemicolons) {
        while (i < n && line[i] != '"') {
          if (line[i] == '\\' && i + 1 < n && (line[i + 1] == '"' || line[i + 1] == '\\')) ++i;
          p.Value.push_back(line[i++]);
        }
        // Whatever follows the closing quote up to the next ";" is noise.
        while (i < n && line[i] != ';') ++i;
      } else {
        std::size_t end = line.find(';', i);
        if (end == std::string_view::npos) end = n;
        std::string_view v = TrimView(line.substr(i, end - i));
        if (!v.empty() && v.back() == '"') v.remove_suffix(1);
        p.Value = std::string(v);
        i = end;
      }
    } else {
      std::size_t end = line.find(';', i);
      if (end == std::string_view::npos) end = n;
      p.Value = Trim(line.substr(i, end - i));
      i = end;
    }
    params.push_back(std::move(p));
  }
  return params;
}

std::string DecodeRfc2231Value(std::string_view value, bool hasCharset, bool& ok) {
  std::string charset;
  std::string_view text = hasCharset ? SplitCharset(value, charset) : value;
  std::string bytes;
  AppendPercentDecoded(bytes, text);
  std::string out;
  ok = CharsetToUtf8(charset, bytes, out);
  return ok ? out : bytes;
}

namespace {

// The decoded value of the RFC 2231 forms of name, or false when there are
// none. ok is false when the value is broken.
bool Rfc2231Value(const std::vector<THeaderParameter>& params, const std::string& name,
                  std::string& value, bool& ok) {
  std::vector<const THeaderParameter*> sections;
  for (const auto& p : params) {
    if (p.Name != name || !p.Extended) continue;
    if (p.Section < 0) {  // "name*=": the whole value in one piece
      value = DecodeRfc2231Value(p.Value, true, ok);
      ok = ok && !IsBlank(value);
      return true;
    }
    sections.push_back(&p);
  }
  if (sections.empty()) return false;
  // Continuations in the order of their numbers, whatever the order they
  // are written in; of a number given twice the first counts.
  std::stable_sort(
      sections.begin(), sections.end(),
      [](const THeaderParameter* a, const THeaderParameter* b) { return a->Section < b->Section; });
  std::string charset, bytes;
  int last = -1;
  for (const THeaderParameter* p : sections) {
    if (p->Section == last) continue;
    std::string_view text = p->Value;
    if (last < 0 && p->Encoded) text = SplitCharset(text, charset);
    if (p->Encoded)
      AppendPercentDecoded(bytes, text);
    else
      bytes.append(text);
    last = p->Section;
  }
  ok = CharsetToUtf8(charset, bytes, value);
  if (!ok) value = bytes;
  ok = ok && !IsBlank(value);
  return true;
}

std::string ParameterFileName(const std::vector<THeaderParameter>& params, const std::string& name,
                              const TMimeParserOptions& o) {
  const THeaderParameter* plain = nullptr;
  for (const auto& p : params)
    if (p.Name == name && !p.Extended) {
      plain = &p;
      break;
    }
  if (o.Rfc2231Parameters) {
    std::string value;
    bool ok = false;
    if (Rfc2231Value(params, name, value, ok) && (ok || !plain)) return Trim(value);
  }
  if (!plain) return "";
  return Trim(DecodeHeaderWords(plain->Quoted ? plain->Value : StripOuterQuote(plain->Value), o));
}

}  // namespace

std::string FileNameParameter(std::string_view key, std::string_view line,
                              const TMimeParserOptions& o) {
  const bool parse = o.WholeParameterNames || o.Rfc2231Parameters || o.QuotedValuesKeepSemicolons;
  if (!parse) return OldRuleFileName(key, line, o);
  const std::vector<THeaderParameter> params =
      ParseHeaderParameters(line, o.QuotedValuesKeepSemicolons);
  const std::string name(key);
  if (o.WholeParameterNames)
    for (const auto& p : params)
      if (p.Name == name && (o.Rfc2231Parameters || !p.Extended))
        return ParameterFileName(params, name, o);
  // The old rule: the first occurrence of key anywhere. When that lies in
  // the name of a parameter ("NAME" in "filename"), the value is read as
  // that parameter's.
  const std::size_t at = FindUpper(line, key);
  if (at == std::string_view::npos) return "";
  for (const auto& p : params) {
    if (at < p.NameBegin || at >= p.NameEnd) continue;
    if (p.Extended && !o.Rfc2231Parameters) break;
    // The occurrence must reach the end of the name for the text after it
    // to be this parameter's value.
    if (at + key.size() != p.NameBegin + p.Name.size()) break;
    return ParameterFileName(params, p.Name, o);
  }
  return OldRuleFileName(key, line, o);
}

std::string UnstructuredValue(std::string_view key, std::string_view line) {
  std::size_t at = FindUpper(line, key);
  if (at == std::string_view::npos) return "";
  return Trim(line.substr(at + key.size()));
}

}  // namespace qb
