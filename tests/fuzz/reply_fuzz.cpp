// What the servers' replies reach, their bytes arriving in pieces the first byte sizes: the update
// server's version line, the application and package split, the package's file name piece, the
// installer's path (the application's name from the reply too) and the refusal text; and a whole mail
// exchange (on a simulated clock, so silence costs no time). Nothing may crash, no text may name a
// file outside the temporary folder, and no refused mail step may be reported as accepted.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <string>

#include "../native/smtp_fake.h"
#include "common/request_encoding.h"
#include "mail/smtp_message.h"
#include "update/download_text.h"
#include "update/version_request.h"

using namespace qvx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 32;
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);

  size_t at = 0;
  std::string line;
  const auto reader = [&](char* buffer, size_t room) -> std::ptrdiff_t {
    const size_t n = body.copy(buffer, std::min(room, piece), at);
    return at += n, static_cast<std::ptrdiff_t>(n);
  };
  if (FirstNonEmptyLine(reader, line) == ReplyLine::Found &&
      (line.empty() || line.find('\n') != std::string::npos || body.find(line) == std::string::npos))
    __builtin_trap();
  if (at > kReplyReadMax + 4096) __builtin_trap();  // a stream of blank lines cannot hold the caller
  const VersionReply reply = SplitVersionReply(line);
  FormatVersionForDisplay(reply.application);
  const std::string tag = PackageFileTag(reply.package), temp = "C:\\Temp\\";
  if (!std::all_of(tag.begin(), tag.end(), [](unsigned char c) { return std::isalnum(c); })) __builtin_trap();
  for (const bool package : {false, true}) {
    const auto path = InstallerPath(temp, reply.application, tag, "", package);
    if (path && (path->compare(0, temp.size(), temp) != 0 || path->size() >= 260 ||
                 path->find_first_of("\\/:*?\"<>|", temp.size()) != std::string::npos))
      __builtin_trap();
  }
  if (RefusalReason(body.data(), body.size()) && body.compare(0, 7, "@ERROR@") != 0) __builtin_trap();

  // The reply parser alone: a complete reply ends inside the text, after its last line.
  const mail::ReplyBounds bounds = mail::FindReply(body, "\r\n");
  if (bounds.end != std::string::npos && (bounds.end > body.size() || bounds.lastLine > bounds.end)) __builtin_trap();
  mail::Peer peer;
  for (size_t from = 0; from < body.size(); from += piece) peer.events.push_back({body.substr(from, piece)});
  mail::CSMTPConnection connection(std::make_unique<mail::FakeTransport>(peer));
  if (connection.Connect("correo.quorvex.es", 25)) {
    if (connection.LastReplyCode() != 250) __builtin_trap();  // HELO accepted
    mail::NoClock clock;
    mail::CSMTPMessage message(clock);
    message.m_From = {"Ana", "ana@x.es"};
    message.AddRecipient({"", "s@q.es"});
    message.SetBody("texto\n");
    if (connection.SendMessage(message) && connection.LastReplyCode() != 250) __builtin_trap();
    connection.Disconnect();
  }
  if (connection.LastReplyText().size() > mail::CSMTPConnection::kReplyMax + 4096) __builtin_trap();
  return 0;
}
