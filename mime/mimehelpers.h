// Text helpers of the MIME component: header access, encoded words,
// quoted-printable, quotes and addresses, temporary names and the values
// generated when composing a message.
//
// Text is bytes throughout; no character-set conversion happens here.
// Header matching compares upper-cased (ASCII) copies; values keep their
// case. Character positions in the comments count from 1.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mime/lines.h"
#include "mime/parseroptions.h"
#include "platform/text.h"

namespace qb {

// Splits bytes into lines the way the string list loads them: CR LF, a
// bare LF and a bare CR each end a line; a break at the very end does not
// add an empty last line. A NUL byte is an ordinary byte.
TStringList SplitTextLines(std::string_view text);
// Appends the lines of text to list (as SplitTextLines).
void AppendLines(TStringList& list, std::string_view text);
// Calls f(line) for every line of text, split as SplitTextLines does, with
// views into text (nothing is copied).
template <class F>
void ForEachLine(std::string_view text, F&& f);
// Joins lines with CR LF after every line.
std::string JoinLines(TLineSpan lines);
// Joins lines with CR LF between lines (no final break).
std::string JoinLinesNoFinalBreak(TLineSpan lines);

// ASCII case-insensitive search; npos when absent. needle is upper case.
std::size_t FindUpper(std::string_view haystack, std::string_view upperNeedle,
                      std::size_t from = 0);
// True when s begins with upperPrefix, comparing case-insensitively.
bool StartsWithUpper(std::string_view s, std::string_view upperPrefix);

// --- Header access -------------------------------------------------------

// Finds the first line of the header block at the top of lines (after any
// empty lines) that begins with key (upper case, e.g. "CONTENT-TYPE: ").
// Following lines that begin with a blank or TAB are trimmed and appended
// without separator. Returns false, leaving line unchanged, when absent.
bool FindHeader(std::string_view key, TLineSpan lines, std::string& line);
// As FindHeader, but continuation lines are appended as they are, only
// the line breaks removed (RFC 5322 unfolding): for reading parameters,
// whose quoted values keep the folding's blanks.
bool FindHeaderUnfolded(std::string_view key, TLineSpan lines, std::string& line);
// As FindHeader, but the search goes on past empty lines and stops at the
// first line beginning with "--".
bool FindHeaderInPart(std::string_view key, TLineSpan lines, std::string& line);
// The trimmed text after the first occurrence of key in line (compared
// upper-cased), cut at its first ";"; empty when key does not occur.
std::string HeaderValue(std::string_view key, std::string_view line);
// Deletes the header block and the blank lines after it.
void StripHeaderBlock(TStringList& lines);
// The same on a view: returns the lines that remain.
TLineSpan StripHeaderBlock(TLineSpan lines);
// "--" + the boundary parameter of a Content-Type line, or "". At most 72
// characters after the word are read unless whole is set.
std::string ExtractBoundary(std::string_view line, bool whole = false);

// --- Decoding and cleaning -----------------------------------------------

// Decodes RFC 2047 encoded words ("=?charset?Q?...?=", "=?charset?B?...?=");
// the charset is ignored and the bytes are not converted.
std::string DecodeHeaderWords(std::string_view text);
// The same under the parser's options: with CharsetNames, each encoded
// word is converted from its charset to UTF-8 (the words of one charset
// that follow each other are converted together, so a character may be cut
// between them), blanks between two encoded words are dropped, "_" is a
// blank only inside a Q word, and a word that cannot be converted keeps its
// bytes. Without it, as above.
std::string DecodeHeaderWords(std::string_view text, const TMimeParserOptions& options);
// Decodes quoted-printable in place; returns the decoded length (buffer is
// resized to it). "=" + CR or LF skips the "=" and the two bytes after it;
// "=" + two non-hex bytes gives "@"; a "=" with fewer than two bytes after
// it ends the text. Every byte, NUL included, is data.
std::size_t DecodeQuotedPrintable(std::string& buffer);
std::string DecodeQuotedPrintableCopy(std::string_view text);

// The same decoding as a small state object fed in chunks: an escape may
// span chunks. Finish drops an escape still incomplete at the end.
//
// With lineEnds set, "=" before a line break is a soft break whatever the
// break is: "=" CR LF, "=" LF and "=" CR each vanish, and the byte after
// them is kept (the old rule also dropped the byte after "=" LF).
class TQuotedPrintableDecoder {
 public:
  explicit TQuotedPrintableDecoder(bool lineEnds = false) : lineEnds_(lineEnds) {}
  // Decodes count bytes of in into out (room for count bytes; out may be
  // in itself, for decoding in place) and returns the number written.
  std::size_t Decode(const char* in, std::size_t count, char* out);
  void Finish() { state_ = kText; }

 private:
  enum TState { kText, kEquals, kHex, kSkipOne, kSkipLf };
  TState state_ = kText;
  bool lineEnds_ = false;
  char first_ = 0;  // the first byte after "=" (kHex)
};

std::string StripQuotes(std::string_view text);
std::string StripOuterQuote(std::string_view text);
std::string RemoveChar(std::string_view text, char c);
std::string RemoveQuoted(std::string_view text);
std::string CleanAddress(std::string_view text, bool wrap);
std::string CleanDisplayName(std::string_view text, bool quote);
std::string NormalizeAddressList(std::string_view text);

// --- Files and generated values ------------------------------------------

// The MIME type for a file name's extension, "application/octet-stream"
// when the extension is not known.
std::string ContentTypeOfFile(std::string_view fileName);
// The directory for temporary files: $TMPDIR, else /tmp; with a trailing '/'.
std::string TempDirectory();
// Creates a new empty file named <temp dir><prefix>-XXXXXXXX.$$$ (8 random
// upper-case hex digits) exclusively, drawing again while the name is
// taken, and returns its path. Throws std::runtime_error when no file can be
// created.
std::string UniqueTempFileName(std::string_view prefix);

// The process-wide random generator (safe to use from any thread).
void RandomizeFromClock();
// A random number in [0, limit).
std::uint32_t RandomBelow(std::uint32_t limit);
// A random number below 2147483647 as 8 upper-case hex digits.
std::string RandomHex8();

std::string MakeBoundary();
// Throws std::invalid_argument when address is not blank and not four
// dotted decimal numbers.
std::string MakeMessageID(std::string_view host, std::string_view address);
std::string EncodeQuotedPrintable(TLineSpan lines);

// --- Inline definitions ----------------------------------------------------

namespace detail {
// The first CR or LF in [p, end), or end.
const char* FindLineBreak(const char* p, const char* end);
}  // namespace detail

template <class F>
void ForEachLine(std::string_view text, F&& f) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const char* br = detail::FindLineBreak(p, end);
    f(std::string_view(p, static_cast<std::size_t>(br - p)));
    if (br == end) break;
    p = br + 1;
    if (*br == '\r' && p < end && *p == '\n') ++p;
  }
}

}  // namespace qb
