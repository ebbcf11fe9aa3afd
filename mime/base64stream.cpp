#include "mime/base64stream.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace qb {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Values of the characters: 0 to 63 for the alphabet, 64 for "=". Bytes
// outside the alphabet count as 0: they keep their place in the group, so
// a stray byte spoils its own group only.
constexpr std::array<unsigned char, 256> MakeDecodeTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 64; ++i)
    t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<unsigned char>(i);
  t[static_cast<unsigned char>('=')] = 64;
  return t;
}
constexpr std::array<unsigned char, 256> kDecode = MakeDecodeTable();

// The fast path: one table per place in the group, holding the character's
// six bits already shifted to their place in the 24 bits of the group, and
// kInvalid for anything that is not in the alphabet ("=", CR, LF and stray
// bytes included), so that one OR of four lookups tells a clean group.
constexpr std::uint32_t kInvalid = 0x80000000u;
constexpr std::array<std::uint32_t, 256> MakePlaceTable(int shift) {
  std::array<std::uint32_t, 256> t{};
  for (auto& v : t) v = kInvalid;
  for (int i = 0; i < 64; ++i)
    t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint32_t>(i) << shift;
  return t;
}
constexpr std::array<std::uint32_t, 256> kPlace0 = MakePlaceTable(18);
constexpr std::array<std::uint32_t, 256> kPlace1 = MakePlaceTable(12);
constexpr std::array<std::uint32_t, 256> kPlace2 = MakePlaceTable(6);
constexpr std::array<std::uint32_t, 256> kPlace3 = MakePlaceTable(0);

// One group the byte-wise way (padding, stray bytes); returns the number
// of bytes it gives.
inline std::size_t DecodeGroupSlow(const unsigned char* g, unsigned char* out) {
  unsigned a = kDecode[g[0]], b = kDecode[g[1]], c = kDecode[g[2]], d = kDecode[g[3]];
  std::size_t n;
  if (g[0] == '=') {
    n = 0;
  } else if (g[2] == '=') {
    n = 1;
    c = 0;
    d = 0;
  } else if (g[3] == '=') {
    n = 2;
    d = 0;
  } else {
    n = 3;
  }
  out[0] = static_cast<unsigned char>((a * 4 + b / 16) & 255);
  out[1] = static_cast<unsigned char>(((b % 16) * 16 + c / 4) & 255);
  out[2] = static_cast<unsigned char>(((c % 4) * 64 + d) & 255);
  return n;
}

constexpr int kLineLength = 76;

}  // namespace

// --- TBase64EncodingStream ---------------------------------------------------

TBase64EncodingStream::TBase64EncodingStream(TStream& destination) : dest_(destination) {}

TBase64EncodingStream::~TBase64EncodingStream() {
  try {
    Finish();
  } catch (const std::exception&) {
    // Nothing to report to from a destructor.
  }
}

std::size_t TBase64EncodingStream::Read(void*, std::size_t) {
  throw EStreamError("Invalid stream operation");
}

std::size_t TBase64EncodingStream::Write(const void* buffer, std::size_t count) {
  const unsigned char* p = static_cast<const unsigned char*>(buffer);
  std::size_t i = 0;
  std::string out;
  out.reserve((count + 3) / 3 * 4 + (count / 57 + 2) * 2);
  auto put = [&](char c) {
    out.push_back(c);
    ++count_;
    if (count_ % kLineLength == 0) out.append("\r\n");
  };
  auto encode = [&](const unsigned char* g) {
    put(kAlphabet[g[0] >> 2]);
    put(kAlphabet[((g[0] & 3) << 4) | (g[1] >> 4)]);
    put(kAlphabet[((g[1] & 15) << 2) | (g[2] >> 6)]);
    put(kAlphabet[g[2] & 63]);
  };
  while (npending_ > 0 && npending_ < 3 && i < count) pending_[npending_++] = p[i++];
  if (npending_ == 3) {
    encode(pending_);
    npending_ = 0;
  }
  for (; i + 3 <= count; i += 3) encode(p + i);
  while (i < count) pending_[npending_++] = p[i++];
  try {
    dest_.Write(out.data(), out.size());
  } catch (const std::exception&) {
    count_ = 0;
  }
  return static_cast<std::size_t>(count_);
}

void TBase64EncodingStream::Finish() {
  if (finished_) return;
  finished_ = true;
  if (npending_ == 0) return;
  unsigned char g[3] = {pending_[0], npending_ > 1 ? pending_[1] : static_cast<unsigned char>(0),
                        0};
  char out[4];
  out[0] = kAlphabet[g[0] >> 2];
  out[1] = kAlphabet[((g[0] & 3) << 4) | (g[1] >> 4)];
  out[2] = npending_ > 1 ? kAlphabet[((g[1] & 15) << 2)] : '=';
  out[3] = '=';
  npending_ = 0;
  count_ += 4;
  dest_.Write(out, 4);
}

std::int64_t TBase64EncodingStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t n = static_cast<std::int64_t>(count_);
  if ((offset == 0 && origin != TSeekOrigin::Beginning) ||
      (origin == TSeekOrigin::Beginning && offset == n))
    return n;
  throw EStreamError("Invalid stream operation");
}

// --- TBase64Decoder ----------------------------------------------------------

std::size_t TBase64Decoder::Decode(const char* text, std::size_t count, unsigned char* out) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  unsigned char* o = out;
  std::size_t i = 0;
  if (stopped_) return 0;
  for (;;) {
    if (ngroup_ == 0) {
      // Clean groups: four lookups, one test, three bytes stored with one
      // four-byte store (the fourth byte is overwritten by the next group
      // or lies in the slack MaxDecodedSize leaves).
      while (i + 4 <= count) {
        const std::uint32_t x =
            kPlace0[p[i]] | kPlace1[p[i + 1]] | kPlace2[p[i + 2]] | kPlace3[p[i + 3]];
        if (x & kInvalid) break;
        const unsigned char b[4] = {static_cast<unsigned char>(x >> 16),
                                    static_cast<unsigned char>(x >> 8),
                                    static_cast<unsigned char>(x), 0};
        std::memcpy(o, b, 4);
        o += 3;
        i += 4;
      }
    }
    if (i >= count) break;
    const unsigned char c = p[i++];
    if (c == '\r' || c == '\n') continue;
    if (rfc2045_) {
      if (c == '=') {
        // The padding: the group so far is the last one.
        o += Finish(o);
        stopped_ = true;
        break;
      }
      if (kPlace0[c] & kInvalid) continue;  // outside the alphabet
    }
    group_[ngroup_++] = c;
    if (ngroup_ == 4) {
      ngroup_ = 0;
      o += DecodeGroupSlow(group_, o);
    }
  }
  return static_cast<std::size_t>(o - out);
}

std::size_t TBase64Decoder::Finish(unsigned char* out) {
  const int n = ngroup_;
  ngroup_ = 0;
  if (!rfc2045_ || stopped_ || n < 2) return 0;
  const unsigned a = kDecode[group_[0]], b = kDecode[group_[1]];
  const unsigned c = n > 2 ? kDecode[group_[2]] : 0;
  out[0] = static_cast<unsigned char>((a * 4 + b / 16) & 255);
  out[1] = static_cast<unsigned char>(((b % 16) * 16 + c / 4) & 255);
  return static_cast<std::size_t>(n - 1);
}

// --- TBase64DecodingStream ---------------------------------------------------

TBase64DecodingStream::TBase64DecodingStream(TStream& destination, bool rfc2045)
    : dest_(destination), decoder_(rfc2045) {}

TBase64DecodingStream::~TBase64DecodingStream() {
  try {
    Finish();
  } catch (...) {
    // Nothing to report to from a destructor.
  }
}

void TBase64DecodingStream::Finish() {
  if (finished_) return;
  finished_ = true;
  unsigned char tail[4];
  const std::size_t n = decoder_.Finish(tail);
  if (n) dest_.Write(tail, n);
}

std::size_t TBase64DecodingStream::Read(void*, std::size_t) {
  throw EStreamError("Invalid stream operation");
}

std::int64_t TBase64DecodingStream::Seek(std::int64_t, TSeekOrigin) {
  throw EStreamError("Invalid stream operation");
}

std::size_t TBase64DecodingStream::Write(const void* buffer, std::size_t count) {
  const char* p = static_cast<const char*>(buffer);
  // Decoded bytes go through a block on the stack, handed on per slice of
  // the input, so a write of one short line costs no allocation.
  constexpr std::size_t kSlice = 16384;
  unsigned char out[TBase64Decoder::MaxDecodedSize(kSlice)];
  std::size_t total = 0;
  for (std::size_t at = 0; at < count; at += kSlice) {
    const std::size_t n = std::min(kSlice, count - at);
    const std::size_t nout = decoder_.Decode(p + at, n, out);
    if (nout == 0) continue;
    try {
      dest_.Write(out, nout);
    } catch (const std::exception&) {
      return 0;
    }
    total += nout;
  }
  return total;
}

// --- Whole-buffer helpers ----------------------------------------------------

std::string Base64Decode(std::string_view text, bool rfc2045) {
  std::string out(TBase64Decoder::MaxDecodedSize(text.size()), '\0');
  TBase64Decoder dec(rfc2045);
  unsigned char* o = reinterpret_cast<unsigned char*>(out.data());
  std::size_t n = dec.Decode(text.data(), text.size(), o);
  n += dec.Finish(o + n);
  out.resize(n);
  return out;
}

std::string Base64Encode(std::string_view bytes) {
  TMemoryStream mem;
  {
    TBase64EncodingStream enc(mem);
    enc.Write(bytes.data(), bytes.size());
    enc.Finish();
  }
  std::string s = mem.Bytes();
  if (s.size() >= 2 && s.compare(s.size() - 2, 2, "\r\n") == 0) s.resize(s.size() - 2);
  return s;
}

}  // namespace qb
