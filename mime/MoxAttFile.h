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

// How an attachment's lines are encoded.
enum class TTransferCoding { None, Base64, UU, QuotedPrintable };

// Receives decoded bytes in pieces; false stops the writing.
using TByteSink = std::function<bool(const char* data, std::size_t size)>;

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
  std::string PartType;      // the type its part declared, upper case ("" if none)
  bool Cancel = false;       // composing: stops EncodeBase64
  bool Throttled = false;    // decoders sleep 1 ms every 45 lines
  bool IsInline = false;     // composing: goes into the related section
  // Decoding rules, set by parsing from its options: base64 as RFC 2045
  // reads it; text (plain or quoted-printable) written with the line ends
  // the message stores instead of lines joined with CR LF.
  bool Base64Rfc2045 = false;
  bool KeepStoredBytes = false;

  // The decoded bytes; the position is moved to 0. Raises
  // "AttachedFile.Body = nil" when the body has been released. A deferred
  // attachment is decoded into memory now.
  TMemoryStream& Body();
  // The decoded bytes (empty when the body has been released).
  const std::string& Bytes() const;
  bool HasBody() const { return body_ != nullptr; }
  // Drops the body (Body then raises); mainly for tests of SaveToFile.
  void ReleaseBody() {
    body_.reset();
    deferred_ = {};
  }

  // Writes all bytes of Body to path, creating or replacing the file.
  // Raises "AttachedFile.Body = nil" without a body; file-system errors
  // propagate as EStreamError. A deferred attachment is decoded on the way.
  void SaveToFile(const std::string& path) const;

  // Deferred decoding: the attachment keeps a view of its encoded lines
  // (keeper holds what they view) and decodes them only when its bytes are
  // asked for, so that one that is never written is never decoded, and one
  // that is written goes to its file in pieces without a copy of the whole.
  void DeferDecoding(std::shared_ptr<const void> keeper, TLineSpan lines, TTransferCoding coding);
  bool IsDeferred() const { return deferred_.Keeper != nullptr; }
  // Hands the decoded bytes to sink in pieces of up to a few hundred
  // kilobytes, decoding a deferred attachment on the way without keeping
  // it. False when sink said false. Raises "Oops..." as DecodeUU does.
  bool WriteDecoded(const TByteSink& sink) const;

  // The name and text that stand in for an attachment whose decoded file
  // was taken away before it could be used (in practice by a virus
  // scanner).
  static const char* const kVirusReportName;
  static std::string VirusReportText(const std::string& fileName);

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
  // Decodes a deferred attachment into body_.
  void Materialize() const;

  struct TDeferred {
    std::shared_ptr<const void> Keeper;
    TLineSpan Lines;
    TTransferCoding Coding = TTransferCoding::None;
  };
  mutable std::unique_ptr<TMemoryStream> body_;
  mutable TDeferred deferred_;
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
