#include "web/httpclient.h"
#include "platform/text.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string_view>

namespace qb {

namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// How often a running transfer is looked at when no byte arrives: a stop
// request or a limit takes effect within this time.
constexpr long kPollMs = 50;

// What one transfer has seen so far.
struct TTransfer {
  IDownloadSink* Sink = nullptr;
  bool Opened = false;       // Sink->Opened() was called (and said yes)
  bool Abandoned = false;    // ... and said no
  bool SinkStopped = false;  // Sink->Write() said no
  // The header block of the reply to the current request was received
  // completely, and it is the final reply (not one that is followed).
  bool HeadersDone = false;
  bool Http = false;  // the current reply has an HTTP status line
  int Status = 0;
  bool HasLocation = false;
  bool Rejected = false;  // a body came with a status that is not a success

  // Stall watch: the byte count last seen moving, and when.
  std::chrono::milliseconds StallLimit{0};
  curl_off_t LastBytes = -1;
  std::chrono::steady_clock::time_point LastMove;
  bool Stalled = false;
  const std::function<bool()>* Stop = nullptr;
  bool StopSeen = false;

  bool Success() const { return !Http || (Status >= 200 && Status < 300); }

  bool Open() {
    if (Opened || Abandoned) return Opened;
    if (Sink->Opened()) {
      Opened = true;
    } else {
      Abandoned = true;
    }
    return Opened;
  }
};

size_t OnBody(char* data, size_t size, size_t count, void* userdata) {
  auto* t = static_cast<TTransfer*>(userdata);
  const size_t total = size * count;
  if (!t->Success()) {  // an error page is not the file
    t->Rejected = true;
    return 0;
  }
  if (!t->Open()) return 0;  // makes libcurl end with a write error
  for (size_t done = 0; done < total;) {
    const size_t piece = std::min(kReadPieceSize, total - done);
    if (!t->Sink->Write(data + done, piece)) {
      t->SinkStopped = true;
      return 0;
    }
    done += piece;
  }
  return total;
}

size_t OnHeader(char* data, size_t size, size_t count, void* userdata) {
  auto* t = static_cast<TTransfer*>(userdata);
  const size_t total = size * count;
  const std::string_view line(data, total);
  if (line.starts_with("HTTP/")) {
    t->HeadersDone = false;
    t->Http = true;
    t->HasLocation = false;
    t->Status = 0;
    std::size_t p = line.find(' ');
    for (std::size_t i = p == std::string_view::npos ? line.size() : p + 1;
         i < line.size() && line[i] >= '0' && line[i] <= '9' && t->Status < 1000; ++i)
      t->Status = t->Status * 10 + (line[i] - '0');
  } else if (line.size() > 9 && StartsWithNoCase(line, "location:")) {
    t->HasLocation = true;
  } else if (line == "\r\n" || line == "\n") {
    const bool interim = t->Status >= 100 && t->Status < 200;
    const bool followed =
        t->HasLocation && (t->Status == 301 || t->Status == 302 || t->Status == 303 ||
                           t->Status == 307 || t->Status == 308);
    t->HeadersDone = !interim && !followed;
  }
  return total;
}

// Ends a transfer when the run asks to stop, or when it has moved no byte,
// either way, for the stall limit.
int OnProgress(void* userdata, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
  auto* t = static_cast<TTransfer*>(userdata);
  if (t->Stop && *t->Stop && (*t->Stop)()) {
    t->StopSeen = true;
    return 1;
  }
  const auto now = std::chrono::steady_clock::now();
  const curl_off_t bytes = dlnow + ulnow;
  if (bytes != t->LastBytes) {
    t->LastBytes = bytes;
    t->LastMove = now;
    return 0;
  }
  if (now - t->LastMove >= t->StallLimit) {
    t->Stalled = true;
    return 1;
  }
  return 0;
}

// Called before each request goes out, including those that follow a
// redirect: a reply seen earlier says nothing about this one.
int OnPreRequest(void* userdata, char*, char*, int, int) {
  auto* t = static_cast<TTransfer*>(userdata);
  t->HeadersDone = false;
  t->Http = false;
  t->Status = 0;
  return CURL_PREREQFUNC_OK;
}

// Errors that can happen after a complete reply header: the reply stands,
// its body is merely short.
bool IsErrorAfterReply(CURLcode code) {
  switch (code) {
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_READ_ERROR:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP2:
      return true;
    default:
      return false;
  }
}

struct TCurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

struct TMultiDeleter {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

// Runs the transfer of c to its end, looking at it at least every kPollMs
// (curl_easy_perform waits up to a second between looks).
CURLcode Perform(CURL* c) {
  std::unique_ptr<CURLM, TMultiDeleter> multi(curl_multi_init());
  if (!multi || curl_multi_add_handle(multi.get(), c) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
  CURLcode result = CURLE_OK;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
      result = CURLE_OUT_OF_MEMORY;
      break;
    }
    if (running == 0) {
      int left = 0;
      result = CURLE_RECV_ERROR;
      while (CURLMsg* m = curl_multi_info_read(multi.get(), &left))
        if (m->msg == CURLMSG_DONE && m->easy_handle == c) result = m->data.result;
      break;
    }
    if (curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr) != CURLM_OK) {
      result = CURLE_OUT_OF_MEMORY;
      break;
    }
  }
  curl_multi_remove_handle(multi.get(), c);
  return result;
}

}  // namespace

THttpClient::THttpClient(THttpSettings settings) : settings_(std::move(settings)) {
  GlobalInit();
}

std::string THttpClient::PrepareLink(const std::string& link) {
  if (!StartsWithNoCase(link, "http://") && !StartsWithNoCase(link, "https://") &&
      !StartsWithNoCase(link, "ftp://"))
    return {};
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(link.size());
  for (unsigned char c : link) {
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

TFetchResult THttpClient::Fetch(const std::string& link, IDownloadSink& sink) {
  return FetchWithin(link, sink, TTransferLimits{});
}

TFetchResult THttpClient::FetchWithin(const std::string& link, IDownloadSink& sink,
                                      const TTransferLimits& limits) {
  const std::string url = PrepareLink(link);
  if (url.empty()) return TFetchResult::NotOpened;
  std::unique_ptr<CURL, TCurlDeleter> curl(curl_easy_init());
  if (!curl) return TFetchResult::NotOpened;
  CURL* c = curl.get();

  TTransfer t;
  t.Sink = &sink;
  t.StallLimit = std::chrono::milliseconds(std::max(1L, limits.StallMs));
  t.LastMove = std::chrono::steady_clock::now();
  t.Stop = &limits.Stopped;
  char error[CURL_ERROR_SIZE] = {};
  bool ok = curl_easy_setopt(c, CURLOPT_URL, url.c_str()) == CURLE_OK;
  if (!ok) return TFetchResult::NotOpened;
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp");
  curl_easy_setopt(c, CURLOPT_USERAGENT, settings_.UserAgent.c_str());
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, settings_.MaxRedirects);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, settings_.ConnectTimeoutMs);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, std::max(1L, limits.TotalMs));
  // libcurl's own low-speed check averages over a few seconds; it stays as a
  // backstop behind the exact stall watch of OnProgress.
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, std::max(1L, limits.StallMs / 1000));
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &OnProgress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(c, CURLOPT_PREREQFUNCTION, &OnPreRequest);
  curl_easy_setopt(c, CURLOPT_PREREQDATA, &t);

  const CURLcode res = Perform(c);

  if (t.Abandoned) return TFetchResult::Abandoned;
  if (t.SinkStopped) return TFetchResult::StoppedBySink;
  if (t.StopSeen) return TFetchResult::Stopped;
  if (t.Rejected || (t.HeadersDone && !t.Success())) return TFetchResult::Rejected;
  if (res == CURLE_OK) return t.Open() ? TFetchResult::Completed : TFetchResult::Abandoned;
  if (res == CURLE_OPERATION_TIMEDOUT || (res == CURLE_ABORTED_BY_CALLBACK && t.Stalled))
    return TFetchResult::TimedOut;
  if (t.Opened || (t.HeadersDone && IsErrorAfterReply(res))) return TFetchResult::Ended;
  return TFetchResult::NotOpened;
}

}  // namespace qb
