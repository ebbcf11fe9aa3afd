// 8-bit text at the edge to the user interface and the file system.
//
// Texts inside the program are bytes, as the mail stores hold them. Where
// they meet a UTF-8 world (file names, the screen), valid UTF-8 passes
// unchanged and anything else is taken as text in the system code page.
#pragma once

#include <string>
#include <string_view>

namespace qb {

bool IsValidUtf8(std::string_view bytes);

// The system code page: "CP1252" unless QUILLBOX_CODEPAGE names another
// (any name iconv knows) or SetSystemCodePage chose one.
std::string SystemCodePage();
void SetSystemCodePage(const std::string& name);

// Valid UTF-8 unchanged; otherwise converted from the system code page.
// Bytes the code page does not define become U+FFFD.
std::string ToUtf8Edge(std::string_view bytes);

// Windows-1252 to UTF-8, byte by byte (undefined bytes become U+FFFD).
std::string Cp1252ToUtf8(std::string_view bytes);

// Converts bytes in the named character set (as mail names it) to UTF-8:
// US-ASCII and UTF-8 stay as they are (false when not valid UTF-8); others
// go through iconv. False, out untouched, for an unknown charset or bytes
// the charset does not allow.
bool CharsetToUtf8(std::string_view charset, std::string_view bytes, std::string& out);

// UTF-16LE to UTF-8 (unpaired surrogates become U+FFFD).
std::string Utf16LeToUtf8(std::string_view bytes);

// UTF-8 to UTF-16LE (no byte-order mark).
std::string Utf8ToUtf16Le(std::string_view utf8);

// UTF-8 to the system code page where it can be represented, '?' elsewhere;
// used for text typed by the user that must become 8-bit.
std::string Utf8ToCodePage(std::string_view utf8);

}  // namespace qb
