// MD5 message digest (RFC 1321), computed by our own code.
//
// The history files key every message by the MD5 digest of its key text,
// written as 32 upper-case hexadecimal digits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

using TMD5Digest = std::array<std::uint8_t, 16>;

// Incremental digest: Update any number of times, then Final once.
class TMD5Context {
 public:
  TMD5Context();
  void Update(const void* data, std::size_t length);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // Pads, appends the bit length and returns the digest. The context must
  // not be used again afterwards.
  TMD5Digest Final();

 private:
  void Transform(const std::uint8_t block[64]);

  std::uint32_t state_[4];
  std::uint64_t length_ = 0;  // bytes seen so far
  std::uint8_t buffer_[64];
};

// The digest of the bytes of a text (no terminator).
TMD5Digest CalcMD5(std::string_view bytes);

// The 16 digest bytes in order, each as two upper-case hexadecimal digits.
std::string MD5DigestToText(const TMD5Digest& digest);

// CalcMD5 and MD5DigestToText in one step.
std::string MD5Text(std::string_view bytes);

}  // namespace qb
