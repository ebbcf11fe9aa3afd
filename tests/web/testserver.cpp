#include "tests/web/testserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace qb::test {

namespace {

int Listen127(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    throw std::runtime_error("bind");
  }
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}

std::string StatusText(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

}  // namespace

bool TTestHttpServer::Conn::Send(const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    if (server_.stopping_) return false;
    ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool TTestHttpServer::Conn::SendHead(int status, long long length,
                                     const std::string& extraHeaders) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) + "\r\n";
  if (length >= 0) head += "Content-Length: " + std::to_string(length) + "\r\n";
  head += extraHeaders;
  head += "Connection: close\r\n\r\n";
  return Send(head);
}

bool TTestHttpServer::Conn::Reply(int status, const std::string& body,
                                  const std::string& extraHeaders) {
  return SendHead(status, static_cast<long long>(body.size()), extraHeaders) && Send(body);
}

bool TTestHttpServer::Conn::Wait(int ms) {
  std::unique_lock<std::mutex> lock(server_.mutex_);
  server_.wake_.wait_for(lock, std::chrono::milliseconds(ms),
                         [&] { return server_.stopping_.load(); });
  return !server_.stopping_;
}

TTestHttpServer::TTestHttpServer() {
  listen_ = Listen127(port_);
  if (::listen(listen_, 16) != 0) {
    ::close(listen_);
    throw std::runtime_error("listen");
  }
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

TTestHttpServer::~TTestHttpServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    workers.swap(workers_);
  }
  for (std::thread& t : workers) t.join();
  ::close(listen_);
}

std::string TTestHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TTestHttpServer::On(const std::string& path, Route route) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = std::move(route);
}

void TTestHttpServer::OnOther(Route route) {
  std::lock_guard<std::mutex> lock(mutex_);
  other_ = std::move(route);
}

void TTestHttpServer::Serve(const std::string& path, const std::string& body) {
  On(path, [body](const Request&, Conn& c) { c.Reply(200, body); });
}

std::vector<TTestHttpServer::Request> TTestHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::vector<std::string> TTestHttpServer::Targets() const {
  std::vector<std::string> r;
  for (const Request& q : Requests()) r.push_back(q.Target);
  return r;
}

int TTestHttpServer::RefusedPort() {
  int port = 0;
  int fd = Listen127(port);  // bound but never listening: connections are refused
  ::close(fd);
  return port;
}

void TTestHttpServer::AcceptLoop() {
  while (!stopping_) {
    pollfd p{listen_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    workers_.emplace_back([this, fd] {
      Handle(fd);
      ::close(fd);
    });
  }
}

void TTestHttpServer::Handle(int fd) {
  std::string head;
  char buf[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    pollfd p{fd, POLLIN, 0};
    if (stopping_) return;
    if (::poll(&p, 1, 50) <= 0) continue;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return;
    head.append(buf, static_cast<std::size_t>(n));
  }
  Request req;
  std::size_t sp1 = head.find(' ');
  std::size_t sp2 = head.find(' ', sp1 + 1);
  if (sp1 == std::string::npos || sp2 == std::string::npos) return;
  req.Method = head.substr(0, sp1);
  req.Target = head.substr(sp1 + 1, sp2 - sp1 - 1);
  if (std::size_t ua = head.find("\r\nUser-Agent: "); ua != std::string::npos) {
    std::size_t end = head.find("\r\n", ua + 2);
    req.UserAgent = head.substr(ua + 14, end - ua - 14);
  }
  Route route;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(req);
    auto it = routes_.find(req.Target.substr(0, req.Target.find('?')));
    route = it != routes_.end() ? it->second : other_;
  }
  Conn conn(fd, *this);
  if (route)
    route(req, conn);
  else
    conn.Reply(404, "<html>no such page</html>");
}

}  // namespace qb::test
