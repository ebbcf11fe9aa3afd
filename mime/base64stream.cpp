#include "mime/base64stream.h"

#include <array>

namespace qb {

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Values of the characters: 0 to 63 for the alphabet, 64 for "=". Bytes
// outside the alphabet count as 0: they keep their place in the group, so
// a stray byte spoils its own group only.
constexpr std::array<unsigned char, 256> MakeDecodeTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 64; ++i)
    t[static_cast<unsigned char>(
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[i])] =
        static_cast<unsigned char>(i);
  t[static_cast<unsigned char>('=')] = 64;
  return t;
}
constexpr std::array<unsigned char, 256> kDecode = MakeDecodeTable();

constexpr int kLineLength = 76;

}  // namespace

// --- TBase64EncodingStream ---------------------------------------------------

TBase64EncodingStream::TBase64EncodingStream(TStream& destination) : dest_(destination) {}

TBase64EncodingStream::~TBase64EncodingStream() {
  try {
    Finish();
  } catch (...) {
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
  } catch (...) {
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

// --- TBase64DecodingStream ---------------------------------------------------

TBase64DecodingStream::TBase64DecodingStream(TStream& destination) : dest_(destination) {}

std::size_t TBase64DecodingStream::Read(void*, std::size_t) {
  throw EStreamError("Invalid stream operation");
}

std::int64_t TBase64DecodingStream::Seek(std::int64_t, TSeekOrigin) {
  throw EStreamError("Invalid stream operation");
}

std::size_t TBase64DecodingStream::Write(const void* buffer, std::size_t count) {
  const unsigned char* p = static_cast<const unsigned char*>(buffer);
  // Decoded bytes are collected in a local block and handed on when it is
  // full, so a write of one short line costs no allocation.
  unsigned char out[4096];
  std::size_t nout = 0, total = 0;
  bool failed = false;
  auto flush = [&]() {
    if (nout == 0 || failed) return;
    try {
      dest_.Write(out, nout);
      total += nout;
    } catch (...) {
      failed = true;
    }
    nout = 0;
  };
  for (std::size_t i = 0; i < count && !failed; ++i) {
    unsigned char c = p[i];
    if (c == '\r' || c == '\n') continue;
    group_[ngroup_++] = c;
    if (ngroup_ < 4) continue;
    ngroup_ = 0;
    unsigned a = kDecode[group_[0]], b = kDecode[group_[1]], cc = kDecode[group_[2]],
             d = kDecode[group_[3]];
    int n;
    if (group_[0] == '=') {
      n = 0;
    } else if (group_[2] == '=') {
      n = 1;
      cc = 0;
      d = 0;
    } else if (group_[3] == '=') {
      n = 2;
      d = 0;
    } else {
      n = 3;
    }
    if (nout + 3 > sizeof out) flush();
    out[nout] = static_cast<unsigned char>((a * 4 + b / 16) & 255);
    out[nout + 1] = static_cast<unsigned char>(((b % 16) * 16 + cc / 4) & 255);
    out[nout + 2] = static_cast<unsigned char>(((cc % 4) * 64 + d) & 255);
    nout += static_cast<std::size_t>(n);
  }
  flush();
  return failed ? 0 : total;
}

// --- Whole-buffer helpers ----------------------------------------------------

std::string Base64Decode(std::string_view text) {
  TMemoryStream mem;
  {
    TBase64DecodingStream dec(mem);
    dec.Write(text.data(), text.size());
  }
  return mem.Bytes();
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
