// One attachment of a message and the collection of them.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mime/mimehelpers.h"
#include "mime/streams.h"

namespace qb {

class TAttachedFile {
 public:
  TAttachedFile();
  TAttachedFile(const TAttachedFile&) = delete;
  TAttachedFile& operator=(const TAttachedFile&) = delete;

  std::string FileName;      // no path; "virus_report.txt" after a failed read-back
  std::string ContentID;     // without angle brackets
  std::string SourcePath;    // the name or path the item was added with
  TStringList EncodedLines;  // encoded text, one line per entry
  std::string ContentType;   // from the file name's extension
  bool Cancel = false;       // composing: stops EncodeBase64
  bool Throttled = false;    // decoders sleep 1 ms every 45 lines
  bool IsInline = false;     // composing: goes into the related section

  // The decoded bytes; the position is moved to 0. Raises
  // "AttachedFile.Body = nil" when the body has been released.
  TMemoryStream& Body();
  // The decoded bytes (empty when the body has been released).
  const std::string& Bytes() const;
  bool HasBody() const { return body_ != nullptr; }
  // Drops the body (Body then raises); mainly for tests of SaveToFile.
  void ReleaseBody() { body_.reset(); }

  // Writes all bytes of Body to path, creating or replacing the file.
  // Raises "AttachedFile.Body = nil" without a body; file-system errors
  // propagate as EStreamError.
  void SaveToFile(const std::string& path) const;

  // Decode EncodedLines into Body through a temporary file.
  void DecodeBase64();
  // Raises std::runtime_error("Oops...") on a character outside the
  // uuencode alphabet or a full line that is too short.
  void DecodeUU();
  // The same, reading the encoded lines from a view instead of EncodedLines.
  void DecodeBase64(TLineSpan lines);
  void DecodeUU(TLineSpan lines);

  // Composing: fills EncodedLines with the base64 text of Body, or of the
  // file SourcePath when Body is empty (Body then receives the file).
  void EncodeBase64();

  // Called with the temporary file's path after decoding wrote it and
  // before it is read back. Lets tests play the virus scanner that removes
  // the file. Not for production use.
  static std::function<void(const std::string&)> OnTempFileWritten;

 private:
  template <class Decode>
  void DecodeThroughTempFile(const char* prefix, Decode&& decode);

  std::unique_ptr<TMemoryStream> body_;
};

class TAttachedFiles {
 public:
  bool Throttled = false;

  // Appends an item: FileName is the part of name after the last backslash
  // or colon, SourcePath is name, ContentType comes from the extension.
  TAttachedFile& Add(const std::string& name, const std::string& contentID = "");
  int Count() const { return static_cast<int>(items_.size()); }
  TAttachedFile& Items(int index) { return *items_.at(static_cast<std::size_t>(index)); }
  const TAttachedFile& Items(int index) const {
    return *items_.at(static_cast<std::size_t>(index));
  }
  TAttachedFile& operator[](int index) { return Items(index); }
  const TAttachedFile& operator[](int index) const { return Items(index); }
  void Clear() { items_.clear(); }
  void Delete(int index);

 private:
  std::vector<std::unique_ptr<TAttachedFile>> items_;
};

// The uuencode value of one character: "`" and blank are 0, "!" to "_" are
// 1 to 63. Raises std::runtime_error("Oops...") for any other character.
int UUCharValue(char c);

}  // namespace qb
