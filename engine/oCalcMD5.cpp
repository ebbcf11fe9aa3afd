#include "engine/oCalcMD5.h"

#include <cstring>

namespace qb {

namespace {

inline std::uint32_t RotateLeft(std::uint32_t x, std::uint32_t n) {
  return (x << n) | (x >> (32 - n));
}

}  // namespace

TMD5Context::TMD5Context() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {
  std::memset(buffer_, 0, sizeof buffer_);
}

// The four rounds written out (RFC 1321, 3.4), with the boolean functions in
// their shorter equivalent forms and the constant and message word added
// off the chain of dependent steps.
#define QB_MD5_STEP(f, a, b, c, d, k, s, t) \
  a += x[k] + t;                            \
  a += f(b, c, d);                          \
  a = RotateLeft(a, s) + b

// G's two terms have no bit in common: added one by one, the one without b
// (the word made last) is ready early.
#define QB_MD5_STEP_G(a, b, c, d, k, s, t) \
  a += x[k] + t + (c & ~d);                \
  a += b & d;                              \
  a = RotateLeft(a, s) + b

#define QB_MD5_F(b, c, d) ((d) ^ ((b) & ((c) ^ (d))))
#define QB_MD5_H(b, c, d) ((b) ^ ((c) ^ (d)))
#define QB_MD5_I(b, c, d) ((c) ^ ((b) | ~(d)))

void TMD5Context::Transform(const std::uint8_t block[64]) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i)
    x[i] = static_cast<std::uint32_t>(block[i * 4]) |
           (static_cast<std::uint32_t>(block[i * 4 + 1]) << 8) |
           (static_cast<std::uint32_t>(block[i * 4 + 2]) << 16) |
           (static_cast<std::uint32_t>(block[i * 4 + 3]) << 24);
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];

  QB_MD5_STEP(QB_MD5_F, a, b, c, d, 0, 7, 0xd76aa478);
  QB_MD5_STEP(QB_MD5_F, d, a, b, c, 1, 12, 0xe8c7b756);
  QB_MD5_STEP(QB_MD5_F, c, d, a, b, 2, 17, 0x242070db);
  QB_MD5_STEP(QB_MD5_F, b, c, d, a, 3, 22, 0xc1bdceee);
  QB_MD5_STEP(QB_MD5_F, a, b, c, d, 4, 7, 0xf57c0faf);
  QB_MD5_STEP(QB_MD5_F, d, a, b, c, 5, 12, 0x4787c62a);
  QB_MD5_STEP(QB_MD5_F, c, d, a, b, 6, 17, 0xa8304613);
  QB_MD5_STEP(QB_MD5_F, b, c, d, a, 7, 22, 0xfd469501);
  QB_MD5_STEP(QB_MD5_F, a, b, c, d, 8, 7, 0x698098d8);
  QB_MD5_STEP(QB_MD5_F, d, a, b, c, 9, 12, 0x8b44f7af);
  QB_MD5_STEP(QB_MD5_F, c, d, a, b, 10, 17, 0xffff5bb1);
  QB_MD5_STEP(QB_MD5_F, b, c, d, a, 11, 22, 0x895cd7be);
  QB_MD5_STEP(QB_MD5_F, a, b, c, d, 12, 7, 0x6b901122);
  QB_MD5_STEP(QB_MD5_F, d, a, b, c, 13, 12, 0xfd987193);
  QB_MD5_STEP(QB_MD5_F, c, d, a, b, 14, 17, 0xa679438e);
  QB_MD5_STEP(QB_MD5_F, b, c, d, a, 15, 22, 0x49b40821);

  QB_MD5_STEP_G(a, b, c, d, 1, 5, 0xf61e2562);
  QB_MD5_STEP_G(d, a, b, c, 6, 9, 0xc040b340);
  QB_MD5_STEP_G(c, d, a, b, 11, 14, 0x265e5a51);
  QB_MD5_STEP_G(b, c, d, a, 0, 20, 0xe9b6c7aa);
  QB_MD5_STEP_G(a, b, c, d, 5, 5, 0xd62f105d);
  QB_MD5_STEP_G(d, a, b, c, 10, 9, 0x02441453);
  QB_MD5_STEP_G(c, d, a, b, 15, 14, 0xd8a1e681);
  QB_MD5_STEP_G(b, c, d, a, 4, 20, 0xe7d3fbc8);
  QB_MD5_STEP_G(a, b, c, d, 9, 5, 0x21e1cde6);
  QB_MD5_STEP_G(d, a, b, c, 14, 9, 0xc33707d6);
  QB_MD5_STEP_G(c, d, a, b, 3, 14, 0xf4d50d87);
  QB_MD5_STEP_G(b, c, d, a, 8, 20, 0x455a14ed);
  QB_MD5_STEP_G(a, b, c, d, 13, 5, 0xa9e3e905);
  QB_MD5_STEP_G(d, a, b, c, 2, 9, 0xfcefa3f8);
  QB_MD5_STEP_G(c, d, a, b, 7, 14, 0x676f02d9);
  QB_MD5_STEP_G(b, c, d, a, 12, 20, 0x8d2a4c8a);

  QB_MD5_STEP(QB_MD5_H, a, b, c, d, 5, 4, 0xfffa3942);
  QB_MD5_STEP(QB_MD5_H, d, a, b, c, 8, 11, 0x8771f681);
  QB_MD5_STEP(QB_MD5_H, c, d, a, b, 11, 16, 0x6d9d6122);
  QB_MD5_STEP(QB_MD5_H, b, c, d, a, 14, 23, 0xfde5380c);
  QB_MD5_STEP(QB_MD5_H, a, b, c, d, 1, 4, 0xa4beea44);
  QB_MD5_STEP(QB_MD5_H, d, a, b, c, 4, 11, 0x4bdecfa9);
  QB_MD5_STEP(QB_MD5_H, c, d, a, b, 7, 16, 0xf6bb4b60);
  QB_MD5_STEP(QB_MD5_H, b, c, d, a, 10, 23, 0xbebfbc70);
  QB_MD5_STEP(QB_MD5_H, a, b, c, d, 13, 4, 0x289b7ec6);
  QB_MD5_STEP(QB_MD5_H, d, a, b, c, 0, 11, 0xeaa127fa);
  QB_MD5_STEP(QB_MD5_H, c, d, a, b, 3, 16, 0xd4ef3085);
  QB_MD5_STEP(QB_MD5_H, b, c, d, a, 6, 23, 0x04881d05);
  QB_MD5_STEP(QB_MD5_H, a, b, c, d, 9, 4, 0xd9d4d039);
  QB_MD5_STEP(QB_MD5_H, d, a, b, c, 12, 11, 0xe6db99e5);
  QB_MD5_STEP(QB_MD5_H, c, d, a, b, 15, 16, 0x1fa27cf8);
  QB_MD5_STEP(QB_MD5_H, b, c, d, a, 2, 23, 0xc4ac5665);

  QB_MD5_STEP(QB_MD5_I, a, b, c, d, 0, 6, 0xf4292244);
  QB_MD5_STEP(QB_MD5_I, d, a, b, c, 7, 10, 0x432aff97);
  QB_MD5_STEP(QB_MD5_I, c, d, a, b, 14, 15, 0xab9423a7);
  QB_MD5_STEP(QB_MD5_I, b, c, d, a, 5, 21, 0xfc93a039);
  QB_MD5_STEP(QB_MD5_I, a, b, c, d, 12, 6, 0x655b59c3);
  QB_MD5_STEP(QB_MD5_I, d, a, b, c, 3, 10, 0x8f0ccc92);
  QB_MD5_STEP(QB_MD5_I, c, d, a, b, 10, 15, 0xffeff47d);
  QB_MD5_STEP(QB_MD5_I, b, c, d, a, 1, 21, 0x85845dd1);
  QB_MD5_STEP(QB_MD5_I, a, b, c, d, 8, 6, 0x6fa87e4f);
  QB_MD5_STEP(QB_MD5_I, d, a, b, c, 15, 10, 0xfe2ce6e0);
  QB_MD5_STEP(QB_MD5_I, c, d, a, b, 6, 15, 0xa3014314);
  QB_MD5_STEP(QB_MD5_I, b, c, d, a, 13, 21, 0x4e0811a1);
  QB_MD5_STEP(QB_MD5_I, a, b, c, d, 4, 6, 0xf7537e82);
  QB_MD5_STEP(QB_MD5_I, d, a, b, c, 11, 10, 0xbd3af235);
  QB_MD5_STEP(QB_MD5_I, c, d, a, b, 2, 15, 0x2ad7d2bb);
  QB_MD5_STEP(QB_MD5_I, b, c, d, a, 9, 21, 0xeb86d391);

  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

#undef QB_MD5_STEP
#undef QB_MD5_F
#undef QB_MD5_STEP_G
#undef QB_MD5_H
#undef QB_MD5_I

void TMD5Context::Update(const void* data, std::size_t length) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::size_t used = static_cast<std::size_t>(length_ % 64);
  length_ += length;
  if (used > 0) {
    const std::size_t take = length < 64 - used ? length : 64 - used;
    std::memcpy(buffer_ + used, p, take);
    used += take;
    p += take;
    length -= take;
    if (used < 64) return;
    Transform(buffer_);
  }
  while (length >= 64) {
    Transform(p);
    p += 64;
    length -= 64;
  }
  if (length > 0) std::memcpy(buffer_, p, length);
}

TMD5Digest TMD5Context::Final() {
  const std::uint64_t bits = length_ * 8;
  static const std::uint8_t kPad[64] = {0x80};
  const std::size_t used = static_cast<std::size_t>(length_ % 64);
  const std::size_t padLen = used < 56 ? 56 - used : 120 - used;
  Update(kPad, padLen);
  std::uint8_t lenBytes[8];
  for (int i = 0; i < 8; ++i) lenBytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  Update(lenBytes, 8);
  TMD5Digest out;
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k)
      out[static_cast<std::size_t>(i * 4 + k)] = static_cast<std::uint8_t>(state_[i] >> (8 * k));
  return out;
}

TMD5Digest CalcMD5(std::string_view bytes) {
  TMD5Context ctx;
  ctx.Update(bytes);
  return ctx.Final();
}

std::string MD5DigestToText(const TMD5Digest& digest) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(32);
  for (std::uint8_t b : digest) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

std::string MD5Text(std::string_view bytes) {
  return MD5DigestToText(CalcMD5(bytes));
}

}  // namespace qb
