// Recording new messages into a history file: the cost per message must not
// grow with the size of the history.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "engine/datetext.h"
#include "engine/history.h"

namespace {

void BM_RecordNewMessages(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const qb::TDateTime date = qb::EncodeDate(2003, 9, 21) + qb::EncodeTime(10, 30, 0);
  for (auto _ : state) {
    state.PauseTiming();
    std::string dir = (std::filesystem::temp_directory_path() / "qbbench.XXXXXX").string();
    if (!::mkdtemp(dir.data())) {
      state.SkipWithError("mkdtemp failed");
      return;
    }
    state.ResumeTiming();
    {
      qb::TExtractionHistory history;
      if (!history.Open(dir + "/Quillbox/OE/OEMailData.ini")) {
        state.SkipWithError("cannot open the history");
        return;
      }
      for (int i = 0; i < count; ++i)
        history.RecordMessage("message key " + std::to_string(i), date, i % 5);
    }
    state.PauseTiming();
    std::filesystem::remove_all(dir);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK(BM_RecordNewMessages)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
