// A scripted mail server, shared by the native test and the fuzz target.
#pragma once

#include <deque>

#include "mail/smtp_connection.h"

namespace qvx::mail {

// The server's next move: bytes ("" closes, "!poll" and "!recv" make that call fail), or ms of silence.
struct Event { std::string bytes; long ms = 0; };

// The script, and what the client did: the first line of each send ("|" between), each error set.
struct Peer {
  std::deque<Event> events;
  int failSend = 0;  // the Nth send (1-based) fails; counts down
  std::string hostName = "pc-ana", localAddress = "127.0.0.1";
  bool resolves = true, open = false;
  std::string sent = "", errors = "";
  uint32_t now = 0;
};

struct FakeTransport : SmtpTransport {
  explicit FakeTransport(Peer& peer) : p(peer) {}
  bool Open() override { return p.open = true; }
  bool IsOpen() const override { return p.open; }
  void Close() override { p.open = false; }
  bool Resolve(const std::string&, uint32_t&) override { return p.resolves; }
  bool Connect(uint32_t, int) override { return true; }
  bool Send(const char* data, size_t size) override {
    const std::string text(data, size);
    const size_t start = text.find_first_not_of("\r\n");
    p.sent += (p.sent.empty() ? "" : "|") + text.substr(start, text.find("\r\n", start) - start);
    return --p.failSend != 0;
  }
  int Poll() override {
    if (p.events.empty() || p.events.front().ms > 0) return 0;
    return p.events.front().bytes == "!poll" ? -1 : 1;
  }
  long Recv(char* data, size_t size) override {
    Event& e = p.events.front();
    if (e.bytes.empty() || e.bytes == "!recv") return e.bytes.empty() ? 0 : -1;
    const size_t n = e.bytes.copy(data, size);
    if (e.bytes.erase(0, n).empty()) p.events.pop_front();
    return static_cast<long>(n);
  }
  std::string HostName() override { return p.hostName; }
  std::string LocalAddress() override { return p.localAddress; }
  uint32_t Ticks() override { return p.now; }
  void Sleep(uint32_t ms) override {
    p.now += ms;
    if (!p.events.empty() && p.events.front().ms > 0 && (p.events.front().ms -= ms) <= 0) p.events.pop_front();
  }
  void SetLastError(unsigned long code) override { p.errors += std::to_string(code) + " "; }
  Peer& p;
};

struct NoClock : MailClock { bool Now(std::tm&, long&) const override { return false; } };

}  // namespace qvx::mail
