#include "mime/MoxMsg.h"

#include <cstring>
#include <stdexcept>

#include "mime/base64stream.h"
#include "mime/headerparams.h"
#include "platform/codepage.h"

namespace qb {

// --- Addresses ---------------------------------------------------------------

std::vector<std::string> TAddressList::StoreItems() const {
  std::vector<std::string> pairs;
  for (const auto& a : items_) {
    pairs.push_back(a.Name);
    pairs.push_back(a.Address);
  }
  return pairs;
}

void TAddressList::LoadItems(const std::vector<std::string>& pairs) {
  items_.clear();
  for (std::size_t i = 0; i < pairs.size(); i += 2)
    items_.push_back({pairs[i], i + 1 < pairs.size() ? pairs[i + 1] : std::string()});
}

TMailAddress ParseMailAddress(std::string_view text) {
  TMailAddress a;
  std::string s = Trim(text);
  std::size_t lt = s.find('<');
  if (lt == std::string::npos) {
    a.Address = s;
    return a;
  }
  std::size_t gt = s.find('>');
  if (gt == std::string::npos || gt < lt) {
    // No closing ">" after the "<": the whole text is taken as the name.
    a.Name = lt == 0 ? std::string() : StripQuotes(s);
    return a;
  }
  a.Address = StripQuotes(std::string_view(s).substr(lt + 1, gt - lt - 1));
  if (lt > 0) a.Name = StripQuotes(s.substr(0, lt) + s.substr(gt + 1));
  return a;
}

void ParseAddressList(std::string_view text, TAddressList& list) {
  if (text.find(',') == std::string_view::npos) {
    std::string t = Trim(text);
    if (!t.empty()) list.Add(ParseMailAddress(t));
    return;
  }
  // Pieces are cut off the front: a comma before the first "@" of what
  // remains belongs to the display name; the first comma after an "@" ends
  // the address (the next comma when no "@" remains).
  std::size_t p = 0;
  std::size_t at = text.find('@');
  for (;;) {
    if (at != std::string_view::npos && at < p) at = text.find('@', p);
    std::size_t end = text.find(',', at == std::string_view::npos ? p : at);
    if (end == std::string_view::npos) break;
    list.Add(ParseMailAddress(TrimView(text.substr(p, end - p))));
    p = end + 1;
  }
  std::string_view rest = TrimView(text.substr(p));
  if (!rest.empty()) list.Add(ParseMailAddress(rest));
}

std::string AddressListText(const TAddressList& list, std::string_view sep) {
  std::string r;
  for (int i = 0; i < list.Count(); ++i) {
    if (i) r += sep;
    const TMailAddress& a = list.Items(i);
    std::string name = Trim(a.Name);
    if (!name.empty()) r += "\"" + name + "\" ";
    r += "<" + Trim(a.Address) + ">";
  }
  return r;
}

// --- Date --------------------------------------------------------------------

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A decimal integer with an optional sign and nothing else.
bool ToInt(std::string_view s, int& v) {
  std::size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (i == s.size()) return false;
  long long r = 0;
  for (; i < s.size(); ++i) {
    if (!IsDigit(s[i])) return false;
    r = r * 10 + (s[i] - '0');
    if (r > 1000000000) return false;
  }
  v = static_cast<int>(neg ? -r : r);
  return true;
}

// hours:minutes or hours:minutes:seconds.
bool ParseTime(std::string_view s, TDateTime& t) {
  int parts[3] = {0, 0, 0};
  int n = 0;
  std::size_t i = 0;
  while (n < 3) {
    std::size_t c = s.find(':', i);
    std::string_view piece = s.substr(i, c == std::string_view::npos ? s.npos : c - i);
    if (piece.empty() || piece.size() > 2) return false;
    for (char ch : piece)
      if (!IsDigit(ch)) return false;
    ToInt(piece, parts[n++]);
    if (c == std::string_view::npos) break;
    i = c + 1;
    if (n == 3) return false;
  }
  if (n < 2 || parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return false;
  t = EncodeTime(parts[0], parts[1], parts[2]);
  return true;
}

}  // namespace

void ParseDate(std::string_view value, TDateTime& date, std::string& zone) {
  date = 0;
  zone.clear();
  std::string s = UpperCase(StripQuotes(value));
  std::size_t d = 0;
  while (d < s.size() && !IsDigit(s[d])) ++d;
  if (d + 1 >= s.size()) return;  // no digit, or the digit is the last character
  std::string_view r = TrimView(std::string_view(s).substr(d));
  // Day.
  std::size_t blank = r.find(' ');
  int day = 0;
  if (!ToInt(r.substr(0, blank), day)) return;
  r = blank == std::string_view::npos ? std::string_view() : TrimView(r.substr(blank + 1));
  // Month: the first name, in calendar order, found anywhere in the rest.
  static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  int month = 0;
  for (int m = 0; m < 12 && !month; ++m)
    if (r.find(kMonths[m]) != std::string_view::npos) month = m + 1;
  if (!month) return;
  std::size_t digit = 0;
  while (digit < r.size() && !IsDigit(r[digit])) ++digit;
  if (digit + 1 >= r.size()) return;
  r = TrimView(r.substr(digit));
  // Year.
  blank = r.find(' ');
  int year = 0;
  if (!ToInt(r.substr(0, blank), year)) return;
  if (year >= 0 && year <= 50)
    year += 2000;
  else if (year >= 51 && year <= 99)
    year += 1900;
  r = blank == std::string_view::npos ? std::string_view() : TrimView(r.substr(blank + 1));
  // Time.
  blank = r.find(' ');
  std::string_view tok = r.substr(0, blank);
  if (!tok.empty() && tok.back() == ',') tok.remove_suffix(1);
  TDateTime time = 0;
  if (!ParseTime(tok, time)) time = 0;
  if (!IsValidDate(year, month, day)) return;
  date = EncodeDate(year, month, day) + time;
  zone = blank == std::string_view::npos ? std::string() : Trim(r.substr(blank + 1));
}

// --- Address headers ---------------------------------------------------------

TStringList CollectAddressHeader(std::string_view key, TLineSpan lines) {
  // Commas between double quotes are replaced by this byte while the text
  // is split, then restored.
  constexpr char kProtected = '\x01';
  TStringList items;
  std::vector<bool> hadProtectedByte;
  auto splitInto = [&](std::string_view text) {
    std::string t(text);
    bool quoted = false;
    for (char& c : t) {
      if (c == '"')
        quoted = !quoted;
      else if (c == ',' && quoted)
        c = kProtected;
    }
    std::size_t start = 0;
    for (;;) {
      std::size_t comma = t.find(',', start);
      if (comma == std::string::npos) break;
      items.push_back(Trim(std::string_view(t).substr(start, comma - start)));
      start = comma + 1;
    }
    if (start < t.size()) items.push_back(Trim(std::string_view(t).substr(start)));
  };
  // A text that already held the marker byte keeps it: only the items made
  // here are restored, and only when the header had no such byte.
  bool markerInInput = false;
  for (const auto& l : lines)
    if (l.find(kProtected) != std::string::npos) markerInInput = true;

  std::size_t i = 0;
  while (i < lines.size()) {
    const std::string_view line = lines[i];
    if (!StartsWithUpper(line, key)) {
      ++i;
      continue;
    }
    std::size_t colon = line.find(':');
    if (colon == std::string::npos) break;
    splitInto(std::string_view(line).substr(std::min(line.size(), colon + 2)));
    ++i;
    while (i < lines.size() && lines[i].find(':') == std::string::npos) splitInto(lines[i++]);
  }
  if (!markerInInput)
    for (auto& it : items)
      for (char& c : it)
        if (c == kProtected) c = ',';
  return items;
}

// --- TMoxMsg -----------------------------------------------------------------

TMoxMsg::TMoxMsg() {
  RandomizeFromClock();
}

std::string TMoxMsg::SendTo() const {
  return AddressListText(SendToList);
}
std::string TMoxMsg::CC() const {
  return AddressListText(CCList);
}
std::string TMoxMsg::BCC() const {
  return AddressListText(BCCList);
}
void TMoxMsg::SetSendTo(std::string_view text) {
  ParseAddressList(text, SendToList);
}
void TMoxMsg::SetCC(std::string_view text) {
  ParseAddressList(text, CCList);
}
void TMoxMsg::SetBCC(std::string_view text) {
  ParseAddressList(text, BCCList);
}

void TMoxMsg::SetLocalHost(const std::string& value) {
  localHost_ = IsBlank(value) ? "a.b.c" : value;
}

void TMoxMsg::LoadRawMail(std::string_view bytes) {
  rawText_.reset();
  RawMail = SplitTextLines(bytes);
}

void TMoxMsg::TakeRawText(std::string text) {
  RawMail.clear();
  rawText_ = std::make_shared<const TLineIndex>(std::move(text));
}

void TMoxMsg::ClearRawMail() {
  std::uint64_t size = 0;
  for (const auto& l : RawMail) size += l.size() + 2;
  if (rawText_)
    for (const std::string_view l : TLineSpan(*rawText_)) size += l.size() + 2;
  RawSize = static_cast<std::int32_t>(size);
  RawMail.clear();
  rawText_.reset();
}

void TMoxMsg::ParseRawMail() {
  Headers.clear();
  if (rawText_) {
    // A text taken over: its attachments keep it and decode when written.
    const TLineSpan lines(*rawText_);
    for (const std::string_view l : lines) {
      if (l.empty()) break;
      Headers.emplace_back(l.substr(0, kMimeMaxHeaderFieldBytes));
    }
    ParseHeaders();
    keeper_ = rawText_;
    ParsePart(lines, 0);
    keeper_.reset();
  } else {
    for (const auto& l : RawMail) {
      if (l.empty()) break;
      Headers.emplace_back(std::string_view(l).substr(0, kMimeMaxHeaderFieldBytes));
    }
    ParseHeaders();
    // Parts are handled as views of the raw lines, so no level copies or
    // re-splits its text. Lines that still hold a line break (RawMail filled
    // by hand) are split first, as joining and splitting would do.
    bool needsSplit = false;
    for (const auto& l : RawMail)
      if (std::memchr(l.data(), '\r', l.size()) || std::memchr(l.data(), '\n', l.size())) {
        needsSplit = true;
        break;
      }
    TStringList resplit;
    if (needsSplit) resplit = SplitTextLines(JoinLines(RawMail));
    ParsePart(needsSplit ? TLineSpan(resplit) : TLineSpan(RawMail), 0);
  }
  if (ClearRawMailAfterParse)
    ClearRawMail();
  else
    RawSize = 0;
}

void TMoxMsg::ParseHeaders() {
  if (Headers.empty()) return;
  const TLineSpan h(Headers);
  From = Headers[0].size() > 5 ? Headers[0].substr(5, 72) : std::string();
  std::string line;
  auto named = [&](const char* key, std::string& whole, std::string& address, std::string& name) {
    if (!FindHeader(key, h, line)) return;
    whole = NameToUtf8(DecodeHeaderWords(HeaderValue(key, line), ParserOptions), "");
    TMailAddress a = ParseMailAddress(whole);
    address = a.Address;
    name = a.Name;
  };
  named("FROM: ", From, FromAddress, FromName);
  if (FindHeader("SENDER: ", h, line)) Sender = NormalizeAddressList(HeaderValue("SENDER: ", line));
  if (FindHeader("MESSAGE-ID: ", h, line)) MessageID = HeaderValue("MESSAGE-ID: ", line);
  if (FindHeader("IN-REPLY-TO: ", h, line)) InReplyTo = HeaderValue("IN-REPLY-TO: ", line);
  if (FindHeader("RETURN-PATH: ", h, line)) ReturnPath = HeaderValue("RETURN-PATH: ", line);
  named("REPLY-TO: ", ReplyTo, ReplyToAddress, ReplyToName);
  named("DELIVERED-TO: ", DeliveredTo, DeliveredToAddress, DeliveredToName);
  auto addresses = [&](const char* search, const char* key, TAddressList& list) {
    if (!FindHeader(search, h, line)) return;
    TStringList items = CollectAddressHeader(key, h);
    std::string joined;
    for (std::size_t i = 0; i < items.size(); ++i) {
      joined += items[i];
      if (i + 1 < items.size() && items[i].find('@') != std::string::npos) joined += ',';
    }
    ParseAddressList(joined, list);
  };
  addresses("TO: ", "TO", SendToList);
  addresses("CC: ", "CC", CCList);
  if (FindHeader("DATE: ", h, line)) {
    DateText = HeaderValue("DATE: ", line);
    ParseDate(DateText, Date, TimeZone);
  }
  if (FindHeaderUnfolded("CONTENT-TYPE:", h, line))
    for (const auto& p : ParseHeaderParameters(line, true))
      if (p.Name == "CHARSET" && !p.Extended) msgCharset_ = Trim(p.Value);
  if (FindHeader("SUBJECT: ", h, line))
    Subject = NameToUtf8(DecodeHeaderWords(ParserOptions.UnstructuredValuesKeepSemicolons
                                               ? UnstructuredValue("SUBJECT: ", line)
                                               : HeaderValue("SUBJECT: ", line),
                                           ParserOptions),
                         "");
  const bool hasMimeVersion = FindHeader("MIME-VERSION: ", h, line);
  if (hasMimeVersion) MimeVersion = Trim(HeaderValue("MIME-VERSION:", line));
  if (FindHeader("CONTENT-TYPE:", h, line))
    ContentType = UpperCase(HeaderValue("CONTENT-TYPE:", line));
  else
    ContentType = hasMimeVersion ? "TEXT/PLAIN" : "";
  if (FindHeader("CONTENT-TRANSFER-ENCODING: ", h, line))
    TransferEncoding = UpperCase(HeaderValue("CONTENT-TRANSFER-ENCODING: ", line));
  else
    TransferEncoding = "7BIT";
}

TMoxMsg::TPartInfo TMoxMsg::ReadPartHeader(TLineSpan lines) {
  const TMimeParserOptions& o = ParserOptions;
  TPartInfo info;
  std::string ct, cd, line;
  // Parameters are read from the fields unfolded by removing only the line
  // breaks (or, by the old rule, with continuations trimmed and glued).
  const auto find = o.FoldedParametersKeepBlanks ? FindHeaderUnfolded : FindHeader;
  const bool hasCT = find("CONTENT-TYPE: ", lines, ct);
  const bool hasCD = find("CONTENT-DISPOSITION:", lines, cd);
  const bool hasMimeVersion = FindHeader("MIME-VERSION: ", lines, line);
  // File names are read decoded and trimmed (FileNameParameter); the old
  // rules only cut, unquoted and decoded them at the end, which comes to
  // the same.
  if (hasCT) {
    info.ContentType = UpperCase(Trim(HeaderValue("CONTENT-TYPE:", ct)));
    info.FileName = FileNameParameter("NAME", ct, o);
    if (hasCD) {
      info.Disposition = UpperCase(HeaderValue("CONTENT-DISPOSITION:", cd));
      if (info.Disposition != "INLINE") {
        // The filename overrides the name when it is not blank; the old
        // rule tested the raw text, so an empty quoted filename ("")
        // erased a good name.
        std::string fn = FileNameParameter("FILENAME", cd, o);
        if (o.WholeParameterNames ? !IsBlank(fn) : !IsBlank(HeaderValue("FILENAME", cd)))
          info.FileName = fn;
      }
    }
  } else {
    info.ContentType = hasMimeVersion ? "TEXT/PLAIN" : "";
  }
  if (FindHeader("CONTENT-ID:", lines, line)) {
    std::string id = HeaderValue("CONTENT-ID:", line);
    if (!id.empty() && id.front() == '<') id.erase(0, 1);
    if (!id.empty() && id.back() == '>') id.pop_back();
    info.ContentID = id;
  }
  if (FindHeader("CONTENT-TRANSFER-ENCODING:", lines, line))
    info.Encoding = UpperCase(HeaderValue("CONTENT-TRANSFER-ENCODING:", line));
  else
    info.Encoding = hasMimeVersion ? "7BIT" : "";
  // The other names mail programs give uuencoding.
  if (o.AllUuencodeNames &&
      (info.Encoding == "UUENCODE" || info.Encoding == "X-UUE" || info.Encoding == "UUE"))
    info.Encoding = "X-UUENCODE";
  // An embedded message is named after its subject.
  if (info.FileName.empty() && hasCT &&
      UpperCase(Trim(HeaderValue("CONTENT-TYPE:", ct))) == "MESSAGE/RFC822" &&
      (!hasCD || UpperCase(Trim(HeaderValue("CONTENT-DISPOSITION:", cd))) == "ATTACHMENT")) {
    if (FindHeaderInPart("SUBJECT:", lines, line)) {
      const std::string subject = o.UnstructuredValuesKeepSemicolons
                                      ? UnstructuredValue("SUBJECT:", line)
                                      : HeaderValue("SUBJECT:", line);
      if (!subject.empty())
        info.FileName = Trim(DecodeHeaderWords(StripOuterQuote(subject + ".eml"), o));
    }
    if (info.FileName.empty() && o.StableEmbeddedNames) {
      // A digest of the embedded message's lines (whatever their line
      // ends), so that every run gives the same name: FNV-1a, folded to
      // the range the drawn numbers had.
      std::uint64_t h = 1469598103934665603ull;
      for (const std::string_view l : StripHeaderBlock(lines)) {
        for (const char c : l) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        h = (h ^ '\n') * 1099511628211ull;
      }
      info.FileName =
          "rfc822-" + Hex8(static_cast<std::uint32_t>((h ^ (h >> 32)) % 2147483647u)) + ".eml";
    }
    if (info.FileName.empty()) {
      RandomizeFromClock();
      info.FileName = "rfc822-" + RandomHex8() + ".eml";
    }
  }
  // Here the disposition is compared as written: a lower-case "inline"
  // still supplies its filename.
  if (info.FileName.empty() && hasCD && HeaderValue("CONTENT-DISPOSITION:", cd) != "INLINE")
    info.FileName = FileNameParameter("FILENAME", cd, o);
  info.FileName = NameToUtf8(std::move(info.FileName), hasCT ? std::string_view(ct) : "");
  return info;
}

std::string TMoxMsg::NameToUtf8(std::string name, std::string_view partLine) const {
  if (!ParserOptions.CharsetNames || IsValidUtf8(name)) return name;
  std::string utf8;
  if (!partLine.empty())
    for (const auto& p : ParseHeaderParameters(partLine, true))
      if (p.Name == "CHARSET" && !p.Extended && CharsetToUtf8(p.Value, name, utf8)) return utf8;
  if (!msgCharset_.empty() && CharsetToUtf8(msgCharset_, name, utf8)) return utf8;
  // Left to the code page at the edge.
  return name;
}

TLineSpan TMoxMsg::AttachmentBody(TLineSpan lines, const TPartInfo& info) const {
  const TMimeParserOptions& o = ParserOptions;
  if (info.Encoding == "X-UUENCODE") {
    TLineSpan body = StripHeaderBlock(lines);
    if (o.AllUuencodeNames) {
      // Text before the begin line is not part of the block.
      std::size_t b = 0;
      while (b < body.size() && !StartsWithUpper(body[b], "BEGIN ")) ++b;
      if (b < body.size()) body = body.subspan(b);
    }
    return body;
  }
  if (!o.TextAttachmentsKeepBytes || info.Encoding == "BASE64") return StripHeaderBlock(lines);
  // The content starts after the blank line that ends the header block;
  // blank lines after that one are content.
  std::size_t i = 0;
  while (i < lines.size() && !IsBlank(lines[i])) ++i;
  return lines.subspan(std::min(i + 1, lines.size()));
}

void TMoxMsg::SplitMultipart(TLineSpan lines, int depth, std::vector<TLeaf>& out) {
  std::string ct;
  const auto find = ParserOptions.FoldedParametersKeepBlanks ? FindHeaderUnfolded : FindHeader;
  if (depth >= kMaxNestingDepth || !find("CONTENT-TYPE:", lines, ct) ||
      FindUpper(ct, "MULTIPART") == std::string::npos) {
    out.push_back({lines, depth});
    return;
  }
  TLineSpan l = StripHeaderBlock(lines);
  const std::string opening = Trim(ExtractBoundary(ct, ParserOptions.LongBoundaries));
  const std::string closing = opening + "--";
  std::size_t first = 0;
  // A delimiter may carry blanks or tabs after it (transport padding).
  auto isOpening = [&](std::string_view line) {
    if (!ParserOptions.PaddedDelimiters) return line == opening;
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    return line == opening;
  };
  while (first < l.size() && !isOpening(l[first])) ++first;
  l = l.subspan(first);  // the preamble is dropped
  // The lines of a part are always consecutive, so a part is a view.
  std::size_t i = 1, start = 1;
  auto trimmedIs = [&](std::size_t k, const std::string& s) { return TrimView(l[k]) == s; };
  while (i < l.size() && !trimmedIs(i, closing)) {
    if (trimmedIs(i, opening)) {
      SplitMultipart(l.subspan(start, i - start), depth + 1, out);
      ++i;
      start = i;
    }
    if (i < l.size() && !trimmedIs(i, closing)) ++i;
  }
  start = std::min(start, l.size());
  i = std::max(std::min(i, l.size()), start);
  SplitMultipart(l.subspan(start, i - start), depth + 1, out);
}

void TMoxMsg::ParsePart(TLineSpan lines, int depth, bool asLeaf) {
  const TPartInfo info = ReadPartHeader(lines);
  const std::string& type = info.ContentType;
  const std::string& enc = info.Encoding;
  if (type.find("TEXT") != std::string::npos) {
    TLineSpan body = StripHeaderBlock(lines);
    const bool isHtml = type == "TEXT/HTML";
    if ((!info.FileName.empty() && info.Disposition != "INLINE") || (isHtml && HTMLAsAttachment)) {
      if (isHtml && !attachmentsOnly_) HTML.insert(HTML.end(), body.begin(), body.end());
      AddAttachment(AttachmentBody(lines, info), info, keeper_);
      return;
    }
    if (attachmentsOnly_) return;  // the body text of an embedded message saved whole
    TStringList& target = isHtml ? HTML : Text;
    if (enc == "QUOTED-PRINTABLE") {
      std::string joined = JoinLines(body);
      DecodeQuotedPrintable(joined);
      AppendLines(target, joined);
    } else if (enc == "BASE64") {
      TMemoryStream bytes;
      {
        TBase64DecodingStream dec(bytes, ParserOptions.Base64Rfc2045);
        for (const auto& l : body) dec.Write(l.data(), l.size());
      }
      AppendLines(target, bytes.Bytes());
    } else if (isHtml) {
      target.insert(target.end(), body.begin(), body.end());
    } else {
      AddText(body);
    }
    return;
  }
  // Past the nesting limit a multipart or an embedded message is one leaf.
  // So is a part that the splitter gives back whole: its first
  // "Content-Type:" line (found without the blank) is not multipart while a
  // later "Content-Type: " line is; splitting it again would never end.
  const bool mayNest = depth < kMaxNestingDepth && !asLeaf;
  if (mayNest && type.find("MULTIPART") != std::string::npos) {
    std::vector<TLeaf> leaves;
    SplitMultipart(lines, depth, leaves);
    for (const auto& leaf : leaves) {
      const bool whole = leaf.Lines.SameLines(lines);
      ParsePart(leaf.Lines, leaf.Depth, whole);
    }
    return;
  }
  // A reference to content kept elsewhere is no file.
  if (ParserOptions.SkipExternalBody && type == "MESSAGE/EXTERNAL-BODY") return;
  if (enc == "X-UUENCODE" || !info.FileName.empty()) {
    AddAttachment(AttachmentBody(lines, info), info, keeper_);
    // An embedded message saved whole: its own attachments are this
    // message's too (its text is not).
    if (ParserOptions.EmbeddedAttachmentsBeside && mayNest && type == "MESSAGE/RFC822" &&
        enc != "BASE64" && enc != "QUOTED-PRINTABLE" && enc != "X-UUENCODE") {
      const bool was = attachmentsOnly_;
      attachmentsOnly_ = true;
      ParsePart(StripHeaderBlock(lines), depth + 1);
      attachmentsOnly_ = was;
    }
    return;
  }
  if (mayNest && type == "MESSAGE/RFC822") {
    ParsePart(StripHeaderBlock(lines), depth + 1);
    return;
  }
  if (MimeVersion.empty()) {
    std::vector<TLineSpan> remaining;
    ExtractUUBlocks(lines, remaining);
    if (attachmentsOnly_) return;
    // The header block is left out of the lines kept, as of one text.
    enum { kHeader, kBlank, kBody } at = kHeader;
    for (const TLineSpan& run : remaining) {
      std::size_t i = 0;
      if (at == kHeader) {
        while (i < run.size() && !IsBlank(run[i])) ++i;
        if (i < run.size()) at = kBlank;
      }
      if (at == kBlank) {
        while (i < run.size() && IsBlank(run[i])) ++i;
        if (i < run.size()) at = kBody;
      }
      if (at == kBody) AddText(run.subspan(i));
    }
    return;
  }
  if (enc != "BASE64" && enc != "QUOTED-PRINTABLE" && enc != "X-UUENCODE") {
    if (attachmentsOnly_) return;
    AddText(StripHeaderBlock(lines));
    return;
  }
  AddAttachment(AttachmentBody(lines, info), info, keeper_);
}

namespace {

// A begin line of a uuencoded block: "begin" (any case), a mode of three
// digits from 1 to 776 in characters 7 to 10, the name from character 11.
bool IsUUBeginLine(std::string_view l) {
  if (l.size() <= 10 || LowerCase(l.substr(0, 5)) != "begin") return false;
  std::string_view mode = TrimView(std::string_view(l).substr(6, 4));
  if (mode.size() != 3) return false;
  int v = 0;
  for (char c : mode) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  return v >= 1 && v <= 776;
}

// The joined text holds a grave accent followed by CR LF and "end" exactly
// when a line ending in "`" is followed by a line starting with "end".
bool EndMarkBetween(std::string_view a, std::string_view b) {
  return !a.empty() && a.back() == '`' && b.compare(0, 3, "end") == 0;
}

}  // namespace

TMoxMsg::TUUBlock TMoxMsg::FindUUBlock(TLineSpan lines, std::size_t from) {
  for (std::size_t i = from; i < lines.size(); ++i)
    if (IsUUBeginLine(lines[i])) return {i, StripQuotes(std::string_view(lines[i]).substr(10))};
  return {lines.size(), std::string()};
}

void TMoxMsg::ExtractUUBlocks(TLineSpan lines, std::vector<TLineSpan>& kept) {
  // Blocks are searched from the top again after each extraction; lines
  // before the last block never qualify again, so one pass suffices. The
  // "found" test over the whole text is kept as counts of end marks in the
  // lines kept and in the untouched rest.
  const std::size_t n = lines.size();
  std::vector<std::uint32_t> marksFrom(n + 1, 0);
  for (std::size_t i = n; i-- > 0;)
    marksFrom[i] = marksFrom[i + 1] + (i + 1 < n && EndMarkBetween(lines[i], lines[i + 1]) ? 1 : 0);
  std::size_t keptMarks = 0;
  std::string_view lastKept;
  auto keep = [&](std::size_t from, std::size_t to) {
    if (from >= to) return;
    for (std::size_t k = from; k < to; ++k) {
      if (!kept.empty() || k > from)
        if (EndMarkBetween(lastKept, lines[k])) ++keptMarks;
      lastKept = lines[k];
    }
    kept.push_back(lines.subspan(from, to - from));
  };
  std::size_t p = 0;
  while (p < n) {
    const TUUBlock uu = FindUUBlock(lines, p);
    const std::size_t q = uu.Index;
    if (q == n) break;
    keep(p, q);
    p = q;
    const bool found =
        keptMarks > 0 || marksFrom[q] > 0 || (!kept.empty() && EndMarkBetween(lastKept, lines[q]));
    if (!found) break;
    TStringList block;
    while (p < n && LowerCase(Trim(lines[p])) != "end") {
      if (!lines[p].empty()) block.emplace_back(lines[p]);
      ++p;
    }
    if (p < n) ++p;  // the "end" line
    TPartInfo info;
    info.FileName = uu.FileName;
    info.Encoding = "X-UUENCODE";
    info.ContentType = "APPLICATION/OCTET-STREAM";
    if (keeper_) {
      // The attachment keeps its own copy of the block's lines.
      auto owned = std::make_shared<const TStringList>(std::move(block));
      AddAttachment(TLineSpan(*owned), info, owned);
    } else {
      AddAttachment(TLineSpan(block), info, nullptr);
    }
  }
  if (p < n) kept.push_back(lines.subspan(p));
}

namespace {

// What copying body lines into Text costs, about: a string a line, and
// the line's bytes on the heap unless it is short.
std::size_t CopyCost(std::string_view line) {
  return sizeof(std::string) + (line.size() > 15 ? line.size() + 17 : 0);
}

// Once copying would cost this much in all, body lines are kept as views.
constexpr std::size_t kTextCopyBytes = 16 << 20;

}  // namespace

void TMoxMsg::AddText(TLineSpan body) {
  std::size_t cost = textCopyCost_;
  if (keeper_)
    for (std::size_t i = 0; i < body.size() && cost < kTextCopyBytes; ++i)
      cost += CopyCost(body[i]);
  if (cost >= kTextCopyBytes) {
    textViews_.push_back({Text.size(), body});
    textKeeper_ = keeper_;
  } else {
    Text.insert(Text.end(), body.begin(), body.end());
    textCopyCost_ = cost;
  }
}

std::string TMoxMsg::TextBody() const {
  std::size_t total = 0;
  for (const auto& l : Text) total += l.size() + 2;
  for (const auto& v : textViews_)
    for (const std::string_view l : v.Lines) total += l.size() + 2;
  std::string s;
  s.reserve(total);
  std::size_t i = 0;
  auto upTo = [&](std::size_t end) {
    for (; i < end && i < Text.size(); ++i) s.append(Text[i]).append("\r\n");
  };
  for (const auto& v : textViews_) {
    upTo(v.At);
    for (const std::string_view l : v.Lines) s.append(l).append("\r\n");
  }
  upTo(Text.size());
  return s;
}

void TMoxMsg::AddAttachment(TLineSpan lines, const TPartInfo& info,
                            const std::shared_ptr<const void>& keeper) {
  std::string name = info.FileName;
  if (name.empty()) {
    name = Subject;
    const char* ext = info.ContentType == "TEXT/HTML"    ? ".html"
                      : info.ContentType == "IMAGE/JPEG" ? ".jpg"
                      : info.ContentType == "IMAGE/GIF"  ? ".gif"
                                                         : nullptr;
    if (ext) {
      std::size_t dot = name.rfind('.');
      std::size_t sep = name.find_last_of("\\:");
      if (dot != std::string::npos && (sep == std::string::npos || dot > sep)) name.resize(dot);
      name += ext;
    }
  }
  std::string clean;
  for (char c : name)
    if (std::string_view("\\/:*?\"<>|").find(c) == std::string_view::npos) clean.push_back(c);
  TAttachedFile& item = Attachments.Add(clean, info.ContentID);
  item.PartType = info.ContentType;
  item.Base64Rfc2045 = ParserOptions.Base64Rfc2045;
  item.KeepStoredBytes = ParserOptions.TextAttachmentsKeepBytes;
  if (keeper) {
    const TTransferCoding coding = info.Encoding == "BASE64"       ? TTransferCoding::Base64
                                   : info.Encoding == "X-UUENCODE" ? TTransferCoding::UU
                                   : info.Encoding == "QUOTED-PRINTABLE"
                                       ? TTransferCoding::QuotedPrintable
                                       : TTransferCoding::None;
    item.DeferDecoding(keeper, lines, coding);
    // Uuencoded text that cannot be decoded fails when it is written (its
    // file alone), or by the old rule the parsing now, as decoding at once
    // would.
    if (coding == TTransferCoding::UU && !ParserOptions.BadUuencodeLosesOnlyItsFile)
      item.WriteDecoded([](const char*, std::size_t) { return true; });
    return;
  }
  if (info.Encoding == "BASE64") {
    item.DecodeBase64(lines);
  } else if (info.Encoding == "X-UUENCODE") {
    item.DecodeUU(lines);
  } else if (item.KeepStoredBytes) {
    // The bytes as stored (lines of a string list joined with CR LF).
    std::string scratch;
    std::string bytes(lines.RawBytes(scratch));
    if (info.Encoding == "QUOTED-PRINTABLE") {
      TQuotedPrintableDecoder dec(true);
      bytes.resize(dec.Decode(bytes.data(), bytes.size(), bytes.data()));
    }
    item.Body().Assign(std::move(bytes));
  } else if (info.Encoding == "QUOTED-PRINTABLE") {
    std::string joined = JoinLines(lines);
    DecodeQuotedPrintable(joined);
    item.Body().Assign(std::move(joined));
  } else {
    item.Body().Assign(JoinLinesNoFinalBreak(lines));
  }
}

// --- Composing -----------------------------------------------------------------

void TMoxMsg::FillRawMail() {
  RawMail.clear();
  TStringList out;
  auto named = [](const std::string& header, const std::string& address, const std::string& user) {
    std::string name = user;
    if (name.empty()) name = address.substr(0, address.find('@'));
    return header + ": \"" + name + "\" <" + address + ">";
  };
  if (From.find('@') == std::string::npos)
    throw std::runtime_error("\"From\" address not complete.");
  if (SendToList.Count() == 0) throw std::runtime_error("No e-mail addresses in the SendTo field.");
  out.push_back("Message-ID: " + MakeMessageID(LocalHost(), LocalAddr));
  if (!InReplyTo.empty()) out.push_back("In-Reply-To: " + InReplyTo);
  if (!ReplyTo.empty()) out.push_back(named("Reply-To", ReplyTo, UserName));
  out.push_back(named("From", From, UserName));
  auto listHeader = [&](const char* header, const TAddressList& list) {
    AppendLines(out, std::string(header) + AddressListText(list, ",\r\n\t"));
  };
  listHeader("To: ", SendToList);
  if (CCList.Count()) listHeader("CC: ", CCList);
  if (BCCList.Count()) listHeader("BCC: ", BCCList);

  // Body texts in the chosen transfer encoding.
  std::string encWord, subject = Subject;
  auto encodeBody = [&](const TStringList& lines) {
    TStringList r;
    switch (TextEncoding) {
      case te8Bit:
        for (const auto& l : lines) r.push_back(!l.empty() && l[0] == '.' ? "." + l : l);
        break;
      case teQP:
        r = SplitTextLines(EncodeQuotedPrintable(lines));
        break;
      case teBase64:
        r = SplitTextLines(Base64Encode(JoinLines(lines)));
        break;
    }
    return r;
  };
  switch (TextEncoding) {
    case te8Bit:
      encWord = "8Bit";
      break;
    case teQP:
      encWord = "quoted-printable";
      break;
    case teBase64:
      encWord = "base64";
      subject = "=?" + LowerCase(CharSet) + "?B?" + Base64Encode(Subject) + "?=";
      {
        // An encoded word stays on one line.
        std::string s;
        for (char c : subject)
          if (c != '\r' && c != '\n') s.push_back(c);
        subject = s;
      }
      break;
  }
  out.push_back("Subject: " + subject);
  out.push_back("Date: " + DateText);
  out.push_back("MIME-Version: 1.0");

  TStringList body;
  auto textPart = [&](const char* type, const TStringList& lines, TStringList& to) {
    to.push_back(std::string("Content-Type: ") + type + ";");
    to.push_back("\tcharset=\"" + CharSet + "\"");
    to.push_back("Content-Transfer-Encoding: " + encWord);
    to.push_back("");
    TStringList enc = encodeBody(lines);
    to.insert(to.end(), enc.begin(), enc.end());
  };
  // The text alone, or text and HTML as alternatives, as a part of its own
  // (with headers) in part. No blank line goes before a delimiter: parsing
  // keeps every line up to the delimiter as part of the body.
  auto alternative = [&](TStringList& part) {
    if (HTML.empty()) {
      textPart("text/plain", Text, part);
      return;
    }
    std::string b = MakeBoundary();
    part.push_back("Content-Type: multipart/alternative;");
    part.push_back("\tboundary=\"" + b + "\"");
    part.push_back("");
    part.push_back("This is a multi-part message in MIME format.");
    part.push_back("--" + b);
    textPart("text/plain", Text, part);
    part.push_back("--" + b);
    textPart("text/html", HTML, part);
    part.push_back("--" + b + "--");
  };
  TStringList top;
  if (Attachments.Count() == 0) {
    alternative(top);
  } else {
    bool allInline = true;
    for (int i = 0; i < Attachments.Count(); ++i) allInline = allInline && Attachments[i].IsInline;
    std::string b = MakeBoundary();
    if (allInline) {
      top.push_back("Content-Type: multipart/related;");
      if (!HTML.empty()) top.push_back("\ttype=\"multipart/alternative\";");
    } else {
      top.push_back("Content-Type: multipart/mixed;");
    }
    top.push_back("\tboundary=\"" + b + "\"");
    top.push_back("");
    top.push_back("This is a multi-part message in MIME format.");
    top.push_back("");
    top.push_back("--" + b);
    alternative(top);
    for (int i = 0; i < Attachments.Count(); ++i) {
      TAttachedFile& a = Attachments[i];
      a.EncodeBase64();
      top.push_back("--" + b);
      top.push_back("Content-Type: " + a.ContentType + ";");
      top.push_back("\tname=\"" + a.FileName + "\"");
      top.push_back("Content-Transfer-Encoding: base64");
      if (a.IsInline) {
        top.push_back("Content-Disposition: inline");
        std::string id = Trim(a.ContentID);
        top.push_back("Content-ID: <" + (id.empty() ? a.FileName : id) + ">");
      } else {
        top.push_back("Content-Disposition: attachment;");
        top.push_back("\tfilename=\"" + a.FileName + "\"");
      }
      top.push_back("");
      top.insert(top.end(), a.EncodedLines.begin(), a.EncodedLines.end());
    }
    top.push_back("--" + b + "--");
  }
  // The content headers of the top part join the message headers.
  std::size_t headerEnd = 0;
  while (headerEnd < top.size() && !top[headerEnd].empty()) ++headerEnd;
  out.insert(out.end(), top.begin(), top.begin() + static_cast<std::ptrdiff_t>(headerEnd));
  out.push_back("X-Priority: " + std::to_string(static_cast<int>(Priority) + 1));
  if (!IsBlank(XMailer)) out.push_back("X-Mailer: " + XMailer);
  out.insert(out.end(), ExtraHeaders.begin(), ExtraHeaders.end());
  out.insert(out.end(), top.begin() + static_cast<std::ptrdiff_t>(headerEnd), top.end());
  RawMail = std::move(out);
}

}  // namespace qb
