// Fetching one linked file over http, https or ftp.
//
// The download only needs "open the link, then read pieces until the end",
// so that is all the seam offers: a fetcher opens a link and pushes the body
// into a sink in pieces of at most 1024 bytes. Tests can put their own
// fetcher behind it; the program uses THttpClient (libcurl).
#pragma once

#include <cstddef>
#include <string>

namespace qb {

// Receives one transfer.
class IDownloadSink {
 public:
  virtual ~IDownloadSink() = default;
  // The link opened (a reply came, whatever its status). Called once, before
  // the first piece. False abandons the transfer.
  virtual bool Opened() = 0;
  // One piece of the body, at most kReadPieceSize bytes. False ends the
  // transfer; what was delivered before stays delivered.
  virtual bool Write(const char* data, std::size_t size) = 0;
};

enum class TFetchResult {
  NotOpened,     // no reply: bad or unsupported link, refused, no such host...
  Abandoned,     // opened, but the sink refused it in Opened()
  Completed,     // the whole body was delivered
  Ended,         // the transfer broke off or stalled after the reply began
  StoppedBySink  // the sink ended it in Write()
};

class IHttpFetcher {
 public:
  virtual ~IHttpFetcher() = default;
  virtual TFetchResult Fetch(const std::string& link, IDownloadSink& sink) = 0;
};

// The largest piece a sink is handed.
inline constexpr std::size_t kReadPieceSize = 1024;

struct THttpSettings {
  std::string UserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Win32)";
  long ConnectTimeoutMs = 60000;
  // A transfer (sending or receiving) that moves no byte for this long ends.
  long StallTimeoutMs = 60000;
  long MaxRedirects = 10;
};

// libcurl with the system's (environment) proxy settings; signals are not
// used, so it is safe on any thread. One easy handle per Fetch.
class THttpClient : public IHttpFetcher {
 public:
  explicit THttpClient(THttpSettings settings = {});
  TFetchResult Fetch(const std::string& link, IDownloadSink& sink) override;

  const THttpSettings& Settings() const { return settings_; }

  // The link as it is handed to libcurl: bytes that may not stand in a URL
  // (blanks, control characters, 8-bit bytes) are percent-encoded. Empty
  // when the link has no http, https or ftp scheme, so it is never
  // guessed into a host name.
  static std::string PrepareLink(const std::string& link);

 private:
  THttpSettings settings_;
};

}  // namespace qb
