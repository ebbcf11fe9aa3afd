#include "web/jsHTMLParser.h"
#include "platform/text.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace qb {

namespace {

bool Contains(std::string_view s, std::string_view part) {
  return s.find(part) != std::string_view::npos;
}

template <std::size_t N>
bool OneOf(const std::string& s, const std::array<const char*, N>& set) {
  return std::any_of(set.begin(), set.end(), [&](const char* x) { return s == x; });
}

// Appends the line's characters from `from` up to `to` to whichever buffer
// is active.
void AppendRange(std::string& buffer, const std::string& line, std::size_t from, std::size_t to) {
  buffer.append(line, from, to - from);
}

}  // namespace

void TParsed::Clear() {
  Title.clear();
  Keyword.clear();
  Description.clear();
  for (TLocalRemote* lr : {&HTML, &Image, &Media, &Java, &ActiveX, &ASP, &PHP, &PERL}) lr->Clear();
  for (TStringList* l :
       {&Hyperlinks, &Images, &EMails, &HTTPlinks, &FTPlinks, &Locallinks, &FramePages})
    l->clear();
}

TSplitURL SplitURL(const std::string& url) {
  TSplitURL r;
  std::string rest;
  std::size_t p = url.find("://");
  if (p != std::string::npos) {
    r.Scheme = url.substr(0, p);
    rest = url.substr(p + 3);
  } else if (Contains(url, "MAILTO:")) {
    // The first seven characters go, wherever "MAILTO:" stood.
    rest = url.size() > 7 ? url.substr(7) : std::string();
  } else {
    rest = url;
  }
  std::size_t slash = rest.rfind('/');
  if (slash != std::string::npos) {
    r.Path = rest.substr(0, slash + 1);
    rest.erase(0, slash + 1);
  }
  if (rest.find('.') == std::string::npos) {
    r.Path += rest;  // a directory
  } else if (std::size_t q = rest.find('?'); q != std::string::npos) {
    r.File = rest.substr(0, q);
    r.Query = rest.substr(q + 1);
  } else {
    r.File = rest;
  }
  if (std::size_t dot = r.File.rfind('.'); dot != std::string::npos)
    r.Extension = r.File.substr(dot);
  return r;
}

std::string AttributeText(const std::string& tag, const std::string& name) {
  if (name.empty() || tag.empty()) return {};
  const std::size_t start = UpperCase(tag).find(UpperCase(name));
  if (start == std::string::npos) return {};
  bool quoted = false;
  std::size_t i = start;
  for (; i + 1 < tag.size(); ++i) {
    const char c = tag[i];
    if (c == '"') {
      quoted = !quoted;
    } else if ((c == ' ' && !quoted) || c == '>') {
      break;
    }
  }
  // i is the stopping character (a blank, ">" or the tag's last character).
  return tag.substr(start, i - start + 1);
}

std::string AttributeValue(const std::string& text) {
  std::string v;
  if (std::size_t eq = text.find('='); eq != std::string::npos)
    v = text.substr(eq + 1);
  else
    v = text;
  for (char quote : {'"', '\''}) {
    std::size_t open = v.find(quote);
    if (open == std::string::npos) continue;
    std::size_t close = v.find(quote, open + 1);
    return close == std::string::npos ? v.substr(open + 1) : v.substr(open + 1, close - open - 1);
  }
  return v;
}

void TjsHTMLParser::Execute() {
  parsed_.Clear();
  std::string text;
  std::string tag;
  bool inTag = false;
  lineCount_ = static_cast<int>(std::min<std::size_t>(html_.size(), INT32_MAX));

  int number = 0;
  for (const std::string& line : html_) {
    if (number < INT32_MAX) ++number;
    currentLine_ = number;
    if (line.empty()) continue;
    if (OnParsing) {
      // Character by character, so the handler sees every one.
      for (char c : line) {
        if (OnParsing) OnParsing(this, currentLine_, lineCount_);
        if (c == '<' && !inTag) {
          if (!text.empty()) {
            ProcessText(text);
            text.clear();
          }
          inTag = true;
          tag.push_back(c);
        } else if (c == '>' && inTag) {
          ProcessTag(tag.substr(tag.rfind('<') + 1));
          inTag = false;
          tag.clear();
        } else {
          (inTag ? tag : text).push_back(c);
        }
      }
    } else {
      // The same walk, a run of ordinary characters at a time.
      std::size_t pos = 0;
      const std::size_t n = line.size();
      while (pos < n) {
        if (!inTag) {
          std::size_t lt = line.find('<', pos);
          if (lt == std::string::npos) {
            AppendRange(text, line, pos, n);
            break;
          }
          AppendRange(text, line, pos, lt);
          if (!text.empty()) {
            ProcessText(text);
            text.clear();
          }
          inTag = true;
          tag.push_back('<');
          pos = lt + 1;
        } else {
          std::size_t gt = line.find('>', pos);
          if (gt == std::string::npos) {
            AppendRange(tag, line, pos, n);
            break;
          }
          AppendRange(tag, line, pos, gt);
          ProcessTag(tag.substr(tag.rfind('<') + 1));
          inTag = false;
          tag.clear();
          pos = gt + 1;
        }
      }
    }
    lastLine_ = number;
  }
  if (!text.empty()) {
    titleCapture_ = false;
    ProcessText(text);
  }
  // An unterminated tag at the end is dropped.
}

void TjsHTMLParser::ProcessText(const std::string& text) {
  if (titleCapture_)
    titleBuffer_ = text;
  else if (OnFoundText)
    OnFoundText(this, text);
}

void TjsHTMLParser::ProcessTag(const std::string& tag) {
  const std::string upper = UpperCase(tag);
  if (titleCapture_ && !Contains(upper, awaitedEndTag_)) {
    titleBuffer_ += '<';
    titleBuffer_ += tag;
    titleBuffer_ += '>';
    return;
  }
  if (!Contains(tag, "!--") && OnFoundTag) OnFoundTag(this, tag);

  const std::string name = upper.substr(0, upper.find(' '));
  if (name == "A") {
    ProcessAnchor(tag);
  } else if (name == "IMG") {
    parsed_.Images.push_back(AttributeValue(AttributeText(tag, "src")));
  } else if (name == "FRAME") {
    parsed_.FramePages.push_back(AttributeValue(AttributeText(tag, "src")));
  } else if (name == "META") {
    ProcessMeta(tag);
  } else if (name == "!--") {
    if (OnFoundComment) {
      // From the fifth character, without the last three: the text between
      // "!-- " and " --".
      std::string comment = tag.size() > 7 ? tag.substr(4, tag.size() - 7) : std::string();
      OnFoundComment(this, comment);
    }
  } else if (name == "TITLE") {
    titleCapture_ = true;
    awaitedEndTag_ = "/TITLE";
  } else if (name == "/TITLE") {
    titleCapture_ = false;
    parsed_.Title = titleBuffer_;
    titleBuffer_.clear();
  }
}

void TjsHTMLParser::ProcessMeta(const std::string& tag) {
  const std::string n = UpperCase(AttributeValue(AttributeText(tag, "name")));
  std::string c;
  // Both names are looked for as written, after the tag's first character.
  std::size_t p = tag.find("VALUE");
  if (p != std::string::npos && p > 0) c = AttributeValue(AttributeText(tag, "value"));
  p = tag.find("CONTENT");
  if (p != std::string::npos && p > 0) c = AttributeValue(AttributeText(tag, "content"));
  if (n == "KEYWORD") parsed_.Keyword = c;
  if (n == "DESCRIPTION") parsed_.Description = c;
}

void TjsHTMLParser::ProcessAnchor(const std::string& tag) {
  static const std::array<const char*, 8> kImage = {".JPG", ".JPEG", ".GIF", ".TIF",
                                                    ".PCX", ".PNG",  ".PSD", ".BMP"};
  static const std::array<const char*, 6> kMedia = {".AVI", ".MP3", ".AU", ".MOV", ".MPG", ".MPEG"};
  static const std::array<const char*, 3> kJava = {".JS", ".CLASS", ".JAVA"};
  static const std::array<const char*, 2> kPerl = {".PL", ".CGI"};

  const std::string href = AttributeValue(AttributeText(tag, "href"));
  const std::string h = UpperCase(href);

  const std::string ext = SplitURL(h).Extension;
  TLocalRemote* kind = nullptr;
  if (Contains(ext, "HTM"))
    kind = &parsed_.HTML;
  else if (OneOf(ext, kImage))
    kind = &parsed_.Image;
  else if (OneOf(ext, kMedia))
    kind = &parsed_.Media;
  else if (OneOf(ext, kJava))
    kind = &parsed_.Java;
  else if (ext == ".ASP")
    kind = &parsed_.ASP;
  else if (OneOf(ext, kPerl))
    kind = &parsed_.PERL;
  else if (Contains(ext, "PHP") || ext == ".PHTML")
    kind = &parsed_.PHP;
  else if (ext == ".CAB")
    kind = &parsed_.ActiveX;
  const bool remote = Contains(h, "HTTP://");
  if (kind) (remote ? kind->Remote : kind->Local).push_back(href);

  if (Contains(h, "MAILTO:"))
    parsed_.EMails.push_back(href.size() > 7 ? href.substr(7) : std::string());
  else if (Contains(h, "FTP://"))
    parsed_.FTPlinks.push_back(href);
  else if (remote)
    parsed_.HTTPlinks.push_back(href);
  else if (!Contains(h, "://"))
    parsed_.Locallinks.push_back(href);
  else if (OnFoundHyperlink)
    OnFoundHyperlink(this, href);

  parsed_.Hyperlinks.push_back(href);
}

}  // namespace qb
