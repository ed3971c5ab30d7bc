#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "mail/smtp_connection.h"
#include "mail/smtp_message.h"

namespace qvx::mail {
namespace {

// What the scripted server does next, in order: bytes, silence of a while
// (or for ever when last), a close, a failed select or a failed recv.
struct Event {
  enum Kind { Data, Pause, Close, PollFails, RecvFails } kind = Data;
  std::string bytes;
  long ms = 0;
};
Event D(std::string bytes) { return {Event::Data, std::move(bytes), 0}; }
Event Pause(long ms) { return {Event::Pause, "", ms}; }
const Event kClose{Event::Close, "", 0}, kPollFails{Event::PollFails, "", 0}, kRecvFails{Event::RecvFails, "", 0};

// What the client did, kept outside the transport, which the connection owns.
struct Log {
  std::vector<std::string> sent;
  unsigned long lastError = 0;
  uint32_t now = 0;
  bool open = false;
  int closes = 0;
};

struct Script {
  std::vector<Event> events;
  bool openFails = false, resolveFails = false, connectFails = false;
  int failSend = 0;  // the Nth send (1-based) fails
  std::string hostName = "pc-ana", localAddress = "127.0.0.1";
};

class FakeTransport : public SmtpTransport {
 public:
  FakeTransport(const Script& s, Log& log) : script_(s), events_(s.events.begin(), s.events.end()), log_(log) {}
  bool Open() override { return log_.open = !script_.openFails; }
  bool IsOpen() const override { return log_.open; }
  void Close() override { log_.open = false, ++log_.closes; }
  bool Resolve(const std::string&, uint32_t& address) override { return address = 1, !script_.resolveFails; }
  bool Connect(uint32_t, int) override { return !script_.connectFails; }
  bool Send(const char* data, size_t size) override {
    log_.sent.emplace_back(data, size);
    return static_cast<int>(log_.sent.size()) != script_.failSend;
  }
  int Poll() override {
    if (events_.empty() || events_.front().kind == Event::Pause) return 0;
    return events_.front().kind == Event::PollFails ? -1 : 1;
  }
  long Recv(char* data, size_t size) override {
    Event& e = events_.front();
    if (e.kind != Event::Data) return e.kind == Event::Close ? 0 : -1;
    const size_t n = std::min(size, e.bytes.size());
    e.bytes.copy(data, n);
    e.bytes.erase(0, n);
    if (e.bytes.empty()) events_.pop_front();
    return static_cast<long>(n);
  }
  std::string HostName() override { return script_.hostName; }
  std::string LocalAddress() override { return script_.localAddress; }
  uint32_t Ticks() override { return log_.now; }
  void Sleep(uint32_t ms) override {
    log_.now += ms;
    if (!events_.empty() && events_.front().kind == Event::Pause && (events_.front().ms -= ms) <= 0)
      events_.pop_front();
  }
  void SetLastError(unsigned long code) override { log_.lastError = code; }

 private:
  Script script_;
  std::deque<Event> events_;
  Log& log_;
};

struct FixedClock : MailClock {
  bool works = true;
  bool Now(std::tm& local, long& bias) const override {
    local = std::tm{};
    local.tm_year = 118, local.tm_mon = 8, local.tm_mday = 4, local.tm_wday = 2;
    local.tm_hour = 10, local.tm_min = 15;
    bias = -120;
    return works;
  }
};

TEST(ReadReply, Cases) {
  const std::string big = "554 " + std::string(296, 'x');  // 300 bytes before the line break
  struct Case {
    const char* name;
    std::vector<Event> events;
    int expected;
    bool result;
    unsigned long error;
    std::string text;  // the last reply text
    uint32_t elapsed;
    int next = 0;  // a second read that the leftover bytes must satisfy
  } cases[] = {
      {"one line", {D("220 ready\r\n")}, 220, true, 0, "", 0},
      {"a line in pieces, with pauses", {D("22"), Pause(500), D("0 re"), D("ady\r\n")}, 220, true, 0, "", 500},
      {"another code", {D("554 no service\r\n")}, 220, false, kErrorProtocol, "554 no service", 0},
      {"multi-line greeting read whole", {D("220-uno\r\n220-dos\r\n"), Pause(250), D("220 tres\r\n")}, 220, true, 0,
       "", 250},
      {"multi-line judged by its last line", {D("220-uno\r\n554 no\r\n")}, 220, false, kErrorProtocol,
       "220-uno\r\n554 no", 0},
      {"300 bytes grow the buffer", {D(big + "\r\n")}, 220, false, kErrorProtocol, big, 0},
      {"the next reply starts after this one", {D("250 a\r\n251 b\r\n")}, 250, true, 0, "", 0, 251},
      {"silence: 60 s after the last byte", {Pause(1000), D("2"), Pause(100000)}, 220, false, kErrorTimedOut, "2",
       61250},
      {"59.75 s of silence is waited out", {Pause(59750), D("220 x\r\n")}, 220, true, 0, "", 59750},
      {"silence for ever", {}, 220, false, kErrorTimedOut, "", 60250},
      {"the server closes: at once", {D("22"), kClose}, 220, false, kErrorTimedOut, "22", 0},
      {"select fails", {D("2"), kPollFails}, 220, false, 0, "2", 0},
      {"recv fails", {kRecvFails}, 220, false, 0, "", 0},
  };
  for (const Case& c : cases) {
    Log log;
    Script script;
    script.events = c.events;
    CSMTPConnection connection(std::make_unique<FakeTransport>(script, log));
    EXPECT_EQ(connection.ReadReply(c.expected), c.result) << c.name;
    EXPECT_EQ(log.lastError, c.error) << c.name;
    EXPECT_EQ(connection.LastReplyText(), c.text) << c.name;
    EXPECT_EQ(log.now, c.elapsed) << c.name;
    if (c.next) {
      EXPECT_TRUE(connection.ReadReply(c.next)) << c.name << ": second read";
    }
  }
}

TEST(FindReply, Bounds) {
  struct Case {
    const char* text;
    size_t lastLine, end;
  } cases[] = {
      {"250 ok\r\n", 0, 6},          {"250 ok", 0, std::string::npos},   {"250-a\r\n250 b\r\n", 7, 12},
      {"250-a\r\n250", 0, std::string::npos}, {"25\r\n", 0, 2},          {"250 a\r\n251 b\r\n", 0, 5},
  };
  for (const Case& c : cases) {
    const ReplyBounds b = FindReply(c.text, "\r\n");
    EXPECT_EQ(b.end, c.end) << c.text;
    if (b.end != std::string::npos) {
      EXPECT_EQ(b.lastLine, c.lastLine) << c.text;
    }
  }
}

// First lines of what the client sent, "|" between sends.
std::string Trace(const std::vector<std::string>& sent) {
  std::string trace;
  for (const std::string& s : sent) {
    const size_t start = s.find_first_not_of("\r\n");
    trace += (trace.empty() ? "" : "|") + (start == std::string::npos ? "" : s.substr(start, s.find("\r\n", start) - start));
  }
  return trace;
}

TEST(Dialogue, Cases) {
  const std::string toData = "220 a\r\n250 b\r\n250 c\r\n250 d\r\n354 e\r\n";
  const std::string ok = "220 hola\r\n250 hola\r\n250 ok\r\n250 ok\r\n354 go\r\n250 queued\r\n";
  const char* whole = "HELO pc-ana|MAIL FROM:<ana@x.es>|RCPT TO:<s@q.es>|DATA|From: Ana <ana@x.es>|..linea|.|QUIT";
  struct Case {
    const char* name;
    Script script;
    std::string from;
    bool connect, send, disconnect;
    unsigned long error;
    std::string trace;
    uint32_t elapsed = 0;
  } cases[] = {
      {"a whole exchange", {{D(ok + "221 bye\r\n")}}, "ana@x.es", true, true, true, 0, whole},
      {"QUIT not answered", {{D(ok)}}, "ana@x.es", true, true, false, kErrorBadCommand, whole, 60250},
      {"QUIT answered 250", {{D(ok + "250 eh\r\n")}}, "ana@x.es", true, true, false, kErrorBadCommand, whole},
      {"554 greeting, QUIT answered", {{D("554 no\r\n221 bye\r\n")}}, "", false, false, false, kErrorProtocol, "QUIT"},
      {"554 greeting, QUIT not answered", {{D("554 no\r\n")}}, "", false, false, false, kErrorBadCommand, "QUIT",
       60250},
      {"silent greeting", {{}}, "", false, false, false, kErrorBadCommand, "QUIT", 120500},
      {"HELO refused", {{D("220 a\r\n501 b\r\n221 c\r\n")}}, "", false, false, false, kErrorProtocol, "HELO pc-ana|QUIT"},
      {"HELO not sent", {{D("220 a\r\n221 c\r\n")}, false, false, false, 1}, "", false, false, false, 0, "HELO pc-ana|QUIT"},
      {"no host name: the local address", {{D("220 a\r\n250 b\r\n221 c\r\n")}, false, false, false, 0, ""}, "",
       true, false, true, 0, "HELO [127.0.0.1]|QUIT"},
      {"neither name nor address", {{D("220 a\r\n250 b\r\n221 c\r\n")}, false, false, false, 0, "", ""}, "", true,
       false, true, 0, "HELO localhost|QUIT"},
      {"no socket", {{}, true}, "", false, false, false, 0, ""},
      {"unknown host", {{}, false, true}, "", false, false, false, kErrorInvalid, ""},
      {"connect refused", {{}, false, false, true}, "", false, false, false, 0, ""},
      {"MAIL FROM refused", {{D("220 a\r\n250 b\r\n550 c\r\n221 d\r\n")}}, "ana@x.es", true, false, true,
       kErrorBadCommand, "HELO pc-ana|MAIL FROM:<ana@x.es>|QUIT"},
      {"MAIL FROM not sent", {{D("220 a\r\n250 b\r\n221 d\r\n")}, false, false, false, 2}, "ana@x.es", true, false,
       true, 0, "HELO pc-ana|MAIL FROM:<ana@x.es>|QUIT"},
      {"251 to RCPT TO fails", {{D("220 a\r\n250 b\r\n250 c\r\n251 d\r\n221 e\r\n")}}, "ana@x.es", true, false, true,
       kErrorBadCommand, "HELO pc-ana|MAIL FROM:<ana@x.es>|RCPT TO:<s@q.es>|QUIT"},
      {"DATA refused", {{D("220 a\r\n250 b\r\n250 c\r\n250 d\r\n503 e\r\n221 f\r\n")}}, "ana@x.es", true, false,
       true, kErrorBadCommand, "HELO pc-ana|MAIL FROM:<ana@x.es>|RCPT TO:<s@q.es>|DATA|QUIT"},
      {"header not sent", {{D(toData + "221 f\r\n")}, false, false, false, 5}, "ana@x.es", true, false, true, 0,
       "HELO pc-ana|MAIL FROM:<ana@x.es>|RCPT TO:<s@q.es>|DATA|From: Ana <ana@x.es>|QUIT"},
      {"body not sent", {{D(toData + "221 f\r\n")}, false, false, false, 6}, "ana@x.es", true, false, true, 0,
       "HELO pc-ana|MAIL FROM:<ana@x.es>|RCPT TO:<s@q.es>|DATA|From: Ana <ana@x.es>|..linea|QUIT"},
      {"end of data refused", {{D("220 a\r\n250 b\r\n250 c\r\n250 d\r\n354 e\r\n554 f\r\n221 g\r\n")}}, "ana@x.es",
       true, false, true, kErrorBadCommand,
       "HELO pc-ana|MAIL FROM:<ana@x.es>|RCPT TO:<s@q.es>|DATA|From: Ana <ana@x.es>|..linea|.|QUIT"},
      {"a line break in the envelope", {{D("220 a\r\n250 b\r\n221 c\r\n")}}, "ana@x.es\r\nRCPT TO:<z@z.es>", true,
       false, true, kErrorInvalid, "HELO pc-ana|QUIT"},
  };
  FixedClock clock;
  for (const Case& c : cases) {
    Log log;
    bool connected = false, sent = false, disconnected = false;
    {
      CSMTPConnection connection(std::make_unique<FakeTransport>(c.script, log));
      connected = connection.Connect("correo.quorvex.es", 25);
      if (connected && !c.from.empty()) {
        CSMTPMessage message(clock);
        message.m_From = {"Ana", c.from};
        message.AddRecipient({"", "s@q.es"});
        message.SetBody(".linea\n");
        sent = connection.SendMessage(message);
      }
      if (connected) disconnected = connection.Disconnect();
    }  // a connection still open says QUIT as it goes
    EXPECT_EQ(connected, c.connect) << c.name;
    EXPECT_EQ(sent, c.send) << c.name;
    EXPECT_EQ(disconnected, c.disconnect) << c.name;
    EXPECT_EQ(log.lastError, c.error) << c.name;
    EXPECT_EQ(Trace(log.sent), c.trace) << c.name;
    EXPECT_EQ(log.now, c.elapsed) << c.name;
    EXPECT_FALSE(log.open) << c.name << ": the socket outlived the connection";
  }
}

TEST(BuildHeader, Cases) {
  const std::string tail = "Date: Tue, 04 Sep 2018 10:15:00 +0200\r\nX-Mailer: Quorvex_SMTP v1.3\r\n"
                           "MIME-Version: 1.0\r\nContent-type: text/plain; charset=ISO-8859-1\r\n\r\n";
  struct Case {
    const char* name;
    CSMTPAddress from;
    std::vector<CSMTPAddress> to;
    std::string subject, expected;
    bool clockWorks = true;
  } cases[] = {
      {"named sender, support twice", {"Ana P\xe9rez", "ana@x.es"}, {{"s@q.es", "s@q.es"}}, "Petici\xf3n",
       "From: Ana P\xe9rez <ana@x.es>\r\nTo: s@q.es <s@q.es>\r\nSubject: Petici\xf3n\r\n" + tail},
      {"bare addresses, two recipients", {"", "ana@x.es"}, {{"", "a@q.es"}, {"B", "b@q.es"}}, "",
       "From: ana@x.es\r\nTo: a@q.es,B <b@q.es>\r\nSubject: \r\n" + tail},
      {"line breaks become blanks", {"Ana\r\nBcc: x@y.es", "ana@x.es"}, {{"", "s@q.es"}}, "a\nb\rc",
       "From: Ana  Bcc: x@y.es <ana@x.es>\r\nTo: s@q.es\r\nSubject: a b c\r\n" + tail},
      {"no clock, no date", {"", "a@x.es"}, {{"", "s@q.es"}}, "s",
       "From: a@x.es\r\nTo: s@q.es\r\nSubject: s\r\nDate: \r\nX-Mailer: Quorvex_SMTP v1.3\r\n"
       "MIME-Version: 1.0\r\nContent-type: text/plain; charset=ISO-8859-1\r\n\r\n",
       false},
  };
  for (const Case& c : cases) {
    FixedClock clock;
    clock.works = c.clockWorks;
    CSMTPMessage message(clock);
    message.m_From = c.from;
    message.m_sSubject = c.subject;
    for (size_t i = 0; i < c.to.size(); ++i) EXPECT_EQ(message.AddRecipient(c.to[i]), static_cast<int>(i));
    EXPECT_EQ(message.BuildHeader(), c.expected) << c.name;
  }
}

TEST(ZoneText, Cases) {
  struct Case {
    long bias;
    const char* expected;
  } cases[] = {{-60, "+0100"}, {-120, "+0200"}, {300, "-0500"}, {210, "-0330"}, {-330, "+0530"},
               {0, "+0000"},   {30, "-0030"},   {-765, "+1245"}, {720, "-1200"}};
  for (const Case& c : cases) EXPECT_EQ(ZoneText(c.bias), c.expected) << "bias " << c.bias;
}

TEST(DataBodyText, Cases) {
  struct Case {
    const char* name;
    std::string text, expected;
  } cases[] = {
      {"no period at a line start: only line ends change", "a.b\nc. d\n", "a.b\r\nc. d\r\n"},
      {"a line that begins with a period", "a\n.b\n", "a\r\n..b\r\n"},
      {"the body begins with a period", ".x", "..x"},
      {"CRLF stays", "a\r\nb\r\n", "a\r\nb\r\n"},
      {"a lone CR cannot fake the end of data", "a\r.\rb", "a\r\n..\r\nb"},
      {"LF CR is two line ends", "a\n\rb", "a\r\n\r\nb"},
      {"a whole end of data inside", "x\r\n.\r\ny", "x\r\n..\r\ny"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DataBodyText(c.text), c.expected) << c.name;
}

TEST(CheckMailAddress, Cases) {
  struct Case {
    const char* address;
    bool ok;
  } cases[] = {
      {"ana@x.es", true},    {"a.b@cd", true},      {"a@b.c", false},       {"ana@xes", false},
      {"a@@x.es", false},    {"ana@x@y.es", false}, {"@anax.es", false},    {"anax.es@", false},
      {"ana @x.es", false},  {"ana@x.es\r\n", false}, {"<ana@x.es>", false}, {"ana@x.es\nRCPT", false},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckMailAddress(c.address), c.ok) << c.address;
}

}  // namespace
}  // namespace qvx::mail
