// A small HTTP/1.1 server on 127.0.0.1 for the download tests. Each
// connection carries one request; a route writes the raw reply itself, so
// tests can send broken, endless or stalled replies.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qb::test {

class TTestHttpServer {
 public:
  struct Request {
    std::string Method;
    std::string Target;  // path and query, as sent
    std::string UserAgent;
  };

  // One connection, handed to a route.
  class Conn {
   public:
    Conn(int fd, TTestHttpServer& server) : fd_(fd), server_(server) {}
    // False once the client has gone away (or the server stops).
    bool Send(const std::string& data);
    // Status line, Content-Length when length >= 0, Connection: close.
    bool SendHead(int status, long long length, const std::string& extraHeaders = "");
    bool Reply(int status, const std::string& body, const std::string& extraHeaders = "");
    // Waits up to ms milliseconds; false when the server is stopping.
    bool Wait(int ms);

   private:
    int fd_;
    TTestHttpServer& server_;
  };
  using Route = std::function<void(const Request&, Conn&)>;

  TTestHttpServer();
  ~TTestHttpServer();
  TTestHttpServer(const TTestHttpServer&) = delete;
  TTestHttpServer& operator=(const TTestHttpServer&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" + path.
  std::string Url(const std::string& path) const;

  // Routes by path (the target up to "?"). Unrouted paths get a 404, or
  // the route set by OnOther.
  void On(const std::string& path, Route route);
  void OnOther(Route route);
  // A 200 reply with this body for the path.
  void Serve(const std::string& path, const std::string& body);

  std::vector<Request> Requests() const;
  std::vector<std::string> Targets() const;

  // A port on 127.0.0.1 where nothing listens.
  static int RefusedPort();

 private:
  void AcceptLoop();
  void Handle(int fd);

  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::map<std::string, Route> routes_;
  Route other_;
  std::vector<Request> requests_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

}  // namespace qb::test
