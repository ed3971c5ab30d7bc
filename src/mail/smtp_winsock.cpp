#include "mail/smtp_winsock.h"

#include <winsock2.h>
#include <windows.h>

#include "framework/handles.h"

namespace qvx::mail {

namespace {

void CloseSocket(SOCKET s) { ::closesocket(s); }
using unique_socket = fw::unique_handle<SOCKET, INVALID_SOCKET, CloseSocket>;

class WinsockTransport : public SmtpTransport {
 public:
  bool Open() override {
    socket_.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    return static_cast<bool>(socket_);
  }
  bool IsOpen() const override { return static_cast<bool>(socket_); }
  void Close() override { socket_.reset(); }

  bool Resolve(const std::string& host, uint32_t& address) override {
    address = ::inet_addr(host.c_str());
    if (address != INADDR_NONE) return true;
    const hostent* found = ::gethostbyname(host.c_str());
    if (found == nullptr || found->h_addrtype != AF_INET || found->h_addr_list[0] == nullptr) return false;
    address = reinterpret_cast<const in_addr*>(found->h_addr_list[0])->s_addr;
    return true;
  }

  bool Connect(uint32_t address, int port) override {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = ::htons(static_cast<u_short>(port));
    return ::connect(socket_.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != SOCKET_ERROR;
  }

  bool Send(const char* data, size_t size) override {
    return ::send(socket_.get(), data, static_cast<int>(size), 0) != SOCKET_ERROR;
  }

  int Poll() override {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_.get(), &readable);
    timeval now{0, 0};
    const int ready = ::select(0, &readable, nullptr, nullptr, &now);
    if (ready == SOCKET_ERROR) return -1;
    return ready > 0 && FD_ISSET(socket_.get(), &readable) ? 1 : 0;
  }

  long Recv(char* data, size_t size) override {
    const int count = ::recv(socket_.get(), data, static_cast<int>(size), 0);
    return count == SOCKET_ERROR ? -1 : count;
  }

  std::string HostName() override {
    char name[100];
    return ::gethostname(name, sizeof name) == 0 ? std::string(name) : std::string();
  }

  std::string LocalAddress() override {
    sockaddr_in local{};
    int size = sizeof local;
    if (::getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&local), &size) == SOCKET_ERROR) return "";
    return ::inet_ntoa(local.sin_addr);
  }

  uint32_t Ticks() override { return ::GetTickCount(); }
  void Sleep(uint32_t ms) override { ::Sleep(ms); }
  void SetLastError(unsigned long code) override { ::WSASetLastError(static_cast<int>(code)); }

 private:
  unique_socket socket_;
};

class SystemClock : public MailClock {
 public:
  bool Now(std::tm& local, long& biasMinutes) const override {
    TIME_ZONE_INFORMATION zone{};
    const DWORD state = ::GetTimeZoneInformation(&zone);
    biasMinutes = zone.Bias + (state == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0);
    const std::time_t now = std::time(nullptr);
    const std::tm* parts = std::localtime(&now);
    if (parts == nullptr) return false;
    local = *parts;
    return true;
  }
};

}  // namespace

std::unique_ptr<SmtpTransport> MakeWinsockTransport() { return std::make_unique<WinsockTransport>(); }

const MailClock& SystemMailClock() {
  static const SystemClock clock;
  return clock;
}

}  // namespace qvx::mail
