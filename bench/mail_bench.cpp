// Figures for one update request's mail exchange (greeting, HELO, MAIL FROM,
// RCPT TO, DATA, the message, QUIT) with Debian's aiosmtpd on 127.0.0.1, as
// the form sends it: the median of a few rounds, and how much of it is the
// client's 250 ms pauses between polls of a reply that has not come yet.
// Figures only. QVX_MAIL_SERVERS names the servers.txt of tools/mail-servers.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "mail/smtp_connection.h"
#include "mail/smtp_winsock.h"

namespace {

using namespace qvx::mail;

constexpr int kRounds = 7;

// Winsock as the module uses it, counting the pauses.
struct CountingTransport : SmtpTransport {
  explicit CountingTransport(int& pauses) : pauses_(pauses) {}
  bool Open() override { return real_->Open(); }
  bool IsOpen() const override { return real_->IsOpen(); }
  void Close() override { real_->Close(); }
  bool Resolve(const std::string& host, uint32_t& address) override { return real_->Resolve(host, address); }
  bool Connect(uint32_t address, int port) override { return real_->Connect(address, port); }
  bool Send(const char* data, size_t size) override { return real_->Send(data, size); }
  int Poll() override { return real_->Poll(); }
  long Recv(char* data, size_t size) override { return real_->Recv(data, size); }
  std::string HostName() override { return real_->HostName(); }
  std::string LocalAddress() override { return real_->LocalAddress(); }
  uint32_t Ticks() override { return real_->Ticks(); }
  void Sleep(uint32_t ms) override { ++pauses_, real_->Sleep(ms); }
  void SetLastError(unsigned long code) override { real_->SetLastError(code); }
  std::unique_ptr<SmtpTransport> real_ = MakeWinsockTransport();
  int& pauses_;
};

int AiosmtpdPort() {
  const char* list = std::getenv("QVX_MAIL_SERVERS");
  std::ifstream in(list ? list : "");
  std::string mode;
  int port = 0;
  while (in >> mode >> port)
    if (mode == "aiosmtpd") return port;
  return 0;
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const int port = AiosmtpdPort();
  if (port == 0) return std::printf("mail benchmark skipped: QVX_MAIL_SERVERS names no aiosmtpd server\n"), 0;
  WSADATA wsa;
  ::WSAStartup(MAKEWORD(2, 2), &wsa);
  std::vector<double> times, pauses;
  for (int i = 0; i < kRounds; ++i) {
    int count = 0;
    const double start = Seconds();
    CSMTPConnection connection(std::make_unique<CountingTransport>(count));
    CSMTPMessage message(SystemMailClock());
    message.m_From = CSMTPAddress("Ana", "ana@cliente.es");
    message.AddRecipient(CSMTPAddress("soporte@quorvex.test", "soporte@quorvex.test"));
    message.m_sSubject = "Petici\xf3n de actualizaci\xf3n: bench";
    message.SetBody(std::string(20, 'x') + "\n" + std::string(600, 'y') + "\n");
    if (!connection.Connect("127.0.0.1", port) || !connection.SendMessage(message) || !connection.Disconnect())
      return std::printf("the exchange with aiosmtpd at port %d failed\n", port), 1;
    times.push_back(Seconds() - start);
    pauses.push_back(count);
  }
  ::WSACleanup();
  std::sort(times.begin(), times.end());
  std::sort(pauses.begin(), pauses.end());
  const double median = times[kRounds / 2], pauseCount = pauses[kRounds / 2];
  std::printf("\nOne update request's mail exchange with aiosmtpd on loopback, median of %d:\n", kRounds);
  std::printf("  %-58s %10.1f ms\n", "greeting to 221, 7 replies", median * 1e3);
  std::printf("  %-58s %10.0f x %u ms = %.0f ms\n", "pauses while a reply has not come yet", pauseCount,
              CSMTPConnection::kPollPause, pauseCount * CSMTPConnection::kPollPause);
  std::printf("  %-58s %10.1f ms\n", "the rest (sockets, aiosmtpd, Wine)", median * 1e3 - pauseCount * CSMTPConnection::kPollPause);
  return 0;
}
