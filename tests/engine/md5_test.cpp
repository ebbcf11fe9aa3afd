#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "engine/oCalcMD5.h"
#include "tests/support/testsupport.h"

namespace qb {
namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string RandomBytes(std::mt19937& rng, std::size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

// md5sum's digests of the given files, keyed by file name.
std::map<std::string, std::string> Md5sum(const test::TempDir& dir, int count) {
  std::string cmd = "cd '" + dir.Path() + "' && md5sum";
  for (int i = 0; i < count; ++i) cmd += " f" + std::to_string(i);
  std::map<std::string, std::string> out;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return out;
  char line[512];
  while (std::fgets(line, sizeof line, p)) {
    std::string s(line);
    if (s.size() < 35) continue;
    std::string name = s.substr(34);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    out[name] = s.substr(0, 32);
  }
  ::pclose(p);
  return out;
}

TEST(MD5, Rfc1321TestSuite) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
       "0",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [text, digest] : cases) EXPECT_EQ(Lower(MD5Text(text)), digest) << text;
  // The text form is upper case, in digest byte order.
  EXPECT_EQ(MD5Text("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(CalcMD5("abc")[0], 0x90);
}

TEST(MD5, MatchesMd5sumForEveryLengthUpTo200) {
  test::TempDir dir;
  std::mt19937 rng(1321);
  std::vector<std::string> inputs;
  for (int n = 0; n <= 200; ++n) {
    inputs.push_back(RandomBytes(rng, static_cast<std::size_t>(n)));
    test::WriteFile(dir / ("f" + std::to_string(n)), inputs.back());
  }
  const auto ref = Md5sum(dir, 201);
  ASSERT_EQ(ref.size(), 201u) << "md5sum did not run";
  for (int n = 0; n <= 200; ++n)
    EXPECT_EQ(Lower(MD5Text(inputs[static_cast<std::size_t>(n)])), ref.at("f" + std::to_string(n)))
        << "length " << n;
}

TEST(MD5, MatchesMd5sumOnMegabytesFedInUnevenPieces) {
  test::TempDir dir;
  std::mt19937 rng(7);
  const std::string big = RandomBytes(rng, 3 * 1024 * 1024 + 17);
  test::WriteFile(dir / "f0", big);
  const auto ref = Md5sum(dir, 1);
  ASSERT_EQ(ref.count("f0"), 1u);
  EXPECT_EQ(Lower(MD5Text(big)), ref.at("f0"));

  // The same digest when the bytes arrive in pieces that straddle blocks.
  TMD5Context ctx;
  std::size_t off = 0;
  while (off < big.size()) {
    const std::size_t n = std::min<std::size_t>(rng() % 200, big.size() - off);
    ctx.Update(big.data() + off, n);
    off += n;
  }
  EXPECT_EQ(Lower(MD5DigestToText(ctx.Final())), ref.at("f0"));
}

}  // namespace
}  // namespace qb
