// The parsers of outside text over arbitrary input, the first byte picking one (and sizing the pieces a reply
// arrives in): nothing may crash or trip a sanitizer, and each result must keep what its callers rely on.
#include <algorithm>
#include <cctype>

#include <fuzzer/FuzzedDataProvider.h>

#include "../native/smtp_fake.h"
#include "common/deployment_text.h"
#include "common/request_encoding.h"
#include "common/version_compare.h"
#include "intl/number_format.h"
#include "intl/number_parse.h"
#include "mail/smtp_message.h"
#include "update/download_text.h"
#include "update/version_request.h"

using namespace qvx;

static void Require(bool kept) { if (!kept) __builtin_trap(); }

static void NumberText(FuzzedDataProvider& in) {
  auto word = [&] { return in.ConsumeRandomLengthString(4); };
  auto number = [&] { return in.ConsumeIntegral<long>(); };
  const intl::NumberSettings s{word(), word(), word(), number(), number(), number()};
  const long flags = number(), decimals = number();
  double value = 0.0;  // any bits: NaN, infinities, subnormals
  in.ConsumeData(&value, sizeof value);
  const std::string text = in.ConsumeRemainingBytesAsString();
  intl::ConvertStrToIntlStr(text, flags, s);
  intl::ConvertFltToIntlStr(value, decimals, flags, s);
  intl::ConvertIntlStrToFlt(text, s);
  intl::ValidateIntlStr(text, s);
}

// An order (reflexive, antisymmetric, transitive), and no field overflows.
static void Versions(FuzzedDataProvider& in) {
  const std::string a = in.ConsumeRandomLengthString(64), b = in.ConsumeRandomLengthString(64),
                    c = in.ConsumeRemainingBytesAsString();
  auto sign = [](const std::string& x, const std::string& y) { return std::clamp(CompareVersions(x, y), -1, 1); };
  const int ab = sign(a, b), bc = sign(b, c), ac = sign(a, c);
  Require(sign(a, a) == 0 && ab == -sign(b, a) && !(ab <= 0 && bc <= 0 && ac > 0) && !(ab >= 0 && bc >= 0 && ac < 0));
}

// Whatever decodes is exactly what the encoder makes of the result; an address that parses reaches a connection
// unchanged; a mailbox that passes is safe in a mail header.
static void ServerAndFormText(const std::string& text) {
  const std::string plain = DecodeServerText(text);
  const auto unscrambled = UnscrambleText(text), fields = DecodeRequestText(text);
  Require(unscrambled ? plain == *unscrambled && ScrambleText(plain) == text : plain == kDecodeErrorText);
  Require(!fields || EncodeRequestText(*fields) == text);
  if (const auto address = ParseServerAddress(text, 80)) {
    const auto again = ParseServerAddress(address->host + ":" + std::to_string(address->port), 1);
    const auto hostChar = [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '_' || c == '.'; };
    Require(!address->host.empty() && address->host.size() <= 253 &&
            std::all_of(address->host.begin(), address->host.end(), hostChar));
    Require(address->port >= 1 && address->port <= 65535 && again && again->host == address->host &&
            again->port == address->port);
  }
  const auto unsafe = [](unsigned char c) { return c <= ' ' || c == 0x7F || c == '<' || c == '>' || c == '"'; };
  Require(!IsMailboxAddress(text) || (text.size() <= 254 && std::none_of(text.begin(), text.end(), unsafe)));
}

// The update server's version line, package split, installer path (the application's name from the
// reply too) and refusal text: no path may leave the temporary folder.
static void UpdateReply(const std::string& body, size_t piece) {
  size_t at = 0;
  std::string line;
  const auto reader = [&](char* buffer, size_t room) -> std::ptrdiff_t {
    const size_t n = body.copy(buffer, std::min(room, piece), at);
    return at += n, static_cast<std::ptrdiff_t>(n);
  };
  if (FirstNonEmptyLine(reader, line) == ReplyLine::Found)
    Require(!line.empty() && line.find('\n') == std::string::npos && body.find(line) != std::string::npos);
  Require(at <= kReplyReadMax + 4096);  // a stream of blank lines cannot hold the caller
  const VersionReply reply = SplitVersionReply(line);
  FormatVersionForDisplay(reply.application);
  const std::string tag = PackageFileTag(reply.package), temp = "C:\\Temp\\";
  Require(std::all_of(tag.begin(), tag.end(), [](unsigned char c) { return std::isalnum(c); }));
  for (const bool package : {false, true}) {
    const auto path = InstallerPath(temp, reply.application, tag, "", package);
    Require(!path || (path->compare(0, temp.size(), temp) == 0 && path->size() < 260 &&
                      path->find_first_of("\\/:*?\"<>|", temp.size()) == std::string::npos));
  }
  Require(!RefusalReason(body.data(), body.size()) || body.compare(0, 7, "@ERROR@") == 0);
}

// A whole mail exchange on a simulated clock: it ends, and no refused step passes for accepted.
static void MailExchange(const std::string& body, size_t piece) {
  const std::string script = piece % 2 ? body : "220 a\r\n250 b\r\n" + body;  // half the time past the greeting
  mail::Peer peer;
  for (size_t from = 0; from < script.size(); from += piece) peer.events.push_back({script.substr(from, piece)});
  mail::CSMTPConnection connection(std::make_unique<mail::FakeTransport>(peer));
  if (connection.Connect("correo.quorvex.es", 25)) {
    Require(connection.LastReplyCode() == 250);  // HELO accepted
    mail::NoClock clock;
    mail::CSMTPMessage message(clock);
    message.m_From = {"Ana", "ana@x.es"};
    message.AddRecipient({"", "s@q.es"});
    Require(!connection.SendMessage(message) || connection.LastReplyCode() == 250);  // QUIT on destruction
  }
  Require(connection.LastReplyText().size() <= mail::CSMTPConnection::kReplyMax + 4096);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzedDataProvider in(data + 1, size - 1);
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);  // exact size: ASan sees overreads
  const size_t piece = 1 + data[0] / 6 % 32;
  switch (data[0] % 6) {  // six ways, as the corpus was grown with: 2 and 3 are both server and form text
    case 0: NumberText(in); break;
    case 1: Versions(in); break;
    case 4: UpdateReply(text, piece); break;
    case 5: MailExchange(text, piece); break;
    default: ServerAndFormText(text);
  }
  return 0;
}
