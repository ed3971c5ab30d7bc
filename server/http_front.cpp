#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <thread>

#include "front.h"
#include "request_text.h"
#include "update_handler.h"

namespace qvx::server {

namespace {

constexpr size_t kSlowPieces = 8;

class HttpFront : public Front {
 public:
  HttpFront(const ServerOptions& options, const Release& release, RequestLog& log)
      : options_(options), release_(release), log_(log) {
    // Idle keep-alive connections must not hold up a stop for long.
    server_.set_keep_alive_timeout(1);
    // The library would share the port (SO_REUSEPORT) with a second server
    // started by mistake; this one must fail instead.
    server_.set_socket_options([](int sock) {
      const int on = 1;
      setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    });
    // Every method and path goes to the handler, which answers all of them.
    server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      Answer(req, res);
      return httplib::Server::HandlerResponse::Handled;
    });
  }

  int Bind(const std::string& host, int port) override {
    if (port == 0) return server_.bind_to_any_port(host);
    return server_.bind_to_port(host, port) ? port : -1;
  }
  bool Run() override { return server_.listen_after_bind(); }
  void Stop() override {
    stopping_ = true;
    server_.stop();
  }

 private:
  void Answer(const httplib::Request& req, httplib::Response& res) {
    Request request;
    request.method = req.method;
    std::tie(request.path, request.query) = SplitTarget(req.target);
    request.userAgent = req.get_header_value("User-Agent");
    request.time = std::time(nullptr);
    const Reply reply = HandleRequest(release_, options_.handler, request);
    log_.Write(reply.logLine);

    res.status = reply.status;
    const bool installer = reply.outcome == "installer" || reply.outcome == "package";
    if (reply.body.empty() || options_.transport == Transport::Normal ||
        (options_.transport == Transport::ShortDownload && !installer)) {
      res.set_content(reply.body, reply.contentType);
      return;
    }
    auto body = std::make_shared<const std::string>(reply.body);
    if (options_.transport == Transport::SlowBody) {
      const size_t piece = (body->size() + kSlowPieces - 1) / kSlowPieces;
      res.set_content_provider(body->size(), reply.contentType,
                               [this, body, piece](size_t offset, size_t length, httplib::DataSink& sink) {
                                 if (!Pause()) return false;
                                 return sink.write(body->data() + offset, std::min(piece, length));
                               });
    } else if (options_.transport == Transport::NoLength) {
      // Chunked: the whole body, and no Content-Length.
      res.set_chunked_content_provider(reply.contentType, [body](size_t offset, httplib::DataSink& sink) {
        if (offset < body->size()) return sink.write(body->data() + offset, body->size() - offset);
        sink.done();
        return true;
      });
    } else {
      // Content-Length announces the whole body; half of it goes out, then
      // the provider fails and the connection is closed.
      res.set_content_provider(body->size(), reply.contentType,
                               [body](size_t offset, size_t, httplib::DataSink& sink) {
                                 const size_t half = body->size() / 2;
                                 return offset < half && sink.write(body->data(), half);
                               });
    }
  }

  // Waits the slow body's pause; false when the server is stopping.
  bool Pause() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.slowBodyMs);
    while (std::chrono::steady_clock::now() < end) {
      if (stopping_) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !stopping_;
  }

  const ServerOptions& options_;
  const Release& release_;
  RequestLog& log_;
  httplib::Server server_;
  std::atomic<bool> stopping_{false};
};

}  // namespace

std::unique_ptr<Front> MakeHttpFront(const ServerOptions& options, const Release& release, RequestLog& log) {
  return std::make_unique<HttpFront>(options, release, log);
}

}  // namespace qvx::server
