#include "platform/sha256.h"

#include <nettle/sha2.h>

#include <cstdint>

namespace qb {

std::string Sha256Hex(std::string_view data) {
  sha256_ctx ctx;
  sha256_init(&ctx);
  sha256_update(&ctx, data.size(), reinterpret_cast<const std::uint8_t*>(data.data()));
  std::uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&ctx, sizeof digest, digest);
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * sizeof digest);
  for (std::uint8_t b : digest) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

}  // namespace qb
