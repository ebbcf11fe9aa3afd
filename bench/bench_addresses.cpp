// Cost of collecting the e-mail addresses of a message beside the cost of
// parsing it, over the messages of the reference mail corpus
// (../shared/refdata/mail beside the project, or $QB_MAIL_CORPUS). Every
// file is taken as one message.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench/mailcorpus.h"
#include "mime/MoxMsg.h"
#include "web/addresses.h"

namespace {

const std::vector<std::string>& Texts() {
  static const std::vector<std::string> texts = qb::bench::ReadMailCorpus(8u << 20);
  return texts;
}

std::unique_ptr<qb::TMoxMsg> Parse(const std::string& text) {
  auto m = std::make_unique<qb::TMoxMsg>();
  try {
    m->LoadRawMail(text);
    m->ParseRawMail();
  } catch (const std::exception&) {
  }
  return m;
}

std::int64_t TotalBytes() {
  std::int64_t n = 0;
  for (const std::string& t : Texts()) n += static_cast<std::int64_t>(t.size());
  return n;
}

void BM_ParseMessages(benchmark::State& state) {
  for (auto _ : state)
    for (const std::string& t : Texts()) benchmark::DoNotOptimize(Parse(t));
  state.SetBytesProcessed(state.iterations() * TotalBytes());
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(Texts().size()));
}
BENCHMARK(BM_ParseMessages)->Unit(benchmark::kMillisecond);

void BM_MessageAddresses(benchmark::State& state) {
  std::vector<std::unique_ptr<qb::TMoxMsg>> messages;
  for (const std::string& t : Texts()) messages.push_back(Parse(t));
  for (auto _ : state)
    for (const auto& m : messages) benchmark::DoNotOptimize(qb::MessageAddresses(*m));
  state.SetBytesProcessed(state.iterations() * TotalBytes());
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(messages.size()));
}
BENCHMARK(BM_MessageAddresses)->Unit(benchmark::kMillisecond);

}  // namespace
