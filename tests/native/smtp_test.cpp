#include <gtest/gtest.h>

#include "mail/smtp_message.h"
#include "smtp_fake.h"

using namespace qvx::mail;

// The server's moves, the client's sends and what came of them; a reply may keep silent 60 s after its last byte.
TEST(Dialogue, Cases) {
  const std::string hello = "220 a\r\n250 b\r\n", helo = hello + "221 c\r\n", heloQuit = "HELO pc-ana|QUIT";
  const std::string toData = hello + "250 c\r\n250 d\r\n354 e\r\n", ok = toData + "250 f\r\n";
  const std::string envelope = "HELO pc-ana|MAIL FROM:<ana@x.es>|RCPT TO:<s@q.es>", upToData = envelope + "|DATA";
  const std::string whole = upToData + "|From: Ana <ana@x.es>|..linea|.|QUIT";
  // from: "" stops after HELO; result: 0 no connection, 1 not sent, 2 sent, 3 sent and QUIT answered
  struct { const char* name; Peer peer; std::string from; int result; std::string errors, sent; uint32_t elapsed = 0; }
  cases[] = {
      {"a whole exchange, replies read one by one", {{{ok + "221 g\r\n"}}}, "ana@x.es", 3, "", whole},
      {"a greeting in pieces", {{{"22"}, {"", 500}, {"0 x"}, {"\r\n250 b\r\n221 c\r\n"}}}, "", 1, "", heloQuit, 500},
      {"a multi-line greeting", {{{"220-a\r\n220-b\r\n"}, {"", 250}, {helo}}}, "", 1, "", heloQuit, 250},
      {"multi-line, judged by its last line", {{{"220-a\r\n554 b\r\n221 c\r\n"}}}, "", 0, "10043 ", "QUIT"},
      {"a 300-byte greeting", {{{"220 " + std::string(296, 'x') + "\r\n250 b\r\n221 c\r\n"}}}, "", 1, "", heloQuit},
      {"endless, refused at 64 KiB", {{{std::string(70000, 'x')}, {""}}}, "", 0, "10043 10060 22 ", "QUIT"},
      {"60 s of silence, twice", {{{"", 1000}, {"2"}, {"", 200000}}}, "", 0, "10060 10060 22 ", "QUIT", 121500},
      {"the server closes: at once", {{{"22"}, {""}}}, "", 0, "10060 10060 22 ", "QUIT"},
      {"select fails", {{{"2"}, {"!poll"}}}, "", 0, "22 ", "QUIT"},
      {"recv fails", {{{"!recv"}}}, "", 0, "22 ", "QUIT"},
      {"QUIT not answered", {{{ok}}}, "ana@x.es", 2, "10060 22 ", whole, 60250},
      {"QUIT answered 250", {{{ok + "250 g\r\n"}}}, "ana@x.es", 2, "10043 22 ", whole},
      {"HELO refused", {{{"220 a\r\n501 b\r\n221 c\r\n"}}}, "", 0, "10043 ", heloQuit},
      {"no host name: the local address", {{{helo}}, 0, ""}, "", 1, "", "HELO [127.0.0.1]|QUIT"},
      {"neither name nor address", {{{helo}}, 0, "", ""}, "", 1, "", "HELO localhost|QUIT"},
      {"unknown host", {{}, 0, "", "", false}, "", 0, "10022 ", ""},
      {"251 to RCPT TO", {{{hello + "250 c\r\n251 d\r\n221 e\r\n"}}}, "ana@x.es", 1, "10043 22 ", envelope + "|QUIT"},
      {"the header not sent", {{{toData + "221 g\r\n"}}, 5}, "ana@x.es", 1, "", upToData + "|From: Ana <ana@x.es>|QUIT"},
      {"end of data refused", {{{toData + "554 f\r\n221 g\r\n"}}}, "ana@x.es", 1, "10043 22 ", whole},
      {"a line end in the envelope", {{{helo}}}, "a@x.es\r\nRCPT TO:<z@z.es>", 1, "10022 ", heloQuit},
  };
  NoClock clock;
  for (const auto& c : cases) {
    Peer peer = c.peer;
    int result = 0;
    {
      CSMTPConnection connection(std::make_unique<FakeTransport>(peer));
      if (connection.Connect("correo.quorvex.es", 25)) {
        result = 1;
        CSMTPMessage message(clock);
        message.m_From = {"Ana", c.from};
        message.AddRecipient({"", "s@q.es"});
        message.SetBody(".linea\n");
        if (!c.from.empty() && connection.SendMessage(message)) result = 2 + connection.Disconnect();
      }
    }  // a connection still open says QUIT as it goes
    EXPECT_EQ(std::tie(c.result, c.errors, c.sent, c.elapsed), std::tie(result, peer.errors, peer.sent, peer.now))
        << c.name;
    EXPECT_FALSE(peer.open) << c.name << ": the socket outlived the connection";
  }
}

TEST(Message, HeaderBodyAndAddressCheck) {
  struct : MailClock {
    bool Now(std::tm& local, long& bias) const override {
      local = std::tm{};
      local.tm_year = 118, local.tm_mon = 8, local.tm_mday = 4, local.tm_wday = 2, local.tm_hour = 10;
      return bias = -120, true;
    }
  } fixed;
  const NoClock none;
  const std::string tail = "X-Mailer: Quorvex_SMTP v1.3\r\nMIME-Version: 1.0\r\n"
                           "Content-type: text/plain; charset=ISO-8859-1\r\n\r\n";
  const std::string date = "Date: Tue, 04 Sep 2018 10:00:00 +0200\r\n" + tail;
  struct { const char* name; const MailClock& clock; CSMTPAddress from; std::vector<CSMTPAddress> to;
           std::string subject, expected; } cases[] = {
      {"bare addresses, two recipients", fixed, {"", "ana@x.es"}, {{"", "a@q.es"}, {"B", "b@q.es"}}, "",
       "From: ana@x.es\r\nTo: a@q.es,B <b@q.es>\r\nSubject: \r\n" + date},
      {"line ends become blanks", fixed, {"Ana\r\nBcc: x@y.es", "ana@x.es"}, {{"", "s@q.es"}}, "a\nb\rc",
       "From: Ana  Bcc: x@y.es <ana@x.es>\r\nTo: s@q.es\r\nSubject: a b c\r\n" + date},
      {"no clock, an empty date", none, {"", "a@x.es"}, {{"", "s@q.es"}}, "s",
       "From: a@x.es\r\nTo: s@q.es\r\nSubject: s\r\nDate: \r\n" + tail},
  };
  for (const auto& c : cases) {
    CSMTPMessage message(c.clock);
    message.m_From = c.from;
    message.m_sSubject = c.subject;
    for (const CSMTPAddress& to : c.to) message.AddRecipient(to);
    EXPECT_EQ(c.expected, message.BuildHeader()) << c.name;
  }
  for (const auto& [bias, text] : {std::pair{210L, "-0330"}, {-330L, "+0530"}, {30L, "-0030"}})
    EXPECT_EQ(text, ZoneText(bias)) << "bias " << bias;
  // CRLF stays, a lone LF or CR becomes CRLF (LF CR is two), then a period that starts a line is doubled.
  const std::pair<const char*, const char*> bodies[] = {
      {"a.b\nc. d\n", "a.b\r\nc. d\r\n"}, {".x\r\n.\r\ny", "..x\r\n..\r\ny"},
      {"a\r.\rb", "a\r\n..\r\nb"}, {"a\n\rb", "a\r\n\r\nb"}};
  for (const auto& [text, expected] : bodies) EXPECT_EQ(expected, DataBodyText(text)) << text;
  const std::pair<const char*, bool> addresses[] = {
      {"ana@x.es", true}, {"a.b@cd", true}, {"a@b.c", false}, {"ana@xes", false}, {"ana@x@y.es", false},
      {"@anax.es", false}, {"anax.es@", false}, {"ana @x.es", false}, {"<ana@x.es>", false}, {"ana@x.es\r", false}};
  for (const auto& [address, ok] : addresses) EXPECT_EQ(ok, CheckMailAddress(address)) << address;
}
