// Speed of the HTML scanner over the HTML bodies of the reference mail
// corpus (../shared/refdata/mail beside the project, or $QB_MAIL_CORPUS).
// The bodies are cut out crudely: every span from "<html" to "</html>",
// ignoring case, as it stands in the file (transfer encodings untouched).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/mailcorpus.h"
#include "web/jsHTMLParser.h"
#include "web/linkdownload.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

const std::vector<std::string>& Bodies() {
  static const std::vector<std::string> bodies = [] {
    std::vector<std::string> out;
    for (const std::string& data : qb::bench::ReadMailCorpus()) {
      const std::string low = Lower(data);
      std::size_t pos = 0;
      while ((pos = low.find("<html", pos)) != std::string::npos) {
        std::size_t end = low.find("</html>", pos);
        end = end == std::string::npos ? low.size() : end + 7;
        out.push_back(data.substr(pos, end - pos));
        pos = end;
      }
    }
    return out;
  }();
  return bodies;
}

std::int64_t TotalBytes() {
  std::int64_t n = 0;
  for (const std::string& b : Bodies()) n += static_cast<std::int64_t>(b.size());
  return n;
}

void BM_ScanCorpus(benchmark::State& state) {
  const auto& bodies = Bodies();
  if (bodies.empty()) {
    state.SkipWithError("no HTML bodies found in the mail corpus");
    return;
  }
  std::size_t links = 0;
  for (auto _ : state) {
    for (const std::string& body : bodies) {
      qb::TjsHTMLParser parser;
      parser.SetHTMLText(body);
      parser.Execute();
      links += parser.Parsed().Hyperlinks.size();
    }
  }
  benchmark::DoNotOptimize(links);
  state.SetBytesProcessed(state.iterations() * TotalBytes());
  state.counters["bodies"] = static_cast<double>(bodies.size());
  state.counters["corpus_bytes"] = static_cast<double>(TotalBytes());
}
BENCHMARK(BM_ScanCorpus)->Unit(benchmark::kMillisecond);

// The same walk with a handler for every character.
void BM_ScanCorpusWithProgressEvent(benchmark::State& state) {
  const auto& bodies = Bodies();
  if (bodies.empty()) {
    state.SkipWithError("no HTML bodies found in the mail corpus");
    return;
  }
  std::size_t calls = 0;
  for (auto _ : state) {
    for (const std::string& body : bodies) {
      qb::TjsHTMLParser parser;
      parser.OnParsing = [&](qb::TjsHTMLParser*, int, int) { ++calls; };
      parser.SetHTMLText(body);
      parser.Execute();
    }
  }
  benchmark::DoNotOptimize(calls);
  state.SetBytesProcessed(state.iterations() * TotalBytes());
}
BENCHMARK(BM_ScanCorpusWithProgressEvent)->Unit(benchmark::kMillisecond);

// Scanning plus the link filters, as a worker does for each text.
void BM_GetDownloadLinksCorpus(benchmark::State& state) {
  const auto& bodies = Bodies();
  if (bodies.empty()) {
    state.SkipWithError("no HTML bodies found in the mail corpus");
    return;
  }
  qb::TExtensionListsSnapshot lists;
  lists.ExcludeEntries = {"VBS", "VB",   "JS",    "COM", "BAT", "PIF",  "BIN", "DLL", "EXE", "SCR",
                          "HTM", "HTML", "SHTML", "PHP", "ASP", "ASPX", "PL",  "CGI", "EML", "CFM"};
  qb::TLinkDownloadOptions options;
  options.UrlListPath = "/nonexistent/URLList.txt";
  qb::TLinkDownloader downloader(lists, options);
  std::size_t links = 0;
  for (auto _ : state) {
    for (const std::string& body : bodies) {
      qb::TStringList found;
      downloader.GetDownloadLinks(body, found);
      links += found.size();
    }
  }
  benchmark::DoNotOptimize(links);
  state.SetBytesProcessed(state.iterations() * TotalBytes());
}
BENCHMARK(BM_GetDownloadLinksCorpus)->Unit(benchmark::kMillisecond);

// A text made of nothing but links, each written twice in different case:
// the duplicate check must not cost a comparison per pair.
void BM_GetDownloadLinksManyLinks(benchmark::State& state) {
  std::string html;
  for (int i = 0; i < state.range(0); ++i) {
    const std::string n = std::to_string(i);
    html += "<a href=\"http://h/p" + n + ".jpg\"><a href=\"HTTP://H/P" + n + ".JPG\">\r\n";
  }
  qb::TLinkDownloadOptions options;
  options.UrlListPath = "/nonexistent/URLList.txt";
  qb::TLinkDownloader downloader({}, options);
  for (auto _ : state) {
    qb::TStringList found;
    downloader.GetDownloadLinks(html, found);
    if (found.size() != static_cast<std::size_t>(state.range(0))) state.SkipWithError("count");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(html.size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_GetDownloadLinksManyLinks)
    ->RangeMultiplier(8)
    ->Range(1 << 10, 1 << 16)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
