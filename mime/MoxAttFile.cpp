#include "mime/MoxAttFile.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "mime/base64stream.h"
#include "platform/errors.h"
#include "platform/thread.h"

namespace qb {

std::function<void(const std::string&)> TAttachedFile::OnTempFileWritten;

namespace {

const char kOops[] = "Oops...";

// Removes the temporary file when the decoding is over, whatever happened.
struct TTempFileGuard {
  std::string Path;
  ~TTempFileGuard() {
    if (!Path.empty()) ::unlink(Path.c_str());
  }
};

// Sleeps 1 ms after every 45th line (the first line not counted).
inline void Throttle(bool throttled, std::size_t lineIndex) {
  if (throttled && lineIndex > 0 && lineIndex % 45 == 0) Sleep(1);
}

// Decoded bytes are handed on in pieces of this size at most...
constexpr std::size_t kChunkBytes = 256 * 1024;
// ... and encoded text is decoded in pieces of this size at most, so that
// one enormous line needs no more room than a short one.
constexpr std::size_t kPieceBytes = 64 * 1024;

// Gathers decoded bytes and hands them to a sink a chunk at a time.
class TChunker {
 public:
  explicit TChunker(const TByteSink& sink) : sink_(sink) {}
  // Room for size more bytes (at most kChunkBytes), handing on what is
  // gathered first when needed; null when the sink failed.
  unsigned char* Room(std::size_t size) {
    if (!buf_) buf_ = std::make_unique_for_overwrite<char[]>(kChunkBytes);
    if (kChunkBytes - used_ < size && !Flush()) return nullptr;
    return reinterpret_cast<unsigned char*>(buf_.get()) + used_;
  }
  void Commit(std::size_t size) { used_ += size; }
  bool Append(const char* data, std::size_t size) {
    if (size >= kChunkBytes) return Flush() && sink_(data, size);
    unsigned char* room = Room(size);
    if (!room) return false;
    std::memcpy(room, data, size);
    Commit(size);
    return true;
  }
  bool Flush() {
    if (used_ == 0) return true;
    const std::size_t n = used_;
    used_ = 0;
    return sink_(buf_.get(), n);
  }

 private:
  const TByteSink& sink_;
  // Not cleared: only what was written into it is handed on.
  std::unique_ptr<char[]> buf_;
  std::size_t used_ = 0;
};

// Decodes uuencoded lines (line 0 is the "begin" line) and hands the bytes
// of each line to out, which returns false to stop (then false is
// returned). Raises "Oops..." on a character outside the alphabet or a full
// line that is too short.
template <class Out>
bool DecodeUULines(TLineSpan lines, bool throttled, Out&& out) {
  // Line 1 is always decoded; decoding stops before a line that is exactly
  // "end" or a single grave accent.
  for (std::size_t i = 1; i < lines.size(); ++i) {
    Throttle(throttled, i);
    const std::string_view line = lines[i];
    // An empty line carries nothing (possible inside an x-uuencode part).
    if (!line.empty()) {
      int count = UUCharValue(line[0]);
      std::size_t used = (count * 4 / 3 == 60) ? 60 : std::min<std::size_t>(line.size() - 1, 60);
      unsigned char buf[45] = {};
      unsigned bits = 0;
      int nbits = 0;
      std::size_t pos = 0;
      for (std::size_t k = 1; k <= used; ++k) {
        // A full line that is too short: the first missing character is
        // as bad as one outside the alphabet.
        if (k >= line.size()) throw EQuillboxError(TErrorKind::InputDamaged, kOops);
        bits = (bits << 6) | static_cast<unsigned>(UUCharValue(line[k]));
        nbits += 6;
        if (nbits >= 8) {
          nbits -= 8;
          if (pos < sizeof buf) buf[pos++] = static_cast<unsigned char>((bits >> nbits) & 255);
        }
      }
      // A count above 45 asks for more than a line can carry: the line's
      // 45 bytes are written.
      std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), sizeof buf);
      if (!out(buf, n)) return false;
    }
    if (i + 1 >= lines.size() || lines[i + 1] == "end" || lines[i + 1] == "`") break;
  }
  return true;
}

}  // namespace

int UUCharValue(char c) {
  if (c == '`' || c == ' ') return 0;
  if (c >= '!' && c <= '_') return c - 32;
  throw EQuillboxError(TErrorKind::InputDamaged, kOops);
}

TAttachedFile::TAttachedFile() : body_(std::make_unique<TMemoryStream>()) {}

TMemoryStream& TAttachedFile::Body() {
  Materialize();
  if (!body_) throw EQuillboxError(TErrorKind::Usage, "AttachedFile.Body = nil");
  body_->Seek(0, TSeekOrigin::Beginning);
  return *body_;
}

const std::string& TAttachedFile::Bytes() const {
  static const std::string kEmpty;
  Materialize();
  return body_ ? body_->Bytes() : kEmpty;
}

void TAttachedFile::SaveToFile(const std::string& path) const {
  if (!IsDeferred()) {
    if (!body_) throw EQuillboxError(TErrorKind::Usage, "AttachedFile.Body = nil");
    body_->SaveToFile(path);
    return;
  }
  TFileStream file(path, TFileStream::TMode::Create);
  WriteDecoded([&](const char* data, std::size_t size) {
    if (file.Write(data, size) != size) throw EStreamError("Stream write error");
    return true;
  });
  file.Close();
}

template <class Decode>
void TAttachedFile::DecodeThroughTempFile(const char* prefix, Decode&& decode) {
  deferred_ = {};
  if (!body_) body_ = std::make_unique<TMemoryStream>();
  TTempFileGuard guard;
  guard.Path = UniqueTempFileName(prefix);
  {
    TFileStream out(guard.Path, TFileStream::TMode::OpenWrite);
    decode(out);
    out.Close();
  }
  if (OnTempFileWritten) OnTempFileWritten(guard.Path);
  try {
    body_->LoadFromFile(guard.Path);
  } catch (const std::exception&) {
    // In practice a virus scanner took the file away: say so instead.
    body_->Clear();
    const std::string text = VirusReportText(FileName);
    FileName = kVirusReportName;
    body_->Write(text.data(), text.size());
    body_->Seek(0, TSeekOrigin::Beginning);
  }
}

void TAttachedFile::DecodeBase64() {
  DecodeBase64(TLineSpan(EncodedLines));
}
void TAttachedFile::DecodeUU() {
  DecodeUU(TLineSpan(EncodedLines));
}

void TAttachedFile::DecodeBase64(TLineSpan lines) {
  DecodeThroughTempFile("b64d", [&](TStream& out) {
    TBase64DecodingStream dec(out, Base64Rfc2045);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      Throttle(Throttled, i);
      dec.Write(lines[i].data(), lines[i].size());
    }
    dec.Finish();
  });
}

void TAttachedFile::DecodeUU(TLineSpan lines) {
  DecodeThroughTempFile("uud", [&](TStream& out) {
    DecodeUULines(lines, Throttled, [&](const unsigned char* bytes, std::size_t n) {
      out.Write(bytes, n);
      return true;
    });
  });
}

void TAttachedFile::DeferDecoding(std::shared_ptr<const void> keeper, TLineSpan lines,
                                  TTransferCoding coding) {
  body_.reset();
  deferred_ = {std::move(keeper), lines, coding};
}

void TAttachedFile::Materialize() const {
  if (!IsDeferred()) return;
  std::string bytes;
  WriteDecoded([&](const char* data, std::size_t size) {
    bytes.append(data, size);
    return true;
  });
  body_ = std::make_unique<TMemoryStream>();
  body_->Assign(std::move(bytes));
  deferred_ = {};
}

bool TAttachedFile::WriteDecoded(const TByteSink& sink) const {
  if (!IsDeferred()) {
    if (!body_) throw EQuillboxError(TErrorKind::Usage, "AttachedFile.Body = nil");
    const std::string& bytes = body_->Bytes();
    TChunker out(sink);
    return out.Append(bytes.data(), bytes.size()) && out.Flush();
  }
  const TLineSpan lines = deferred_.Lines;
  TChunker out(sink);
  switch (deferred_.Coding) {
    case TTransferCoding::Base64: {
      TBase64Decoder dec(Base64Rfc2045);
      for (std::size_t i = 0; i < lines.size() && !dec.Stopped(); ++i) {
        Throttle(Throttled, i);
        const std::string_view line = lines[i];
        for (std::size_t at = 0; at < line.size(); at += kPieceBytes) {
          const std::size_t n = std::min(kPieceBytes, line.size() - at);
          unsigned char* room = out.Room(TBase64Decoder::MaxDecodedSize(n));
          if (!room) return false;
          out.Commit(dec.Decode(line.data() + at, n, room));
        }
      }
      unsigned char* room = out.Room(4);
      if (!room) return false;
      out.Commit(dec.Finish(room));
      break;
    }
    case TTransferCoding::UU:
      if (!DecodeUULines(lines, Throttled, [&](const unsigned char* bytes, std::size_t n) {
            return out.Append(reinterpret_cast<const char*>(bytes), n);
          }))
        return false;
      break;
    case TTransferCoding::QuotedPrintable: {
      // As decoding the lines joined with CR LF after every line, or the
      // bytes as stored.
      TQuotedPrintableDecoder dec(KeepStoredBytes);
      auto feed = [&](const char* text, std::size_t size) {
        for (std::size_t at = 0; at < size; at += kPieceBytes) {
          const std::size_t n = std::min(kPieceBytes, size - at);
          char* room = reinterpret_cast<char*>(out.Room(n));
          if (!room) return false;
          out.Commit(dec.Decode(text + at, n, room));
        }
        return true;
      };
      if (KeepStoredBytes) {
        std::string scratch;
        const std::string_view raw = lines.RawBytes(scratch);
        if (!feed(raw.data(), raw.size())) return false;
        break;
      }
      for (const std::string_view line : lines)
        if (!feed(line.data(), line.size()) || !feed("\r\n", 2)) return false;
      break;
    }
    case TTransferCoding::None:
      if (KeepStoredBytes) {
        std::string scratch;
        const std::string_view raw = lines.RawBytes(scratch);
        if (!out.Append(raw.data(), raw.size())) return false;
        break;
      }
      // The lines joined with CR LF between them.
      for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0 && !out.Append("\r\n", 2)) return false;
        if (!out.Append(lines[i].data(), lines[i].size())) return false;
      }
      break;
  }
  return out.Flush();
}

const char* const TAttachedFile::kVirusReportName = "virus_report.txt";

std::string TAttachedFile::VirusReportText(const std::string& fileName) {
  return Trim(fileName) +
         " cannot be opened.\r\n"
         "This is generally due to virus protection software suspecting a virus "
         "in the attachment.\r\n"
         "The contents of the attachment has been stripped.";
}

void TAttachedFile::EncodeBase64() {
  Cancel = false;
  if (!body_) body_ = std::make_unique<TMemoryStream>();
  std::string fileBytes;
  const bool fromFile = body_->Size() == 0;
  std::unique_ptr<TFileStream> source;
  if (fromFile) source = std::make_unique<TFileStream>(SourcePath, TFileStream::TMode::OpenRead);
  TTempFileGuard guard;
  guard.Path = UniqueTempFileName("b64e");
  {
    TFileStream out(guard.Path, TFileStream::TMode::OpenWrite);
    {
      TBase64EncodingStream enc(out);
      std::size_t at = 0;
      const std::string& bytes = body_->Bytes();
      char chunk[1024];
      for (;;) {
        if (Cancel) break;
        std::size_t n;
        if (fromFile) {
          n = source->Read(chunk, sizeof chunk);
          fileBytes.append(chunk, n);
          if (n) enc.Write(chunk, n);
        } else {
          n = std::min<std::size_t>(sizeof chunk, bytes.size() - at);
          if (n) enc.Write(bytes.data() + at, n);
          at += n;
        }
        if (n == 0) break;
      }
      enc.Finish();
    }
    out.Close();
  }
  if (Cancel) return;
  TMemoryStream encoded;
  encoded.LoadFromFile(guard.Path);
  EncodedLines = SplitTextLines(encoded.Bytes());
  if (fromFile) body_->Assign(std::move(fileBytes));
}

TAttachedFile& TAttachedFiles::Add(const std::string& name, const std::string& contentID) {
  auto item = std::make_unique<TAttachedFile>();
  std::size_t sep = name.find_last_of("\\:");
  item->FileName = sep == std::string::npos ? name : name.substr(sep + 1);
  item->SourcePath = name;
  item->ContentType = ContentTypeOfFile(name);
  item->Throttled = Throttled;
  item->ContentID = contentID;
  items_.push_back(std::move(item));
  return *items_.back();
}

void TAttachedFiles::Delete(int index) {
  if (index < 0 || index >= Count()) throw std::out_of_range("List index out of bounds");
  items_.erase(items_.begin() + index);
}

}  // namespace qb
