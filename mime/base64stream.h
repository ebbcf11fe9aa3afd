// Write-only base64 filters (RFC 2045) over a destination stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mime/streams.h"

namespace qb {

// Encodes what is written into lines of 76 characters, each followed by
// CR LF. The last, shorter line (with its "=" padding) is written when the
// stream is destroyed (or by Finish), without a line break after it.
class TBase64EncodingStream : public TStream {
 public:
  explicit TBase64EncodingStream(TStream& destination);
  ~TBase64EncodingStream() override;
  TBase64EncodingStream(const TBase64EncodingStream&) = delete;
  TBase64EncodingStream& operator=(const TBase64EncodingStream&) = delete;

  // Raises EStreamError("Invalid stream operation").
  std::size_t Read(void* buffer, std::size_t count) override;
  // Returns the number of characters written so far (line breaks not
  // counted). A failing destination resets that count to 0.
  std::size_t Write(const void* buffer, std::size_t count) override;
  // Only reports the count: offset 0 from the current position or the end,
  // or exactly the count from the beginning. Anything else raises.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  using TStream::Write;

  // Writes the incomplete last group now; later writes are not expected.
  void Finish();

 private:
  TStream& dest_;
  unsigned char pending_[3];
  int npending_ = 0;
  std::uint64_t count_ = 0;
  bool finished_ = false;
};

// Base64 decoding as a small state object fed in chunks. CR and LF are
// skipped; every other byte takes a place in a group of four, so a group
// may span chunks. "=" counts 64 and sets how many bytes its group gives
// (none when first, one when third, two when fourth); a byte outside the
// alphabet counts 0 and keeps its place, so it spoils its own group only.
// Decoding goes on after a padded group. Whole groups of alphabet
// characters take a table-driven fast path; everything else the byte-wise
// one.
//
// With rfc2045 set, decoding follows RFC 2045 section 6.8 instead: bytes
// outside the alphabet are skipped and take no place, the first "=" ends
// the text (what follows it is ignored), and Finish gives the one or two
// bytes of a last group of two or three characters.
class TBase64Decoder {
 public:
  explicit TBase64Decoder(bool rfc2045 = false) : rfc2045_(rfc2045) {}

  // Room Decode needs in out for count bytes of text.
  static constexpr std::size_t MaxDecodedSize(std::size_t count) { return (count + 3) / 4 * 3 + 4; }

  // Decodes count bytes of text into out (room for MaxDecodedSize(count)
  // bytes) and returns the number of bytes written. Fewer than four
  // characters left over are kept for the next call.
  std::size_t Decode(const char* text, std::size_t count, unsigned char* out);
  // Characters of an incomplete group held for the next call (0 to 3).
  int Pending() const { return ngroup_; }
  // Drops an incomplete group.
  void Reset() { ngroup_ = 0; }
  // The end of the text: with rfc2045, the bytes of an incomplete last
  // group go to out (room for 3) and their number is returned; otherwise
  // the group is dropped and 0 returned.
  std::size_t Finish(unsigned char* out);
  // True once the pad character ended the text (rfc2045 only).
  bool Stopped() const { return stopped_; }

 private:
  unsigned char group_[4];
  int ngroup_ = 0;
  bool rfc2045_ = false;
  bool stopped_ = false;
};

// Decodes what is written and writes the bytes to the destination, as
// TBase64Decoder does. A group still incomplete at destruction is dropped.
class TBase64DecodingStream : public TStream {
 public:
  explicit TBase64DecodingStream(TStream& destination, bool rfc2045 = false);
  // With rfc2045, writes the bytes of an incomplete last group (Finish).
  ~TBase64DecodingStream() override;
  TBase64DecodingStream(const TBase64DecodingStream&) = delete;
  TBase64DecodingStream& operator=(const TBase64DecodingStream&) = delete;

  // Read and Seek raise EStreamError("Invalid stream operation").
  std::size_t Read(void* buffer, std::size_t count) override;
  // Returns the number of bytes written to the destination by this call;
  // 0 when the destination failed.
  std::size_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  using TStream::Write;
  // The end of the text (see TBase64Decoder::Finish); later writes are
  // not expected.
  void Finish();

 private:
  TStream& dest_;
  TBase64Decoder decoder_;
  bool finished_ = false;
};

// Whole-buffer helpers built on the streams.
std::string Base64Decode(std::string_view text, bool rfc2045 = false);
// Lines of 76 characters joined by CR LF, no final line break.
std::string Base64Encode(std::string_view bytes);

}  // namespace qb
