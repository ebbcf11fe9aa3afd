// Parameters of structured header lines (Content-Type, Content-Disposition)
// and the file name a part carries in them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mime/parseroptions.h"
#include "platform/codepage.h"

namespace qb {

// One parameter as written: "name=value", "name*=charset'lang'%XX..",
// "name*0*=..", "name*1=..".
struct THeaderParameter {
  std::string Name;                        // upper case, "*" and section number removed
  int Section = -1;                        // the number after "*" for a continuation, else -1
  bool Extended = false;                   // written with "*" (RFC 2231)
  bool Encoded = false;                    // value is percent-encoded (trailing "*")
  bool Quoted = false;                     // value was a quoted string
  std::string Value;                       // quotes removed, \" and \\ resolved when quoted
  std::size_t NameBegin = 0, NameEnd = 0;  // the name's span in the line
};

// The parameters after the first ";" of a header line. keepSemicolons:
// a quoted value runs to its closing quote (otherwise it ends at ";" as an
// unquoted one does).
std::vector<THeaderParameter> ParseHeaderParameters(std::string_view line, bool keepSemicolons);

// Decodes an RFC 2231 value (percent escapes; with charset'language' in
// front when hasCharset). A "%" not followed by two hex digits stays as
// written. The bytes are converted from the charset to UTF-8; ok is false
// when the charset is unknown or the bytes are not valid in it (the bytes
// are then returned as they are).
std::string DecodeRfc2231Value(std::string_view value, bool hasCharset, bool& ok);

// The file name given by parameter key (upper case: "NAME", "FILENAME") of
// a Content-Type or Content-Disposition line, decoded and trimmed (RFC 2047
// words decoded; RFC 2231 forms as options allow). Empty when there is
// none. Without a parameter of that very name the first occurrence of key
// anywhere in the line is taken, as the old rule did.
std::string FileNameParameter(std::string_view key, std::string_view line,
                              const TMimeParserOptions& options);

// The value of an unstructured header (Subject): the trimmed text after the
// first occurrence of key, not cut at ";". Empty when key does not occur.
std::string UnstructuredValue(std::string_view key, std::string_view line);

}  // namespace qb
