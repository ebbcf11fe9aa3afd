#include "engine/reportcsv.h"

#include <nettle/sha2.h>

#include <algorithm>

#include "platform/codepage.h"

namespace qb {

const char* ReportOutcomeText(TReportOutcome outcome) {
  switch (outcome) {
    case TReportOutcome::Written:
      return "written";
    case TReportOutcome::SameBytesThere:
      return "same bytes already there";
    case TReportOutcome::Excluded:
      return "excluded";
    case TReportOutcome::Failed:
      return "failed";
  }
  return "failed";
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string ReportHeaderRow() {
  return "Written path,Outcome,Reason,Size,SHA-256,Original name,Source,Folder,Date,From,Subject,"
         "Message-ID\r\n";
}

std::string ReportRowText(const TReportRow& row) {
  const auto text = [](const std::string& s) { return CsvField(ToUtf8Edge(s)); };
  std::string out;
  out += text(row.WrittenPath) + ",";
  out += std::string(ReportOutcomeText(row.Outcome)) + ",";
  out += text(row.Reason) + ",";
  out += std::to_string(row.Size) + ",";
  out += text(row.Sha256) + ",";
  out += text(row.OriginalName) + ",";
  out += text(row.Source) + ",";
  out += text(row.Folder) + ",";
  out += (row.Date == 0 ? std::string() : FormatIsoDateTime(row.Date)) + ",";
  out += text(row.From) + ",";
  out += text(row.Subject) + ",";
  out += text(row.MessageID) + "\r\n";
  return out;
}

std::string PathBelowDestination(const std::string& path, const std::string& destination) {
  std::string base = destination;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base.empty()) return "";
  if (base != "/") base += '/';
  if (path.size() <= base.size() || path.compare(0, base.size(), base) != 0) return "";
  const std::string rest = path.substr(base.size());
  // A ".." level would point outside.
  std::size_t start = 0;
  while (start <= rest.size()) {
    const std::size_t end = std::min(rest.find('/', start), rest.size());
    if (rest.compare(start, end - start, "..") == 0) return "";
    start = end + 1;
  }
  return rest;
}

struct TReportDigest::TState {
  sha256_ctx Ctx;
};

TReportDigest::TReportDigest() : state_(new TState) {
  sha256_init(&state_->Ctx);
}

TReportDigest::~TReportDigest() {
  delete state_;
}

void TReportDigest::Update(const char* data, std::size_t size) {
  sha256_update(&state_->Ctx, size, reinterpret_cast<const std::uint8_t*>(data));
}

std::string TReportDigest::HexDigest() {
  std::uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&state_->Ctx, SHA256_DIGEST_SIZE, digest);
  static const char* const kHex = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : digest) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

}  // namespace qb
