// The .dbx reader over a synthetic store of 100,000 messages: the index, and
// every message's raw text read through the reader the way a run reads it
// (the file opened anew for each message).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "oestore/dbxreader.h"
#include "oestore/dbxwriter.h"

namespace {

constexpr int kMessages = 100000;

struct Store {
  std::string Dir;
  std::string File = "Inbox.dbx";
  std::size_t TextBytes = 0;
  std::size_t FileBytes = 0;

  Store() {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/qbbench.XXXXXX";
    if (!::mkdtemp(tmpl.data())) std::abort();
    Dir = tmpl;
    std::vector<qb::TDbxSynthMessage> msgs(kMessages);
    for (int i = 0; i < kMessages; ++i) {
      auto& m = msgs[i];
      m.Subject = "Message " + std::to_string(i);
      m.Sender = "someone@example.org";
      // 300 bytes to about 3 KB: most mail is small, some spans blocks.
      const std::size_t body = 300 + (static_cast<std::size_t>(i) * 7919) % 2700;
      m.Text = "From: someone@example.org\r\nSubject: " + m.Subject + "\r\n\r\n";
      while (m.Text.size() < body) m.Text += "A line of the body of a synthetic message.\r\n";
      TextBytes += m.Text.size();
    }
    const std::string image = qb::BuildDbxMessageFile(msgs);
    FileBytes = image.size();
    std::ofstream(Dir + "/" + File, std::ios::binary).write(image.data(), image.size());
  }
  ~Store() {
    ::unlink((Dir + "/" + File).c_str());
    ::rmdir(Dir.c_str());
  }
};

Store& TheStore() {
  static Store store;
  return store;
}

void BM_DbxIndex(benchmark::State& state) {
  Store& s = TheStore();
  for (auto _ : state) {
    qb::TDbxIndexList list;
    qb::LoadDbxIndex(s.Dir, s.File, &list);
    if (list.size() != kMessages) state.SkipWithError("wrong message count");
    benchmark::DoNotOptimize(list.data());
  }
  state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_DbxIndex)->Unit(benchmark::kMillisecond);

void BM_DbxEveryMessageText(benchmark::State& state) {
  Store& s = TheStore();
  for (auto _ : state) {
    qb::TDbxIndexList list;
    qb::LoadDbxIndex(s.Dir, s.File, &list);
    std::size_t bytes = 0;
    for (const auto& r : list) {
      std::string text;
      qb::LoadDbxMessageText(s.Dir, s.File, std::get<qb::Toe5_MessageInfo>(r).MessageDataPos, text);
      bytes += text.size();
    }
    if (bytes != s.TextBytes) state.SkipWithError("wrong text size");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.TextBytes));
  state.SetItemsProcessed(state.iterations() * kMessages);
  state.counters["file_MB"] = static_cast<double>(s.FileBytes) / 1e6;
}
BENCHMARK(BM_DbxEveryMessageText)->Unit(benchmark::kMillisecond);

void BM_DbxEveryMessageKeyAndText(benchmark::State& state) {
  Store& s = TheStore();
  for (auto _ : state) {
    qb::TDbxIndexList list;
    qb::LoadDbxIndex(s.Dir, s.File, &list);
    for (const auto& r : list) {
      const auto q = std::get<qb::Toe5_MessageInfo>(r).MessageDataPos;
      std::string key, text;
      qb::DumpDbxObject(s.Dir, s.File, q, key);
      qb::LoadDbxMessageText(s.Dir, s.File, q, text);
      benchmark::DoNotOptimize(text.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.TextBytes));
  state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_DbxEveryMessageKeyAndText)->Unit(benchmark::kMillisecond);

}  // namespace
