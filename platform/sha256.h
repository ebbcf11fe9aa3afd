// SHA-256 (FIPS 180-4), used to fingerprint attachment bytes in the
// command line's output and in the tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

class Sha256 {
 public:
  void Update(std::string_view data);
  // Lower-case hex of the digest; ends the computation.
  std::string HexDigest();

 private:
  void Transform();

  std::array<std::uint32_t, 8> h_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  unsigned char block_[64] = {};
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;
};

// Lower-case hex SHA-256 of data.
std::string Sha256Hex(std::string_view data);

}  // namespace qb
