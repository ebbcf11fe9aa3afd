#include "mime/lines.h"

#include <algorithm>
#include <limits>

#include "mime/mimehelpers.h"

namespace qb {

TLineIndex::TLineIndex(std::string text) : text_(std::move(text)) {
  const bool narrow = text_.size() <= std::numeric_limits<std::uint32_t>::max();
  // Mail lines are rarely shorter than this on average; a text of short
  // lines grows the list as it goes.
  const std::size_t guess = text_.size() / 24 + 16;
  if (narrow)
    narrow_.reserve(guess);
  else
    wide_.reserve(guess);
  ForEachLine(text_, [&](std::string_view line) {
    const std::size_t start = static_cast<std::size_t>(line.data() - text_.data());
    if (narrow)
      narrow_.push_back(static_cast<std::uint32_t>(start));
    else
      wide_.push_back(start);
  });
}

std::string_view TLineIndex::Line(std::size_t i) const {
  const std::size_t start = Start(i);
  // The line ends at the break before the next line, or at the end of the
  // text less a break there.
  std::size_t end = i + 1 < size() ? Start(i + 1) : text_.size();
  if (end > start) {
    const char last = text_[end - 1];
    if (last == '\n') {
      --end;
      if (end > start && text_[end - 1] == '\r') --end;
    } else if (last == '\r') {
      --end;
    }
  }
  return std::string_view(text_.data() + start, end - start);
}

std::string_view TLineIndex::Bytes(std::size_t first, std::size_t count) const {
  if (count == 0 || first >= size()) return {};
  if (first + count > size()) count = size() - first;
  const std::size_t start = Start(first);
  const std::size_t last = first + count - 1;
  const std::size_t end =
      last + 1 == size()
          ? text_.size()
          : static_cast<std::size_t>(Line(last).data() - text_.data()) + Line(last).size();
  return std::string_view(text_.data() + start, end - start);
}

std::string_view TLineSpan::RawBytes(std::string& scratch) const {
  if (index_) return index_->Bytes(first_, size_);
  scratch = JoinLinesNoFinalBreak(*this);
  return scratch;
}

}  // namespace qb
