// The chunked decoders against the byte rules, on text full of what makes
// them leave their fast paths: stray bytes, "=" anywhere, breaks inside
// groups and escapes, fed in chunks of several sizes.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "mime/base64stream.h"
#include "mime/mimehelpers.h"

namespace qb {
namespace {

// The base64 rule one byte at a time, as plainly as it can be written.
std::string ReferenceBase64(const std::string& text) {
  auto value = [](unsigned char c) -> unsigned {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (c == '=') return 64;
    std::size_t at = alphabet.find(static_cast<char>(c));
    return at == std::string::npos ? 0 : static_cast<unsigned>(at);
  };
  std::string out, g;
  for (char ch : text) {
    if (ch == '\r' || ch == '\n') continue;
    g.push_back(ch);
    if (g.size() < 4) continue;
    unsigned a = value(g[0]), b = value(g[1]), c = value(g[2]), d = value(g[3]);
    int n = g[0] == '=' ? 0 : g[2] == '=' ? 1 : g[3] == '=' ? 2 : 3;
    if (n == 1) c = d = 0;
    if (n == 2) d = 0;
    const char bytes[3] = {static_cast<char>((a * 4 + b / 16) & 255),
                           static_cast<char>(((b % 16) * 16 + c / 4) & 255),
                           static_cast<char>(((c % 4) * 64 + d) & 255)};
    out.append(bytes, static_cast<std::size_t>(n));
    g.clear();
  }
  return out;
}

// Mostly clean text with the given rare bytes sprinkled in.
std::string NoisyText(std::size_t n, const std::string& common, const std::string& rare,
                      unsigned seed) {
  std::mt19937 gen(seed);
  std::string s;
  for (std::size_t i = 0; i < n; ++i)
    s.push_back(gen() % 16 == 0 ? rare[gen() % rare.size()] : common[gen() % common.size()]);
  return s;
}

class DecoderChunks : public ::testing::TestWithParam<std::size_t> {};

TEST_P(DecoderChunks, Base64MatchesTheByteRule) {
  const std::size_t chunk = GetParam();
  const std::string common = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string rare = std::string("=\r\n \t.-\x80\xFF\0", 10);
  for (unsigned seed = 1; seed <= 20; ++seed) {
    const std::string text = NoisyText(3000 + seed, common, rare, seed);
    TBase64Decoder dec;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += chunk) {
      const std::size_t n = std::min(chunk, text.size() - i);
      std::string buf(TBase64Decoder::MaxDecodedSize(n), '\0');
      buf.resize(dec.Decode(text.data() + i, n, reinterpret_cast<unsigned char*>(buf.data())));
      out += buf;
    }
    ASSERT_EQ(out, ReferenceBase64(text)) << "seed " << seed;
  }
}

TEST_P(DecoderChunks, QuotedPrintableMatchesTheWholeBuffer) {
  const std::size_t chunk = GetParam();
  const std::string common = "abc 3D=Fz\t";
  const std::string rare = std::string("=\r\n\0g", 5);
  for (unsigned seed = 1; seed <= 20; ++seed) {
    const std::string text = NoisyText(3000 + seed, common, rare, seed);
    TQuotedPrintableDecoder dec;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += chunk) {
      const std::size_t n = std::min(chunk, text.size() - i);
      std::string buf(n, '\0');
      buf.resize(dec.Decode(text.data() + i, n, buf.data()));
      out += buf;
    }
    dec.Finish();
    ASSERT_EQ(out, DecodeQuotedPrintableCopy(text)) << "seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, DecoderChunks, ::testing::Values(4096, 1024, 16, 1));

}  // namespace
}  // namespace qb
