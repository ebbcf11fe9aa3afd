#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

TEST(CodePage, ValidUtf8PassesUnchanged) {
  EXPECT_EQ(ToUtf8Edge("Gr\xC3\xBC\xC3\x9F"
                       "e"),
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));      // cut short
}

TEST(CodePage, OtherBytesAreWindows1252) {
  EXPECT_EQ(ToUtf8Edge("Gr\xFC\xDF"
                       "e"),
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  EXPECT_EQ(ToUtf8Edge("\x80 \x9F"), "\xE2\x82\xAC \xC5\xB8");
  EXPECT_EQ(ToUtf8Edge("\x81"), "\xEF\xBF\xBD");  // undefined in 1252
}

TEST(CodePage, ConfiguredCodePage) {
  SetSystemCodePage("ISO-8859-5");
  EXPECT_EQ(ToUtf8Edge("\xB0"), "\xD0\x90");  // Cyrillic A
  SetSystemCodePage("");
}

TEST(CodePage, Utf16Le) {
  EXPECT_EQ(Utf16LeToUtf8(std::string("A\0\xFC\0", 4)), "A\xC3\xBC");
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x3D\xD8\x00\xDE", 4)), "\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace qb
