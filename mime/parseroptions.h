// The leniency rules of the message parser, named in one place.
//
// Two kinds of rule live here. The switches of TMimeParserOptions are
// mends: places where the old matching rules lost or mangled what current
// mail programs write, and where the parser now does the sound thing. Each
// is on by default; turning it off gives the old behaviour back (the tests
// use that to show what a mend changes). The constants and the list below
// them are rules the old behaviour demands on purpose; they are not
// switches, and stored trees and callers rely on them.
#pragma once

#include <cstddef>

namespace qb {

struct TMimeParserOptions {
  // RFC 2231 parameters: "name*", "filename*" and their numbered
  // continuations ("*0", "*1*", ...) are decoded, the charset converted to
  // the text file names use (valid UTF-8 as it is), the language tag
  // ignored. Beside a plain or RFC 2047 form of the same parameter the
  // RFC 2231 form wins; when it is broken the plain form is taken.
  // Old: "filename*=UTF-8''a.pdf" gave the name "=UTF-8''a.pdf".
  bool Rfc2231Parameters = true;

  // A quoted parameter value runs to its closing quote, ";" included, and
  // \" and \\ inside it stand for " and \. An unquoted value still ends at
  // the first ";". Old: filename="Q3; final.pdf" gave "Q3".
  bool QuotedValuesKeepSemicolons = true;

  // A parameter is looked up by its whole name when the line has a
  // parameter of that name, so "name=" is not found inside the type
  // "x-rename-me". Without such a parameter the old rule stays: the first
  // occurrence of the name anywhere in the line (it finds "NAME" inside
  // "filename=", which a Content-Type line carrying only a file name
  // relies on).
  bool WholeParameterNames = true;

  // Unstructured header values keep their whole text: the Subject, and the
  // name of a saved embedded message made from its Subject, are not cut at
  // ";". Structured values (Content-Type, Content-Disposition,
  // Content-Transfer-Encoding, the address and date headers) still are.
  bool UnstructuredValuesKeepSemicolons = true;

  // An attachment kept as text (no transfer encoding, or quoted-printable)
  // is written as the message stores it: from the first byte after the
  // blank line that ends its header block up to the line break that
  // belongs to the next delimiter, line ends as stored. Quoted-printable
  // keeps those line ends for hard breaks, and "=" before a bare LF is a
  // soft break as "=" before CR LF is. The same holds for an embedded
  // message saved whole. Old: lines joined with CR LF, leading blank lines
  // dropped, and "=" LF also swallowed the byte after it.
  bool TextAttachmentsKeepBytes = true;

  // A delimiter line may carry blanks or tabs after the boundary, the
  // opening one too. Old: only a padded closing delimiter was seen, so a
  // padded first delimiter lost every part.
  bool PaddedDelimiters = true;

  // For reading parameters (Content-Type, Content-Disposition) a folded
  // field is unfolded by removing only the line breaks, so a quoted value
  // folded across lines keeps its blanks. Old: continuation lines were
  // trimmed and glued, and a folded boundary lost its blank.
  bool FoldedParametersKeepBlanks = true;

  // A boundary is taken whole, whatever its length. Old: at most 72
  // characters after the word "boundary" were read.
  bool LongBoundaries = true;

  // base64 as RFC 2045 reads it: bytes outside the alphabet are skipped
  // (they take no place in a group), decoding ends at the pad character,
  // and a last group of two or three characters still gives its one or two
  // bytes. Old: a stray byte took a place, text after the padding was
  // decoded on, and an incomplete last group was dropped.
  bool Base64Rfc2045 = true;

  // "uuencode", "x-uue" and "uue" are uuencoding as "x-uuencode" is, and a
  // uuencoded part may have text before its begin line. Old: only
  // "x-uuencode" was decoded; the others were saved as the encoded text.
  bool AllUuencodeNames = true;

  // Names in their own character set: an encoded word is converted from
  // its charset to UTF-8 (blanks between two encoded words dropped), "_"
  // is a blank only inside a Q word ("=5F" stays an underscore), and a raw
  // 8-bit name that is not UTF-8 is converted from the part's charset, else
  // the message's. Old: the bytes of the words as they were, and every "_"
  // of the text, decoded or not, became a blank.
  bool CharsetNames = true;

  // The attachments of an embedded message that is saved whole (".eml")
  // are also attachments of this message, to the nesting limit. Old: they
  // were only inside the ".eml".
  bool EmbeddedAttachmentsBeside = true;

  // An embedded message without a Subject is named "rfc822-" and eight hex
  // digits taken from a digest of its text, the same on every run. Old: the
  // digits were drawn at random.
  bool StableEmbeddedNames = true;

  // A message/external-body part holds only a reference to content kept
  // elsewhere: it is not an attachment. Old: its few header lines were
  // saved under the real file's name.
  bool SkipExternalBody = true;

  // A uuencoded attachment with a character outside the alphabet fails
  // when its bytes are written, as one file that cannot be saved: the
  // message's other attachments are still written. (This holds for an
  // attachment decoded when written, as the extraction run does; one
  // decoded at once still raises out of parsing.) Old: the error left the
  // parsing and the whole message was lost.
  bool BadUuencodeLosesOnlyItsFile = true;

  // Every mend on (the default).
  static TMimeParserOptions Default() { return {}; }
  // Every mend off: the old matching rules. (In both, a name parameter
  // whose value is empty counts as no name, so an embedded message with
  // name="" is still named after its Subject.)
  static TMimeParserOptions Legacy() {
    TMimeParserOptions o;
    o.Rfc2231Parameters = o.QuotedValuesKeepSemicolons = o.WholeParameterNames = false;
    o.UnstructuredValuesKeepSemicolons = o.TextAttachmentsKeepBytes = o.PaddedDelimiters = false;
    o.FoldedParametersKeepBlanks = o.LongBoundaries = o.Base64Rfc2045 = false;
    o.AllUuencodeNames = o.CharsetNames = o.EmbeddedAttachmentsBeside = false;
    o.StableEmbeddedNames = o.SkipExternalBody = o.BadUuencodeLosesOnlyItsFile = false;
    return o;
  }
};

// Rules kept on purpose (not switches):
// - Nesting of multiparts and embedded messages is followed to
//   kMimeMaxNestingDepth levels; a deeper part is handled as one leaf.
// - An inline text part is body text, even when it carries a file name.
// - An unnamed 7bit or 8bit part of a non-text type goes to the text.
// - An unnamed base64 or quoted-printable part of a non-text type is an
//   attachment named after the message's Subject.
// - An embedded message is saved whole as a ".eml" attachment unless its
//   disposition is present and other than "attachment".
// - Header names are matched with the blank after the colon where the old
//   rules use one ("SUBJECT: "), so "Subject:x" is not a Subject.
constexpr int kMimeMaxNestingDepth = 100;
// - Of one header field (with its continuation lines) the first 64 KiB are
//   kept; the rest is left unread. The fields read are names, types,
//   parameters and short texts: a huge field costs 64 KiB, not copies of
//   its size.
constexpr std::size_t kMimeMaxHeaderFieldBytes = 64 * 1024;

}  // namespace qb
