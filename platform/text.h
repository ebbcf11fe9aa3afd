// Small helpers on 8-bit text. Trimming removes the bytes with codes 0 to
// 32; letter case means the ASCII letters only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

std::string_view TrimView(std::string_view s);
std::string Trim(std::string_view s);
bool IsBlank(std::string_view s);  // empty after trimming
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
bool EndsWithNoCase(std::string_view s, std::string_view suffix);

// The value of a hexadecimal digit, -1 for any other character.
int HexDigit(char c);
// Eight upper-case hexadecimal digits.
std::string Hex8(std::uint32_t v);

}  // namespace qb
