#include "mail/smtp_connection.h"

#include <cstdlib>
#include <cstring>

namespace qvx::mail {

ReplyBounds FindReply(std::string_view text, std::string_view terminator) {
  ReplyBounds bounds;
  for (size_t line = 0;;) {
    const size_t end = text.find(terminator, line);
    if (end == std::string_view::npos) return bounds;
    // "250-..." announces more lines; anything else ends the reply.
    if (end - line < 4 || text[line + 3] != '-') {
      bounds.lastLine = line;
      bounds.end = end;
      return bounds;
    }
    line = end + terminator.size();
  }
}

int ReplyCode(std::string_view line) {
  const std::string code(line.substr(0, 3));
  return std::atoi(code.c_str());
}

CSMTPConnection::CSMTPConnection(std::unique_ptr<SmtpTransport> transport) : transport_(std::move(transport)) {}

CSMTPConnection::~CSMTPConnection() {
  if (connected_) Disconnect();
  if (transport_->IsOpen()) transport_->Close();
}

bool CSMTPConnection::Connect(const std::string& host, int port) {
  if (!transport_->Open()) return false;
  uint32_t address = 0;
  if (!transport_->Resolve(host, address)) {
    transport_->SetLastError(kErrorInvalid);
    return false;
  }
  if (!transport_->Connect(address, port)) return false;
  connected_ = true;
  if (!ReadReply(220)) {
    Disconnect();
    return false;
  }
  std::string name = transport_->HostName();
  if (name.empty()) {
    const std::string local = transport_->LocalAddress();
    name = local.empty() ? "localhost" : "[" + local + "]";
  }
  if (!SendText("HELO " + name + "\r\n") || !ReadReply(250)) {
    Disconnect();
    return false;
  }
  return true;
}

bool CSMTPConnection::Command(const std::string& text, int expected) {
  if (!SendText(text)) return false;
  if (ReadReply(expected)) return true;
  transport_->SetLastError(kErrorBadCommand);
  return false;
}

bool CSMTPConnection::SendMessage(const CSMTPMessage& message) {
  auto envelopeSafe = [](const CSMTPAddress& a) { return a.m_sEmailAddress.find_first_of("\r\n") == std::string::npos; };
  bool safe = envelopeSafe(message.m_From);
  for (const CSMTPAddress& to : message.Recipients()) safe = safe && envelopeSafe(to);
  if (!safe) {
    transport_->SetLastError(kErrorInvalid);
    return false;
  }
  if (!Command("MAIL FROM:<" + message.m_From.m_sEmailAddress + ">\r\n", 250)) return false;
  for (const CSMTPAddress& to : message.Recipients()) {
    if (!Command("RCPT TO:<" + to.m_sEmailAddress + ">\r\n", 250)) return false;
  }
  if (!Command("DATA\r\n", 354)) return false;
  if (!SendText(message.BuildHeader()) || !SendText(message.Body())) return false;
  return Command("\r\n.\r\n", 250);
}

bool CSMTPConnection::Disconnect() {
  bool answered = false;
  if (connected_) {
    answered = SendText("QUIT\r\n") && ReadReply(221);
    if (!answered) transport_->SetLastError(kErrorBadCommand);
    connected_ = false;
  }
  if (transport_->IsOpen()) transport_->Close();
  return answered;
}

bool CSMTPConnection::ReadReply(int expected) {
  char buffer[256];
  std::unique_ptr<char[]> grown;
  return ReadReplyText(buffer, sizeof buffer, "\r\n", expected, grown, 4096);
}

bool CSMTPConnection::Fail(unsigned long error, const char* text, size_t size) {
  if (error != 0) transport_->SetLastError(error);
  lastReplyText_.assign(text, size);
  pending_.clear();
  return false;
}

bool CSMTPConnection::ReadReplyText(char* buffer, size_t size, const char* terminator, int expected,
                                    std::unique_ptr<char[]>& grown, size_t growth) {
  char* text = buffer;
  size_t received = 0;
  auto grow = [&] {
    size += growth;
    auto larger = std::make_unique<char[]>(size);
    std::memcpy(larger.get(), text, received + 1);
    grown = std::move(larger);
    text = grown.get();
  };
  text[0] = '\0';
  // What came after the previous reply opens this one.
  while (pending_.size() + 1 >= size) grow();
  std::memcpy(text, pending_.data(), pending_.size());
  received = pending_.size();
  text[received] = '\0';
  pending_.clear();

  const std::string_view ending(terminator);
  uint32_t lastActivity = transport_->Ticks();
  for (;;) {
    const ReplyBounds reply = FindReply(std::string_view(text, received), ending);
    if (reply.end != std::string_view::npos) {
      lastReplyCode_ = ReplyCode(std::string_view(text + reply.lastLine, reply.end - reply.lastLine));
      const size_t next = reply.end + ending.size();
      const bool expectedCode = lastReplyCode_ == expected;
      if (!expectedCode) Fail(kErrorProtocol, text, reply.end);
      pending_.assign(text + next, received - next);
      return expectedCode;
    }
    if (transport_->Ticks() - lastActivity > replyTimeout_) return Fail(kErrorTimedOut, text, received);
    const int readable = transport_->Poll();
    if (readable < 0) return Fail(0, text, received);
    if (readable == 0) {
      transport_->Sleep(kPollPause);
      continue;
    }
    const size_t room = size > received + 1 ? size - received - 1 : 0;
    const long count = transport_->Recv(text + received, room);
    if (count < 0) return Fail(0, text, received);
    // A closed connection can bring nothing more: no use waiting out the time-out.
    if (count == 0) return Fail(kErrorTimedOut, text, received);
    received += static_cast<size_t>(count);
    text[received] = '\0';
    lastActivity = transport_->Ticks();
    if (received >= kReplyMax) return Fail(kErrorProtocol, text, received);
    if (static_cast<size_t>(count) == room) grow();
  }
}

}  // namespace qvx::mail
