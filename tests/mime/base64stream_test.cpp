// The base64 filters, fed in chunks of several sizes.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "mime/base64stream.h"
#include "mime/streams.h"

namespace qb {
namespace {

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

// A destination that fails on every write.
class TBrokenStream : public TStream {
 public:
  size_t Read(void*, size_t) override { return 0; }
  size_t Write(const void*, size_t) override { throw EStreamError("disk full"); }
  int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
};

std::string DecodeInChunks(const std::string& text, size_t chunk) {
  TMemoryStream out;
  TBase64DecodingStream dec(out);
  for (size_t i = 0; i < text.size(); i += chunk)
    dec.Write(text.data() + i, std::min(chunk, text.size() - i));
  return out.Bytes();
}

std::string EncodeInChunks(const std::string& bytes, size_t chunk) {
  TMemoryStream out;
  {
    TBase64EncodingStream enc(out);
    for (size_t i = 0; i < bytes.size(); i += chunk)
      enc.Write(bytes.data() + i, std::min(chunk, bytes.size() - i));
  }
  return out.Bytes();
}

class Base64Chunks : public ::testing::TestWithParam<size_t> {};

TEST_P(Base64Chunks, RoundTripWithGroupsSpanningWritesAndLines) {
  const size_t chunk = GetParam();
  for (size_t n : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 1000u, 10007u}) {
    std::string bytes = RandomBytes(n, static_cast<unsigned>(n));
    std::string text = EncodeInChunks(bytes, chunk);
    EXPECT_EQ(text, EncodeInChunks(bytes, 4096)) << "n=" << n;
    EXPECT_EQ(DecodeInChunks(text, chunk), bytes) << "n=" << n;
    // Lines of odd lengths: groups continue across line breaks.
    std::string odd;
    std::string flat;
    for (char c : text)
      if (c != '\r' && c != '\n') flat.push_back(c);
    for (size_t i = 0; i < flat.size(); i += 7) odd += flat.substr(i, 7) + "\r\n";
    EXPECT_EQ(DecodeInChunks(odd, chunk), bytes) << "n=" << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, Base64Chunks, ::testing::Values(4096, 1024, 16, 1));

TEST(Base64Encoding, LineLengthPaddingAndCount) {
  std::string line;
  for (int i = 0; i < 19; ++i) line += "YWFh";
  EXPECT_EQ(EncodeInChunks(std::string(57, 'a'), 4096), line + "\r\n");
  EXPECT_EQ(EncodeInChunks("a", 1), "YQ==");
  EXPECT_EQ(EncodeInChunks("ab", 1), "YWI=");
  EXPECT_EQ(Base64Encode(std::string(114, 'a')).find("\r\n"), 76u);
  EXPECT_EQ(Base64Encode(std::string(114, 'a')).size(), 152u + 2u);

  TMemoryStream out;
  TBase64EncodingStream enc(out);
  EXPECT_EQ(enc.Write("abcd", 4), 4u);  // characters written so far
  EXPECT_EQ(enc.Seek(0, TSeekOrigin::Current), 4);
  EXPECT_EQ(enc.Seek(0, TSeekOrigin::End), 4);
  EXPECT_EQ(enc.Seek(4, TSeekOrigin::Beginning), 4);
  EXPECT_THROW(enc.Seek(1, TSeekOrigin::Beginning), EStreamError);
  char b;
  try {
    enc.Read(&b, 1);
    FAIL();
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.what(), "Invalid stream operation");
  }
}

TEST(Base64Encoding, FailingDestinationResetsTheCount) {
  TBrokenStream broken;
  TBase64EncodingStream enc(broken);
  EXPECT_EQ(enc.Write("abcdef", 6), 0u);
}

TEST(Base64Decoding, GroupSplitOverTwoWritesAndPadding) {
  TMemoryStream out;
  TBase64DecodingStream dec(out);
  EXPECT_EQ(dec.Write("YW", 2), 0u);
  EXPECT_EQ(out.Size(), 0u);
  EXPECT_EQ(dec.Write("Jj", 2), 3u);
  EXPECT_EQ(out.Bytes(), "abc");
  // Decoding goes on after a padded group.
  EXPECT_EQ(dec.Write("YQ==YWI=\r\nYWJj", 14), 6u);
  EXPECT_EQ(out.Bytes(),
            "abcaabab"
            "c");
  // "=" first gives nothing; a lone trailing group is dropped.
  EXPECT_EQ(dec.Write("====YW", 6), 0u);
  EXPECT_EQ(out.Bytes(), "abcaababc");
  EXPECT_THROW(dec.Seek(0, TSeekOrigin::Current), EStreamError);
  char b;
  EXPECT_THROW(dec.Read(&b, 1), EStreamError);
}

TEST(Base64Decoding, ForeignBytesKeepTheirPlace) {
  // A blank counts as a character of its group: the group is spoiled but
  // the groups after it stay aligned.
  std::string r = Base64Decode("Y JjYWJj");
  ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(r.substr(3), "abc");
}

TEST(Base64Decoding, FailingDestinationReturnsZero) {
  TBrokenStream broken;
  TBase64DecodingStream dec(broken);
  EXPECT_EQ(dec.Write("YWJj", 4), 0u);
}

}  // namespace
}  // namespace qb
