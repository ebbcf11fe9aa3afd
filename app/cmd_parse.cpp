// quillbox-cli parse MESSAGE_FILE: parses one raw message as an extraction
// run would and prints its fields and attachments.
#include <array>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/commands.h"
#include "mime/MoxMsg.h"
#include "platform/datetime.h"
#include "platform/paths.h"

namespace {

// SHA-256 (FIPS 180-4), enough to fingerprint attachment bytes.
class Sha256 {
 public:
  void Update(const std::string& data) {
    for (unsigned char c : data) {
      block_[used_++] = c;
      if (used_ == 64) {
        Transform();
        used_ = 0;
      }
    }
    length_ += data.size();
  }
  std::string HexDigest() {
    std::uint64_t bits = length_ * 8;
    block_[used_++] = 0x80;
    if (used_ > 56) {
      while (used_ < 64) block_[used_++] = 0;
      Transform();
      used_ = 0;
    }
    while (used_ < 56) block_[used_++] = 0;
    for (int i = 7; i >= 0; --i) block_[used_++] = static_cast<unsigned char>(bits >> (i * 8));
    Transform();
    std::string hex;
    char buf[9];
    for (std::uint32_t v : h_) {
      std::snprintf(buf, sizeof buf, "%08x", v);
      hex += buf;
    }
    return hex;
  }

 private:
  static std::uint32_t Rot(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
  void Transform() {
    static const std::uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = (std::uint32_t(block_[i * 4]) << 24) | (std::uint32_t(block_[i * 4 + 1]) << 16) |
             (std::uint32_t(block_[i * 4 + 2]) << 8) | std::uint32_t(block_[i * 4 + 3]);
    for (int i = 16; i < 64; ++i) {
      std::uint32_t s0 = Rot(w[i - 15], 7) ^ Rot(w[i - 15], 18) ^ (w[i - 15] >> 3);
      std::uint32_t s1 = Rot(w[i - 2], 17) ^ Rot(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6],
                  h = h_[7];
    for (int i = 0; i < 64; ++i) {
      std::uint32_t t1 =
          h + (Rot(e, 6) ^ Rot(e, 11) ^ Rot(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      std::uint32_t t2 = (Rot(a, 2) ^ Rot(a, 13) ^ Rot(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g;
      g = f;
      f = e;
      e = d + t1;
      d = c;
      c = b;
      b = a;
      a = t1 + t2;
    }
    h_[0] += a, h_[1] += b, h_[2] += c, h_[3] += d, h_[4] += e, h_[5] += f, h_[6] += g, h_[7] += h;
  }

  std::array<std::uint32_t, 8> h_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  unsigned char block_[64] = {};
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;
};

void PrintMessage(const qb::TMoxMsg& msg) {
  using qb::cli::OutRecord;
  OutRecord({"From", msg.From});
  OutRecord({"FromAddress", msg.FromAddress});
  OutRecord({"Subject", msg.Subject});
  OutRecord({"Date", msg.Date == 0 ? std::string("0") : qb::FormatIsoDateTime(msg.Date)});
  OutRecord({"Text-Lines", std::to_string(msg.Text.size())});
  OutRecord({"HTML-Lines", std::to_string(msg.HTML.size())});
  for (int i = 0; i < msg.Attachments.Count(); ++i) {
    const qb::TAttachedFile& a = msg.Attachments[i];
    Sha256 sha;
    sha.Update(a.Bytes());
    OutRecord({"Attachment", std::to_string(a.Bytes().size()), sha.HexDigest(), a.FileName,
               a.ContentType});
  }
}

int RunParse(const std::vector<std::string>& args) {
  if (args.size() != 1) return qb::cli::UsageError("parse", "expected one MESSAGE_FILE");
  auto bytes = qb::ReadWholeFile(args[0]);
  if (!bytes) return qb::cli::Fail("cannot read '" + args[0] + "'");
  qb::TMoxMsg msg;
  msg.ClearRawMail();
  msg.LoadRawMail(*bytes);
  bytes.reset();
  try {
    msg.ParseRawMail();
  } catch (const std::exception& e) {
    PrintMessage(msg);
    qb::cli::OutRecord({"Error", e.what()});
    return qb::cli::kFailure;
  }
  PrintMessage(msg);
  return qb::cli::kOk;
}

const qb::cli::Register kParse({"parse", "MESSAGE_FILE",
                                "parse one raw message file and list its fields and attachments",
                                RunParse});

}  // namespace
