// The lines of a message text and views of consecutive lines.
//
// A message is held as one text plus where each of its lines starts
// (TLineIndex), so that a message of any size costs its bytes and four
// bytes a line, not a string per line. A TLineSpan views consecutive lines
// of such an index or of a string list; its lines are string_views that stay
// valid as long as what they view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// An ordered list of lines without line breaks.
using TStringList = std::vector<std::string>;

class TLineIndex {
 public:
  TLineIndex() = default;
  // Takes the text over. Lines are split as SplitTextLines does: CR LF, a
  // bare LF and a bare CR each end a line; a break at the very end adds no
  // empty last line.
  explicit TLineIndex(std::string text);

  std::size_t size() const { return narrow_.empty() ? wide_.size() : narrow_.size(); }
  std::string_view Line(std::size_t i) const;
  const std::string& Text() const { return text_; }
  // The bytes of count lines from first on as the text holds them, line
  // breaks included, except the break after the last of them (which
  // belongs to what follows) unless it is the text's last line.
  std::string_view Bytes(std::size_t first, std::size_t count) const;

 private:
  std::size_t Start(std::size_t i) const { return narrow_.empty() ? wide_[i] : narrow_[i]; }

  std::string text_;
  // Line starts: four bytes each while the text is below 4 GiB.
  std::vector<std::uint32_t> narrow_;
  std::vector<std::uint64_t> wide_;
};

class TLineSpan {
 public:
  class iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    iterator() = default;
    iterator(const TLineSpan* span, std::size_t i) : span_(span), i_(i) {}
    std::string_view operator*() const { return (*span_)[i_]; }
    std::string_view operator[](difference_type n) const { return (*span_)[i_ + n]; }
    iterator& operator++() { return ++i_, *this; }
    iterator operator++(int) { return iterator(span_, i_++); }
    iterator& operator--() { return --i_, *this; }
    iterator operator--(int) { return iterator(span_, i_--); }
    iterator& operator+=(difference_type n) { return i_ += n, *this; }
    iterator& operator-=(difference_type n) { return i_ -= n, *this; }
    friend iterator operator+(iterator a, difference_type n) { return a += n; }
    friend iterator operator+(difference_type n, iterator a) { return a += n; }
    friend iterator operator-(iterator a, difference_type n) { return a -= n; }
    friend difference_type operator-(const iterator& a, const iterator& b) {
      return static_cast<difference_type>(a.i_) - static_cast<difference_type>(b.i_);
    }
    friend bool operator==(const iterator& a, const iterator& b) { return a.i_ == b.i_; }
    friend auto operator<=>(const iterator& a, const iterator& b) { return a.i_ <=> b.i_; }

   private:
    const TLineSpan* span_ = nullptr;
    std::size_t i_ = 0;
  };

  TLineSpan() = default;
  TLineSpan(const TStringList& list) : list_(list.data()), size_(list.size()) {}
  TLineSpan(const TLineIndex& index) : index_(&index), size_(index.size()) {}

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view operator[](std::size_t i) const {
    return list_ ? std::string_view(list_[first_ + i]) : index_->Line(first_ + i);
  }
  std::string_view front() const { return (*this)[0]; }
  std::string_view back() const { return (*this)[size_ - 1]; }
  iterator begin() const { return iterator(this, 0); }
  iterator end() const { return iterator(this, size_); }

  // The lines from offset on, at most count of them.
  TLineSpan subspan(std::size_t offset, std::size_t count = static_cast<std::size_t>(-1)) const {
    TLineSpan s = *this;
    s.first_ += offset;
    s.size_ = count < size_ - offset ? count : size_ - offset;
    return s;
  }
  // The lines as the message stores them, line breaks included, without
  // the break after the last line (it belongs to the next delimiter) unless
  // that line ends the whole text. Lines of a string list have lost their
  // breaks: they are joined into scratch with CR LF.
  std::string_view RawBytes(std::string& scratch) const;
  // True when both view the very same lines.
  bool SameLines(const TLineSpan& other) const {
    return list_ == other.list_ && index_ == other.index_ && first_ == other.first_ &&
           size_ == other.size_;
  }

 private:
  const std::string* list_ = nullptr;
  const TLineIndex* index_ = nullptr;
  std::size_t first_ = 0;
  std::size_t size_ = 0;
};

}  // namespace qb
