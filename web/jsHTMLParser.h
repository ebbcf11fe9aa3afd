// A small, forgiving HTML scanner. It walks the text character by character,
// splits it into tags and text runs and collects what the tags point to:
// hyperlinks, images, frames, mail addresses, the title and two meta values.
// It is not a DOM parser: it knows a handful of tag names and takes
// attributes with plain string searches, exactly as described per method.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "mime/mimehelpers.h"

namespace qb {

// Link targets of one kind, on this machine or on a web server.
struct TLocalRemote {
  TStringList Local;
  TStringList Remote;
  void Clear() {
    Local.clear();
    Remote.clear();
  }
};

// What a scan found.
struct TParsed {
  std::string Title;
  std::string Keyword;
  std::string Description;

  TLocalRemote HTML;
  TLocalRemote Image;
  TLocalRemote Media;
  TLocalRemote Java;
  TLocalRemote ActiveX;
  TLocalRemote ASP;
  TLocalRemote PHP;
  TLocalRemote PERL;

  TStringList Hyperlinks;  // the target of every anchor tag, in document order
  TStringList Images;
  TStringList EMails;
  TStringList HTTPlinks;
  TStringList FTPlinks;
  TStringList Locallinks;
  TStringList FramePages;

  void Clear();
};

// The parts of a link that the classification needs (all as given, which
// for the scanner means upper case).
struct TSplitURL {
  std::string Scheme;
  std::string Path;
  std::string File;
  std::string Query;
  std::string Extension;  // File from its last '.', "" when it has none
};
TSplitURL SplitURL(const std::string& url);

// The attribute helpers of the scanner, public for tests.
// The text of the attribute from the first occurrence of its name (ignoring
// case, anywhere in the tag) up to and including the blank that ends it.
std::string AttributeText(const std::string& tag, const std::string& name);
// The value inside an attribute text (see the .cpp for the quoting rules).
std::string AttributeValue(const std::string& text);

class TjsHTMLParser;
using TOnFoundComment = std::function<void(TjsHTMLParser* sender, const std::string& comment)>;
using TOnFoundHyperlink = std::function<void(TjsHTMLParser* sender, const std::string& hyperlink)>;
using TOnFoundTag = std::function<void(TjsHTMLParser* sender, const std::string& tag)>;
using TOnFoundText = std::function<void(TjsHTMLParser* sender, const std::string& text)>;
using TOnParsing = std::function<void(TjsHTMLParser* sender, int lines, int total)>;

class TjsHTMLParser {
 public:
  TjsHTMLParser() = default;

  // The input lines. Setting them replaces the list.
  const TStringList& HTML() const { return html_; }
  void SetHTML(const TStringList& lines) { html_ = lines; }
  void SetHTML(TStringList&& lines) { html_ = std::move(lines); }
  // Sets the input from text, split into lines.
  void SetHTMLText(std::string_view text) { html_ = SplitTextLines(text); }

  TParsed& Parsed() { return parsed_; }
  const TParsed& Parsed() const { return parsed_; }

  // Scans HTML and fills Parsed; every call starts from empty results.
  void Execute();

  int CurrentLine() const { return currentLine_; }
  int LastLine() const { return lastLine_; }
  int LineCount() const { return lineCount_; }

  TOnFoundComment OnFoundComment;
  TOnFoundHyperlink OnFoundHyperlink;
  TOnFoundTag OnFoundTag;
  TOnFoundText OnFoundText;
  // Called for every character with (current line, number of lines); keep it cheap.
  TOnParsing OnParsing;

 private:
  void ProcessText(const std::string& text);
  void ProcessTag(const std::string& tag);
  void ProcessAnchor(const std::string& tag);
  void ProcessMeta(const std::string& tag);

  TStringList html_;
  TParsed parsed_;
  int currentLine_ = 0;
  int lastLine_ = 0;
  int lineCount_ = 0;
  // Title capture: on between a TITLE tag and its end tag; the text seen
  // meanwhile is kept in titleBuffer_. Carries over to the next Execute when
  // a text ends inside an open title.
  bool titleCapture_ = false;
  std::string awaitedEndTag_;
  std::string titleBuffer_;
};

}  // namespace qb
