// Splitting mail files of the reference corpus into messages: a file that
// begins with a "From " line is an mbox and is cut before every "From " line
// that follows an empty line; any other file is one message.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qb::test {

inline std::vector<std::string> SplitMbox(std::string_view data) {
  std::vector<std::string> msgs;
  if (data.substr(0, 5) != "From ") {
    msgs.emplace_back(data);
    return msgs;
  }
  std::size_t start = 0, pos = 0;
  bool prevEmpty = true;
  while (pos < data.size()) {
    std::size_t nl = data.find('\n', pos);
    std::size_t end = nl == std::string_view::npos ? data.size() : nl + 1;
    std::string_view line = data.substr(pos, end - pos);
    if (pos > start && prevEmpty && line.substr(0, 5) == "From ") {
      msgs.emplace_back(data.substr(start, pos - start));
      start = pos;
    }
    std::string_view bare = line;
    while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r')) bare.remove_suffix(1);
    prevEmpty = bare.empty();
    pos = end;
  }
  if (start < data.size()) msgs.emplace_back(data.substr(start));
  return msgs;
}

}  // namespace qb::test
