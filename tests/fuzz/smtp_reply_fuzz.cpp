// A whole mail exchange against a server whose every byte is the input: the
// replies come in pieces whose sizes the input's first byte sets, and the
// input may stop, close or fail anywhere. The exchange must end (the clock
// is simulated, so a silent server costs no time), never read past a reply
// or keep more than a reply may hold, and never report a refused step as
// accepted.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "mail/smtp_connection.h"

namespace {

using namespace qvx::mail;

struct Server : SmtpTransport {
  Server(const std::string& bytes, size_t piece) : rest(bytes), piece(piece) {}
  bool Open() override { return open = true; }
  bool IsOpen() const override { return open; }
  void Close() override { open = false; }
  bool Resolve(const std::string&, uint32_t& address) override { return address = 0x7F000001, true; }
  bool Connect(uint32_t, int) override { return true; }
  bool Send(const char*, size_t) override { return true; }
  int Poll() override { return rest.empty() ? 0 : 1; }
  long Recv(char* data, size_t size) override {
    if (rest.empty()) return 0;
    const size_t n = rest.copy(data, std::min(size, piece));
    rest.erase(0, n);
    return static_cast<long>(n);
  }
  std::string HostName() override { return "fuzz"; }
  std::string LocalAddress() override { return ""; }
  uint32_t Ticks() override { return now; }
  void Sleep(uint32_t ms) override { now += ms; }
  void SetLastError(unsigned long) override {}
  std::string rest;
  size_t piece;
  bool open = false;
  uint32_t now = 0;
};

struct NoClock : MailClock {
  bool Now(std::tm&, long&) const override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string replies(reinterpret_cast<const char*>(data) + 1, size - 1);

  // The reply parser alone: a complete reply ends inside the text, after its last line.
  const ReplyBounds bounds = FindReply(replies, "\r\n");
  if (bounds.end != std::string::npos && (bounds.end > replies.size() || bounds.lastLine > bounds.end)) __builtin_trap();

  CSMTPConnection connection(std::make_unique<Server>(replies, 1 + data[0] % 64));
  if (connection.Connect("correo.quorvex.es", 25)) {
    if (connection.LastReplyCode() != 250) __builtin_trap();  // HELO accepted
    NoClock clock;
    CSMTPMessage message(clock);
    message.m_From = {"Ana", "ana@x.es"};
    message.AddRecipient({"", "s@q.es"});
    message.SetBody("texto\n");
    if (connection.SendMessage(message) && connection.LastReplyCode() != 250) __builtin_trap();
    connection.Disconnect();
  }
  if (connection.LastReplyText().size() > CSMTPConnection::kReplyMax + 4096) __builtin_trap();
  return 0;
}
