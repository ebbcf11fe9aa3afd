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

  // Every mend on (the default).
  static TMimeParserOptions Default() { return {}; }
  // Every mend off: the old matching rules. (In both, a name parameter
  // whose value is empty counts as no name, so an embedded message with
  // name="" is still named after its Subject.)
  static TMimeParserOptions Legacy() { return {false, false, false, false}; }
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
// - Bytes outside the base64 alphabet keep their place in their group of
//   four; a final group of fewer than four characters is dropped.
// - Header names are matched with the blank after the colon where the old
//   rules use one ("SUBJECT: "), so "Subject:x" is not a Subject.
constexpr int kMimeMaxNestingDepth = 100;

}  // namespace qb
