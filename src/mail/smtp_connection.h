// One SMTP connection carrying one message: HELO, MAIL FROM, RCPT TO, DATA,
// QUIT, each reply checked against the one code the dialogue expects. The
// dialogue and the reply reading are platform-neutral; the socket, the clock
// and the thread's last error come through SmtpTransport (Winsock in the
// module, a script in the tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "mail/smtp_message.h"

// <windows.h> renames SendMessage to SendMessageA; the method keeps its name
// in every file that includes this one.
#ifdef SendMessage
#undef SendMessage
#endif

namespace qvx::mail {

// The thread's last errors that the client sets itself.
inline constexpr unsigned long kErrorBadCommand = 22;    // ERROR_BAD_COMMAND: the server refused a step
inline constexpr unsigned long kErrorInvalid = 10022;    // WSAEINVAL: host unknown, address unusable
inline constexpr unsigned long kErrorProtocol = 10043;   // WSAEPROTONOSUPPORT: another reply code
inline constexpr unsigned long kErrorTimedOut = 10060;   // WSAETIMEDOUT: silence, or the server closed

class SmtpTransport {
 public:
  virtual ~SmtpTransport() = default;
  virtual bool Open() = 0;  // a TCP socket
  virtual bool IsOpen() const = 0;
  virtual void Close() = 0;
  // A dotted IPv4 address as it is, else the first address of the name.
  virtual bool Resolve(const std::string& host, uint32_t& address) = 0;
  virtual bool Connect(uint32_t address, int port) = 0;
  virtual bool Send(const char* data, size_t size) = 0;  // in one call
  virtual int Poll() = 0;                                // 1 readable, 0 not yet, -1 failed
  virtual long Recv(char* data, size_t size) = 0;        // bytes read, 0 closed, -1 failed
  virtual std::string HostName() = 0;      // the local host name; "" when it cannot be read
  virtual std::string LocalAddress() = 0;  // the connection's local end, dotted; "" when unknown
  virtual uint32_t Ticks() = 0;            // milliseconds, wrapping
  virtual void Sleep(uint32_t ms) = 0;
  virtual void SetLastError(unsigned long code) = 0;
};

// Where the first complete reply in text ends: the terminator after its last
// line (a line whose code is not followed by "-"), and where that line
// starts. end is npos while the reply is incomplete.
struct ReplyBounds {
  size_t lastLine = 0;
  size_t end = std::string_view::npos;
};
ReplyBounds FindReply(std::string_view text, std::string_view terminator);

// The decimal number in the first three characters of a reply line.
int ReplyCode(std::string_view line);

class CSMTPConnection {
 public:
  explicit CSMTPConnection(std::unique_ptr<SmtpTransport> transport);
  virtual ~CSMTPConnection();
  CSMTPConnection(const CSMTPConnection&) = delete;
  CSMTPConnection& operator=(const CSMTPConnection&) = delete;

  // Opens the socket, connects, reads the 220 greeting and says HELO with
  // the local host name (else the local address as "[a.b.c.d]", else
  // "localhost"). A refused greeting or HELO sends QUIT and closes.
  bool Connect(const std::string& host, int port);
  // MAIL FROM, RCPT TO for each recipient, DATA, header, body, end of data.
  // False (the connection stays open) when a send fails or a step is not
  // answered as expected (last error 22), or an envelope address holds CR or
  // LF (last error 10022, nothing sent).
  bool SendMessage(const CSMTPMessage& message);
  // QUIT and close; true only when the server answered 221.
  bool Disconnect();
  std::string LastReplyText() const { return lastReplyText_; }
  int LastReplyCode() const { return lastReplyCode_; }

  // Reads one reply into a 256-byte buffer that grows by 4096 bytes.
  virtual bool ReadReply(int expected);
  // Reads until a complete reply is in buffer (moved to a larger heap buffer
  // held by grown when it fills), then judges its code. Bytes after the
  // reply are kept for the next read. Fails after timeout ms of silence or
  // when the server closes (last error 10060), on another code (10043), or
  // when the socket fails; the text read so far becomes the last reply text.
  virtual bool ReadReplyText(char* buffer, size_t size, const char* terminator, int expected,
                             std::unique_ptr<char[]>& grown, size_t growth);

  static constexpr uint32_t kReplyTimeout = 60000;
  static constexpr uint32_t kPollPause = 250;
  // A reply never needs more; a server that sends more without ending it is
  // refused (last error 10043) instead of growing the buffer without bound.
  static constexpr size_t kReplyMax = 64 * 1024;

 private:
  bool SendText(const std::string& text) { return transport_->Send(text.data(), text.size()); }
  bool Command(const std::string& text, int expected);
  bool Fail(unsigned long error, const char* text, size_t size);

  std::unique_ptr<SmtpTransport> transport_;
  bool connected_ = false;
  std::string lastReplyText_;
  uint32_t replyTimeout_ = kReplyTimeout;
  int lastReplyCode_ = 0;
  std::string pending_;  // received after the end of the last reply
};

}  // namespace qvx::mail
