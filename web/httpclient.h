// Fetching one linked file over http, https or ftp.
//
// The download only needs "open the link, then read pieces until the end",
// so that is all the seam offers: a fetcher opens a link and pushes the body
// into a sink in pieces of at most 1024 bytes. Tests can put their own
// fetcher behind it; the program uses THttpClient (libcurl).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/limits.h"

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
  NotOpened,      // no reply: bad or unsupported link, refused, no such host...
  Abandoned,      // opened, but the sink refused it in Opened()
  Completed,      // the whole body was delivered, as long as it was promised
  Ended,          // the transfer broke off after the reply began, or came short
  StoppedBySink,  // the sink ended it in Write()
  Rejected,       // the reply was not a success (an HTTP status outside 2xx)
  TimedOut,       // the transfer ran past its time, or moved nothing for too long
  Stopped         // the run's stop request ended it
};

// How long one transfer may take, and whether the run still wants it.
struct TTransferLimits {
  long TotalMs = kTransferLimitMs;
  long StallMs = kStallLimitMs;
  // Asked while the transfer runs; true ends it at once. Empty: never.
  std::function<bool()> Stopped;
};

class IHttpFetcher {
 public:
  virtual ~IHttpFetcher() = default;
  virtual TFetchResult Fetch(const std::string& link, IDownloadSink& sink) = 0;
  // The same within limits; a fetcher that keeps no time ignores them.
  virtual TFetchResult FetchWithin(const std::string& link, IDownloadSink& sink,
                                   const TTransferLimits& limits) {
    (void)limits;
    return Fetch(link, sink);
  }
};

// The largest piece a sink is handed.
inline constexpr std::size_t kReadPieceSize = 1024;

struct THttpSettings {
  std::string UserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Win32)";
  long ConnectTimeoutMs = 60000;
  long MaxRedirects = 10;
};

// libcurl with the system's (environment) proxy settings; signals are not
// used, so it is safe on any thread. One easy handle per Fetch. Only a
// success reply (2xx for HTTP) reaches the sink, and only one whose body
// came whole (as long as its Content-Length said, or ended cleanly without
// one) is Completed.
class THttpClient : public IHttpFetcher {
 public:
  explicit THttpClient(THttpSettings settings = {});
  // Within the default limits.
  TFetchResult Fetch(const std::string& link, IDownloadSink& sink) override;
  TFetchResult FetchWithin(const std::string& link, IDownloadSink& sink,
                           const TTransferLimits& limits) override;

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
