// The reference mail corpus as the benchmarks read it: every file below
// ../shared/refdata/mail beside the project (or $QB_MAIL_CORPUS), in name
// order, whole.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qb::bench {

inline std::string MailCorpusDir() {
  if (const char* env = std::getenv("QB_MAIL_CORPUS")) return env;
  namespace fs = std::filesystem;
  return (fs::path(__FILE__).parent_path().parent_path() / ".." / "shared" / "refdata" / "mail")
      .lexically_normal()
      .string();
}

// The contents of the corpus files smaller than maxSize bytes.
inline std::vector<std::string> ReadMailCorpus(std::uintmax_t maxSize = UINTMAX_MAX) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(MailCorpusDir(), ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file() && it->file_size(ec) < maxSize) files.push_back(it->path());
  std::sort(files.begin(), files.end());
  std::vector<std::string> out;
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return out;
}

}  // namespace qb::bench
