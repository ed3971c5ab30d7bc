// The front end of a server that hears requests and never answers them: it
// either closes the connection after the request or leaves it open until the
// client gives up. One thread and poll(), so a stop is never held up.
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <vector>

#include "front.h"
#include "request_text.h"
#include "update_handler.h"

namespace qvx::server {

namespace {

constexpr size_t kMaxHead = 16384;
constexpr int kPollMs = 50;

struct Connection {
  int fd = -1;
  std::string head;
  bool heard = false;  // the request has been read and logged
};

class SilentFront : public Front {
 public:
  SilentFront(const ServerOptions& options, const Release& release, RequestLog& log)
      : options_(options), release_(release), log_(log) {}
  ~SilentFront() override {
    for (Connection& c : connections_) close(c.fd);
    if (listener_ >= 0) close(listener_);
  }

  int Bind(const std::string& host, int port) override {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
    listener_ = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    const bool bound = listener_ >= 0 && setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
                       bind(listener_, found->ai_addr, found->ai_addrlen) == 0 && listen(listener_, 16) == 0;
    freeaddrinfo(found);
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (!bound || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) return -1;
    char service[16] = "";
    if (getnameinfo(reinterpret_cast<sockaddr*>(&address), size, nullptr, 0, service, sizeof service,
                    NI_NUMERICSERV) != 0)
      return -1;
    return std::stoi(service);
  }

  bool Run() override {
    while (!stopping_) {
      std::vector<pollfd> watched{{listener_, POLLIN, 0}};
      for (const Connection& c : connections_) watched.push_back({c.fd, POLLIN, 0});
      if (poll(watched.data(), watched.size(), kPollMs) < 0 && errno != EINTR) return false;
      for (size_t i = watched.size() - 1; i > 0; --i)
        if (watched[i].revents != 0) Read(i - 1);
      if (watched[0].revents & POLLIN) {
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) connections_.push_back({fd, std::string(), false});
      }
    }
    return true;
  }

  void Stop() override { stopping_ = true; }

 private:
  void Read(size_t index) {
    Connection& c = connections_[index];
    char buffer[4096];
    const ssize_t got = recv(c.fd, buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    const bool ended = got <= 0;
    if (!c.heard && !ended) c.head.append(buffer, static_cast<size_t>(got));
    const bool whole = c.head.find("\r\n\r\n") != std::string::npos || c.head.size() >= kMaxHead;
    if (!c.heard && !c.head.empty() && (ended || whole)) {
      Hear(c);
      if (options_.transport == Transport::CloseWithoutReply) return Drop(index);
    }
    if (ended) Drop(index);
  }

  // Logs the request as the normal server would have answered it.
  void Hear(Connection& c) {
    c.heard = true;
    Request request;
    if (const std::optional<RequestHead> head = ParseRequestHead(c.head)) {
      request.method = head->method;
      std::tie(request.path, request.query) = SplitTarget(head->target);
      request.userAgent = head->userAgent;
    }
    request.time = std::time(nullptr);
    log_.Write(HandleRequest(release_, options_.handler, request).logLine + " (no reply)");
    c.head.clear();
  }

  void Drop(size_t index) {
    close(connections_[index].fd);
    connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(index));
  }

  const ServerOptions& options_;
  const Release& release_;
  RequestLog& log_;
  int listener_ = -1;
  std::vector<Connection> connections_;
  std::atomic<bool> stopping_{false};
};

}  // namespace

std::unique_ptr<Front> MakeSilentFront(const ServerOptions& options, const Release& release, RequestLog& log) {
  return std::make_unique<SilentFront>(options, release, log);
}

}  // namespace qvx::server
