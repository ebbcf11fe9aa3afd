#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "web/jsHTMLParser.h"

namespace qb {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TParsed Scan(const std::string& text) {
  TjsHTMLParser p;
  p.SetHTMLText(text);
  p.Execute();
  return p.Parsed();
}

TEST(HtmlScanner, RelativeHtmLinkIsLocalHtml) {
  TParsed r = Scan(R"(<p>see <a href="next.htm">next</a></p>)");
  EXPECT_THAT(r.Hyperlinks, ElementsAre("next.htm"));
  EXPECT_THAT(r.Locallinks, ElementsAre("next.htm"));
  EXPECT_THAT(r.HTML.Local, ElementsAre("next.htm"));
  EXPECT_THAT(r.HTML.Remote, IsEmpty());
  EXPECT_THAT(r.HTTPlinks, IsEmpty());
}

TEST(HtmlScanner, AbsoluteJpgLinkKeepsItsCase) {
  TParsed r = Scan(R"(<A HREF="http://Example.org/Pics/Photo.JPG">x</A>)");
  EXPECT_THAT(r.Hyperlinks, ElementsAre("http://Example.org/Pics/Photo.JPG"));
  EXPECT_THAT(r.HTTPlinks, ElementsAre("http://Example.org/Pics/Photo.JPG"));
  EXPECT_THAT(r.Image.Remote, ElementsAre("http://Example.org/Pics/Photo.JPG"));
  EXPECT_THAT(r.Image.Local, IsEmpty());
  EXPECT_THAT(r.Locallinks, IsEmpty());
}

TEST(HtmlScanner, UnquotedHrefBeforeAnotherAttributeKeepsOneTrailingBlank) {
  TParsed r = Scan("<a href=pic.gif target=_blank>x</a>");
  EXPECT_THAT(r.Hyperlinks, ElementsAre("pic.gif "));
  // The blank is part of the extension, so the link is not an image.
  EXPECT_THAT(r.Image.Local, IsEmpty());
  // Unquoted at the end of the tag: no blank.
  EXPECT_THAT(Scan("<a href=pic.gif>").Hyperlinks, ElementsAre("pic.gif"));
  // Only double quotes hold a blank inside the attribute.
  EXPECT_THAT(Scan("<a href='x y.gif' id=1>").Hyperlinks, ElementsAre("x "));
  EXPECT_THAT(Scan("<a href='pic.gif' id=1>").Hyperlinks, ElementsAre("pic.gif"));
}

TEST(HtmlScanner, AnchorWithoutHrefAddsEmptyLocalLink) {
  TParsed r = Scan(R"(<a name="top"></a><a>)");
  EXPECT_THAT(r.Hyperlinks, ElementsAre("", ""));
  EXPECT_THAT(r.Locallinks, ElementsAre("", ""));
}

TEST(HtmlScanner, MailtoGoesToEmailsWithoutScheme) {
  TParsed r = Scan(R"(<a href="mailto:joe@example.org">Joe</a>)");
  EXPECT_THAT(r.EMails, ElementsAre("joe@example.org"));
  EXPECT_THAT(r.Hyperlinks, ElementsAre("mailto:joe@example.org"));
  EXPECT_THAT(r.Locallinks, IsEmpty());
}

TEST(HtmlScanner, OtherSchemesOnlyReachHyperlinksAndTheEvent) {
  TjsHTMLParser p;
  std::vector<std::string> seen;
  p.OnFoundHyperlink = [&](TjsHTMLParser*, const std::string& h) { seen.push_back(h); };
  p.SetHTMLText(R"(<a href="https://secure.example.org/a.jpg">s</a><a href="ftp://f.org/x.zip">)");
  p.Execute();
  const TParsed& r = p.Parsed();
  EXPECT_THAT(r.Hyperlinks, ElementsAre("https://secure.example.org/a.jpg", "ftp://f.org/x.zip"));
  EXPECT_THAT(r.HTTPlinks, IsEmpty());
  EXPECT_THAT(r.FTPlinks, ElementsAre("ftp://f.org/x.zip"));
  EXPECT_THAT(r.Locallinks, IsEmpty());
  EXPECT_THAT(seen, ElementsAre("https://secure.example.org/a.jpg"));
  // Not "HTTP://", so the secure image counts as a local one.
  EXPECT_THAT(r.Image.Local, ElementsAre("https://secure.example.org/a.jpg"));
}

TEST(HtmlScanner, LinesAreJoinedWithoutSeparator) {
  // Split after the name: the tag reads "ahref=..." and is no anchor.
  EXPECT_THAT(Scan("<a\r\nhref=\"x.htm\">x</a>").Hyperlinks, IsEmpty());
  // Split inside the value: the pieces run together.
  EXPECT_THAT(Scan("<a href=\"http://e.org/lo\nng.gif\">").Hyperlinks,
              ElementsAre("http://e.org/long.gif"));
  // Lone CR and LF CR break lines too.
  TjsHTMLParser p;
  p.SetHTMLText("a\rb\n\rc\r\n");
  EXPECT_THAT(p.HTML(), ElementsAre("a", "b", "", "c"));
}

TEST(HtmlScanner, TitleCapture) {
  EXPECT_EQ(Scan("<html><head><title>Hello</title></head></html>").Title, "Hello");
  EXPECT_EQ(Scan("<TITLE>Hello</Title>").Title, "Hello");
  // Text replaces the buffer, tags are appended to it.
  EXPECT_EQ(Scan("<title>A <b>bold</b> one</title>").Title, " one");
  EXPECT_EQ(Scan("<title>A <b>bold</title>").Title, "bold");
  EXPECT_EQ(Scan("<title>A <b></title>").Title, "A <b>");
  // Tags inside an open title are not seen as tags.
  TParsed r = Scan(R"(<title>x<a href="y.htm"></title>)");
  EXPECT_THAT(r.Hyperlinks, IsEmpty());
  EXPECT_EQ(r.Title, "x<a href=\"y.htm\">");
}

TEST(HtmlScanner, TitleCaptureCarriesOverOnlyFromAnOpenTitle) {
  TjsHTMLParser p;
  p.SetHTMLText("<title>");
  p.Execute();
  p.SetHTMLText(R"(<a href="a.htm">Second</title>)");
  p.Execute();
  EXPECT_THAT(p.Parsed().Hyperlinks, IsEmpty());
  EXPECT_EQ(p.Parsed().Title, "Second");

  // Trailing text switches the capture off.
  p.SetHTMLText("<title>left open");
  p.Execute();
  p.SetHTMLText(R"(<a href="a.htm">)");
  p.Execute();
  EXPECT_THAT(p.Parsed().Hyperlinks, ElementsAre("a.htm"));
  EXPECT_EQ(p.Parsed().Title, "");
}

TEST(HtmlScanner, PlainTextIsOneRun) {
  TjsHTMLParser p;
  std::vector<std::string> texts;
  p.OnFoundText = [&](TjsHTMLParser*, const std::string& t) { texts.push_back(t); };
  p.SetHTMLText("Hello there,\r\nsee http://example.org/x.jpg > now\r\n");
  p.Execute();
  EXPECT_THAT(texts, ElementsAre("Hello there,see http://example.org/x.jpg > now"));
  EXPECT_THAT(p.Parsed().Hyperlinks, IsEmpty());
  EXPECT_THAT(p.Parsed().HTTPlinks, IsEmpty());
  EXPECT_EQ(p.LineCount(), 2);
  EXPECT_EQ(p.LastLine(), 2);
}

TEST(HtmlScanner, EventsSeeTagsTextsCommentsAndEveryCharacter) {
  TjsHTMLParser p;
  std::vector<std::string> tags, texts, comments;
  int calls = 0, lastLine = 0, total = 0;
  p.OnFoundTag = [&](TjsHTMLParser*, const std::string& t) { tags.push_back(t); };
  p.OnFoundText = [&](TjsHTMLParser*, const std::string& t) { texts.push_back(t); };
  p.OnFoundComment = [&](TjsHTMLParser*, const std::string& c) { comments.push_back(c); };
  p.OnParsing = [&](TjsHTMLParser*, int line, int lines) {
    ++calls;
    lastLine = line;
    total = lines;
  };
  p.SetHTMLText("<b>bold</b>\n\n<!-- note --><!--x-->tail<i");
  p.Execute();
  EXPECT_THAT(tags, ElementsAre("b", "/b"));  // no tag holding "!--"; "<i" is dropped
  EXPECT_THAT(texts, ElementsAre("bold", "tail"));
  EXPECT_THAT(comments, ElementsAre("note"));  // "!--x--" has no blank: no comment
  EXPECT_EQ(calls, 11 + 25 + 2);
  EXPECT_EQ(lastLine, 3);
  EXPECT_EQ(total, 3);
  EXPECT_EQ(p.LastLine(), 3);
}

TEST(HtmlScanner, CharacterWalkAndRunWalkAgree) {
  const std::string html =
      "x<a <b href=\"c.gif\">>y<a href=\"d e.htm\" >\n<a\nhref=q.htm><a href=\"open.gif";
  TjsHTMLParser fast, slow;
  slow.OnParsing = [](TjsHTMLParser*, int, int) {};
  fast.SetHTMLText(html);
  slow.SetHTMLText(html);
  fast.Execute();
  slow.Execute();
  EXPECT_EQ(fast.Parsed().Hyperlinks, slow.Parsed().Hyperlinks);
  // "<" inside a tag: the tag is what follows the last one, "b href=...".
  EXPECT_THAT(fast.Parsed().Hyperlinks, ElementsAre("d e.htm"));
}

TEST(HtmlScanner, ImagesFramesAndMeta) {
  TParsed r = Scan(
      R"(<img src="a.gif" alt=x><IMG SRC=b.png><frame src='f.htm'>)"
      R"(<meta name="keyword" CONTENT="k1,k2"><meta name="description" VALUE="d"><meta name=description VALUE="e">)"
      R"(<meta name="keyword" content="lower">)");
  EXPECT_THAT(r.Images, ElementsAre("a.gif", "b.png"));
  EXPECT_THAT(r.FramePages, ElementsAre("f.htm"));
  // "content" is only taken when written in capitals; an unquoted name
  // followed by another attribute keeps its blank and matches nothing.
  EXPECT_EQ(r.Keyword, "");
  EXPECT_EQ(r.Description, "d");
  EXPECT_EQ(Scan(R"(<meta name="Keyword" CONTENT="k1,k2">)").Keyword, "k1,k2");
}

TEST(HtmlScanner, AttributeSearchFindsNamesAnywhere) {
  // "href" inside another attribute's value is found first; its closing
  // quote then opens a quoted run.
  EXPECT_EQ(AttributeText(R"(a title="see href" href="x.htm")", "href"), "href\" href=\"x.htm\"");
  EXPECT_EQ(AttributeValue(AttributeText(R"(a title="a href b" href="x.htm")", "href")), "href ");
  EXPECT_EQ(AttributeText(R"(a title="a href b" href="x.htm")", "href"), "href ");
  EXPECT_EQ(AttributeText(R"(a HREF="a b.htm" x)", "href"), "HREF=\"a b.htm\" ");
  EXPECT_EQ(AttributeText("a href", "href"), "href");
  EXPECT_EQ(AttributeText("a id=1", "href"), "");
  EXPECT_EQ(AttributeValue("href=\"open"), "open");
  EXPECT_EQ(AttributeValue("noequals"), "noequals");
  EXPECT_EQ(AttributeValue("x='y"), "y");
}

TEST(HtmlScanner, SplitURLFindsTheFilePart) {
  TSplitURL u = SplitURL("HTTP://HOST/DIR/PIC.JPG?SIZE=2");
  EXPECT_EQ(u.Scheme, "HTTP");
  EXPECT_EQ(u.Path, "HOST/DIR/");
  EXPECT_EQ(u.File, "PIC.JPG");
  EXPECT_EQ(u.Query, "SIZE=2");
  EXPECT_EQ(u.Extension, ".JPG");
  // No "." in the rest: a directory, however much query follows.
  u = SplitURL("HTTP://HOST/DIR/GET?ID=3");
  EXPECT_EQ(u.Path, "HOST/DIR/GET?ID=3");
  EXPECT_EQ(u.File, "");
  EXPECT_EQ(u.Extension, "");
  // A "/" in the query moves everything before it into the path.
  EXPECT_EQ(SplitURL("HTTP://H/A.PHP?U=X/Y.GIF").File, "Y.GIF");
  EXPECT_EQ(SplitURL("MAILTO:A@B.ORG").File, "A@B.ORG");
  EXPECT_EQ(SplitURL("X.TAR.GZ").Extension, ".GZ");
  EXPECT_EQ(SplitURL("HTTP://HOST.ORG").Extension, ".ORG");
}

TEST(HtmlScanner, ClassificationOrderFirstMatchWins) {
  TParsed r = Scan(
      "<a href=a.phtml><a href=http://h/b.php3><a href=c.cgi><a href=d.CAB>"
      "<a href=http://h/e.mpeg><a href=f.class><a href=g.asp><a href=h.shtml>"
      "<a href=ftp://h/i.gif><a href=j.txt>");
  EXPECT_THAT(r.HTML.Local, ElementsAre("a.phtml", "h.shtml"));  // "HTM" comes before PHP
  EXPECT_THAT(r.PHP.Remote, ElementsAre("http://h/b.php3"));
  EXPECT_THAT(r.PERL.Local, ElementsAre("c.cgi"));
  EXPECT_THAT(r.ActiveX.Local, ElementsAre("d.CAB"));
  EXPECT_THAT(r.Media.Remote, ElementsAre("http://h/e.mpeg"));
  EXPECT_THAT(r.Java.Local, ElementsAre("f.class"));
  EXPECT_THAT(r.ASP.Local, ElementsAre("g.asp"));
  EXPECT_THAT(r.Image.Local, ElementsAre("ftp://h/i.gif"));
  EXPECT_EQ(r.Hyperlinks.size(), 10u);
  EXPECT_THAT(r.Locallinks,
              ElementsAre("a.phtml", "c.cgi", "d.CAB", "f.class", "g.asp", "h.shtml", "j.txt"));
}

TEST(HtmlScanner, ExecuteStartsFromEmptyResults) {
  TjsHTMLParser p;
  p.SetHTMLText(R"(<title>T</title><a href="http://h/x.jpg"><img src=y.gif>)");
  p.Execute();
  p.SetHTMLText("nothing");
  p.Execute();
  const TParsed& r = p.Parsed();
  EXPECT_EQ(r.Title, "");
  EXPECT_THAT(r.Hyperlinks, IsEmpty());
  EXPECT_THAT(r.Images, IsEmpty());
  EXPECT_THAT(r.Image.Remote, IsEmpty());
  EXPECT_THAT(r.HTTPlinks, IsEmpty());
}

}  // namespace
}  // namespace qb
