// Speed of the MIME component: the base64 and quoted-printable decoders and
// the line splitter beside memcpy, parsing the reference mail corpus, one
// message with a 50 MB base64 attachment and one with 1,000 small
// attachments.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mime/MoxMsg.h"
#include "mime/base64stream.h"
#include "mime/mimehelpers.h"
#include "tests/mime/mbox_split.h"

namespace {

namespace fs = std::filesystem;

std::string Pseudorandom(size_t n) {
  std::string s(n, '\0');
  std::uint32_t x = 2463534242u;
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0xFF);
  }
  return s;
}

// The decoders and the line splitter, each beside memcpy of the same
// buffer: bytes_per_second counts the input text.
constexpr std::size_t kDecoderInput = 8 << 20;

// Base64 text as mail carries it: lines of 76 characters and CR LF.
const std::string& Base64Text() {
  static const std::string text = qb::Base64Encode(Pseudorandom(kDecoderInput / 4 * 3));
  return text;
}

// Quoted-printable text of a mostly Latin-1 body: about one byte in eight
// escaped, soft breaks every 73 characters.
const std::string& QuotedPrintableText() {
  static const std::string text = [] {
    std::string body = Pseudorandom(kDecoderInput);
    for (char& c : body) {
      unsigned char u = static_cast<unsigned char>(c);
      c = u % 8 == 0 ? static_cast<char>(0xE0 + u % 32) : static_cast<char>('a' + u % 26);
    }
    return qb::EncodeQuotedPrintable(qb::TStringList{body});
  }();
  return text;
}

// A raw message as the store holds it: lines of 20 to 100 characters.
const std::string& MailText() {
  static const std::string text = [] {
    std::string s;
    std::uint32_t x = 12345;
    while (s.size() < kDecoderInput) {
      x = x * 1103515245u + 12345u;
      s.append(20 + (x >> 16) % 81, 'x');
      s += "\r\n";
    }
    return s;
  }();
  return text;
}

void SetInputBytes(benchmark::State& state, const std::string& input) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(input.size()));
}

void BM_Base64Decode(benchmark::State& state) {
  const std::string& text = Base64Text();
  std::string out(qb::TBase64Decoder::MaxDecodedSize(text.size()), '\0');
  for (auto _ : state) {
    qb::TBase64Decoder dec;
    benchmark::DoNotOptimize(
        dec.Decode(text.data(), text.size(), reinterpret_cast<unsigned char*>(out.data())));
    benchmark::ClobberMemory();
  }
  SetInputBytes(state, text);
}
BENCHMARK(BM_Base64Decode)->Unit(benchmark::kMillisecond);

// The way an attachment is decoded: one line per write, into a stream.
void BM_Base64DecodeStreamByLine(benchmark::State& state) {
  const qb::TStringList lines = qb::SplitTextLines(Base64Text());
  for (auto _ : state) {
    qb::TMemoryStream out;
    qb::TBase64DecodingStream dec(out);
    for (const auto& l : lines) dec.Write(l.data(), l.size());
    benchmark::DoNotOptimize(out.Size());
  }
  SetInputBytes(state, Base64Text());
}
BENCHMARK(BM_Base64DecodeStreamByLine)->Unit(benchmark::kMillisecond);

void BM_QuotedPrintableDecode(benchmark::State& state) {
  const std::string& text = QuotedPrintableText();
  std::string out(text.size(), '\0');
  for (auto _ : state) {
    qb::TQuotedPrintableDecoder dec;
    benchmark::DoNotOptimize(dec.Decode(text.data(), text.size(), out.data()));
    benchmark::ClobberMemory();
  }
  SetInputBytes(state, text);
}
BENCHMARK(BM_QuotedPrintableDecode)->Unit(benchmark::kMillisecond);

// Splitting into views (no copies) and into the string list.
void BM_LineSplitViews(benchmark::State& state) {
  const std::string& text = MailText();
  for (auto _ : state) {
    std::size_t lines = 0;
    qb::ForEachLine(text, [&](std::string_view l) { lines += l.size() != 0; });
    benchmark::DoNotOptimize(lines);
  }
  SetInputBytes(state, text);
}
BENCHMARK(BM_LineSplitViews)->Unit(benchmark::kMillisecond);

void BM_LineSplitList(benchmark::State& state) {
  const std::string& text = MailText();
  for (auto _ : state) benchmark::DoNotOptimize(qb::SplitTextLines(text).size());
  SetInputBytes(state, text);
}
BENCHMARK(BM_LineSplitList)->Unit(benchmark::kMillisecond);

// memcpy of the same buffers, the ceiling for the three above.
void BM_Memcpy(benchmark::State& state) {
  const std::string& text = state.range(0) == 0   ? Base64Text()
                            : state.range(0) == 1 ? QuotedPrintableText()
                                                  : MailText();
  std::string out(text.size(), '\0');
  for (auto _ : state) {
    std::memcpy(out.data(), text.data(), text.size());
    benchmark::ClobberMemory();
  }
  SetInputBytes(state, text);
}
BENCHMARK(BM_Memcpy)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("base64_qp_lines")
    ->Unit(benchmark::kMillisecond);

std::vector<std::string> ReferenceMessages() {
  std::vector<std::string> msgs;
  // The corpus lies beside the source tree ($QB_SOURCE_DIR, else the tree
  // this file was compiled from).
  const char* env = std::getenv("QB_SOURCE_DIR");
  fs::path source = env && *env ? fs::path(env) : fs::path(__FILE__).parent_path().parent_path();
  fs::path root = source / ".." / "shared" / "refdata" / "mail";
  if (!fs::is_directory(root)) return msgs;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file() || e.path().filename() == "SOURCES.md") continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (auto& m : qb::test::SplitMbox(data)) msgs.push_back(std::move(m));
  }
  return msgs;
}

// The way an extraction run uses a message: load the bytes, parse.
void ParseOne(const std::string& raw) {
  qb::TMoxMsg m;
  m.LoadRawMail(raw);
  try {
    m.ParseRawMail();
  } catch (const std::exception&) {
  }
  benchmark::DoNotOptimize(m.Attachments.Count());
}

void BM_ParseReferenceCorpus(benchmark::State& state) {
  static const std::vector<std::string> msgs = ReferenceMessages();
  if (msgs.empty()) {
    state.SkipWithError("reference mail corpus not found");
    return;
  }
  int64_t bytes = 0;
  for (const auto& m : msgs) bytes += static_cast<int64_t>(m.size());
  for (auto _ : state)
    for (const auto& m : msgs) ParseOne(m);
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["messages"] = static_cast<double>(msgs.size());
}
BENCHMARK(BM_ParseReferenceCorpus)->Unit(benchmark::kMillisecond);

std::string Header(const std::string& subject) {
  return "From: a@x.org\r\nTo: b@y.org\r\nSubject: " + subject +
         "\r\nMIME-Version: 1.0\r\n"
         "Content-Type: multipart/mixed; boundary=\"BOUNDARY\"\r\n\r\n"
         "--BOUNDARY\r\nContent-Type: text/plain\r\n\r\nSee the attachments.\r\n";
}

std::string AttachmentPart(const std::string& name, const std::string& bytes) {
  return "--BOUNDARY\r\nContent-Type: application/octet-stream; name=\"" + name +
         "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + qb::Base64Encode(bytes) + "\r\n";
}

void BM_ParseBigAttachment(benchmark::State& state) {
  // 37.5 MB of data make about 50 MB of base64 text.
  static const std::string raw =
      Header("big") + AttachmentPart("big.bin", Pseudorandom(37500000)) + "--BOUNDARY--\r\n";
  for (auto _ : state) ParseOne(raw);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(raw.size()));
}
BENCHMARK(BM_ParseBigAttachment)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ParseThousandAttachments(benchmark::State& state) {
  static const std::string raw = [] {
    std::string r = Header("many");
    for (int i = 0; i < 1000; ++i)
      r += AttachmentPart("file" + std::to_string(i) + ".bin", Pseudorandom(2000 + i));
    return r + "--BOUNDARY--\r\n";
  }();
  for (auto _ : state) ParseOne(raw);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(raw.size()));
}
BENCHMARK(BM_ParseThousandAttachments)->Unit(benchmark::kMillisecond);

}  // namespace
