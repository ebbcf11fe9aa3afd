// A whole Outlook Express run at pause 0 over a synthetic store of 20,000
// messages (about 300 MB of raw text, most messages with one or two base64
// attachments), and, over the same messages as one mbox, ripmime --mailbox
// as the yardstick. Both report bytes of raw message text per second (the
// CR LF text of the store; the mbox holds the same messages with LF).
//
//   build/<dir>/bench/bench_extract --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "oestore/dbxwriter.h"
#include "oestore/oOExpressThrd.h"

namespace {

constexpr int kMessages = 20000;
constexpr int kFolders = 10;

std::string Base64(const std::string& bytes) {
  static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve(bytes.size() * 4 / 3 + bytes.size() / 38 + 8);
  int col = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
    if ((col += 4) == 76) {
      out += "\r\n";
      col = 0;
    }
  }
  if (col) out += "\r\n";
  return out;
}

// Message i: a text part, and none, one or two attachments of 2 to 26 KB.
std::string Message(int i, std::uint64_t& seed) {
  auto next = [&seed] {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(seed >> 33);
  };
  const int day = 1 + i % 28, month = 1 + (i / 28) % 12;
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char date[64];
  std::snprintf(date, sizeof date, "%02d %s 2004 10:%02d:%02d +0100", day, kMonths[month - 1],
                i % 60, (i * 7) % 60);
  std::string m = "From: \"Sender " + std::to_string(i % 97) + "\" <sender" +
                  std::to_string(i % 97) +
                  "@example.com>\r\nTo: sam@example.org\r\nSubject: " + "Message number " +
                  std::to_string(i) + "\r\nDate: " + date +
                  "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"=b" +
                  std::to_string(i) + "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n";
  const std::string b = "--=b" + std::to_string(i);
  m += b + "\r\nContent-Type: text/plain; charset=\"iso-8859-1\"\r\n\r\n";
  for (int l = 0; l < 12; ++l) m += "A line of the body of message " + std::to_string(i) + ".\r\n";
  const int attachments = i % 5 == 0 ? 0 : i % 5 == 1 ? 2 : 1;
  for (int k = 0; k < attachments; ++k) {
    std::string bytes(2048 + next() % (24 * 1024), '\0');
    for (char& c : bytes) c = static_cast<char>(next());
    const std::string name = "file" + std::to_string(i) + "_" + std::to_string(k) + ".dat";
    m += b + "\r\nContent-Type: application/octet-stream; name=\"" + name +
         "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; "
         "filename=\"" +
         name + "\"\r\n\r\n" + Base64(bytes);
  }
  return m + b + "--\r\n";
}

struct Store {
  std::string Dir;
  std::size_t TextBytes = 0;
  std::vector<std::string> Files;

  Store() {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/qbbench.XXXXXX";
    if (!::mkdtemp(tmpl.data())) std::abort();
    Dir = tmpl;
    std::filesystem::create_directories(Dir + "/store");
    std::ofstream mbox(Dir + "/all.mbox", std::ios::binary);
    std::uint64_t seed = 42;
    const int perFolder = kMessages / kFolders;
    for (int f = 0; f < kFolders; ++f) {
      std::vector<qb::TDbxSynthMessage> msgs(perFolder);
      for (int n = 0; n < perFolder; ++n) {
        const int i = f * perFolder + n;
        msgs[n].Text = Message(i, seed);
        msgs[n].Subject = "Message number " + std::to_string(i);
        TextBytes += msgs[n].Text.size();
        // An mbox as Unix keeps it: LF line ends (ripmime --mailbox misreads
        // parts of CR LF mailboxes and slows down on them).
        std::string lf;
        lf.reserve(msgs[n].Text.size());
        for (char c : msgs[n].Text)
          if (c != '\r') lf += c;
        mbox << "From sender" << i % 97 << "@example.com Mon Jan  5 10:00:00 2004\n" << lf << "\n";
      }
      const std::string file = "Folder" + std::to_string(f) + ".dbx";
      const std::string image = qb::BuildDbxMessageFile(msgs);
      std::ofstream(Dir + "/store/" + file, std::ios::binary).write(image.data(), image.size());
      Files.push_back(file);
    }
  }
  ~Store() {
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
  }
};

Store& TheStore() {
  static Store store;
  return store;
}

void BM_ExtractStore(benchmark::State& state) {
  Store& s = TheStore();
  ::setenv("XDG_DATA_HOME", (s.Dir + "/appdata").c_str(), 1);
  std::atomic<std::uint8_t> stop{0};
  qb::TExtractionJob job;
  job.StoreFolder = s.Dir + "/store";
  job.DestinationDir = s.Dir + "/out";
  for (const std::string& f : s.Files) job.Folders.push_back({f, f, "", ""});
  job.PauseMs = 0;
  job.StopRequested = &stop;
  std::size_t files = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(s.Dir + "/out");
    std::filesystem::remove_all(s.Dir + "/appdata");
    state.ResumeTiming();
    qb::TOEExtracter worker(job);
    worker.Resume();
    worker.WaitFor();
    state.PauseTiming();
    files = 0;
    for (auto& e : std::filesystem::recursive_directory_iterator(s.Dir + "/out"))
      files += e.is_regular_file();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.TextBytes));
  state.counters["messages"] = kMessages;
  state.counters["files"] = static_cast<double>(files);
  state.counters["raw_MB"] = static_cast<double>(s.TextBytes) / 1e6;
}
BENCHMARK(BM_ExtractStore)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_RipmimeMailbox(benchmark::State& state) {
  Store& s = TheStore();
  if (std::system("command -v ripmime >/dev/null 2>&1") != 0) {
    state.SkipWithError("ripmime is not installed");
    return;
  }
  const std::string out = s.Dir + "/ripmime";
  const std::string cmd =
      "ripmime --mailbox -i '" + s.Dir + "/all.mbox' -d '" + out + "' >/dev/null 2>&1";
  std::size_t files = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    state.ResumeTiming();
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("ripmime failed");
    state.PauseTiming();
    files = 0;
    for (auto& e : std::filesystem::recursive_directory_iterator(out)) files += e.is_regular_file();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * s.TextBytes));
  state.counters["files"] = static_cast<double>(files);
}
BENCHMARK(BM_RipmimeMailbox)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
