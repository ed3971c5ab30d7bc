#include "update_handler.h"

#include <optional>
#include <vector>

#include "common/request_encoding.h"
#include "request_text.h"
#include "request_log.h"

namespace qvx::server {

namespace {

// Texts shown to the user by the download dialog; <BR> is its line break.
const char kRefuseRequest[] = "La petición de actualización no es válida.";
const char kRefuseNoCustomer[] = "Escriba su número de cliente y su clave para descargar la actualización.";
const char kRefuseCredentials[] =
    "El número de cliente o la clave no son correctos.<BR>Revíselos e inténtelo de nuevo.";
const char kRefuseUnknownApp[] = "No hay actualizaciones de esta aplicación.";
const char kRefuseNoPackage[] = "El paquete de componentes comunes no está disponible.";
const char kRefuseUnreadable[] = "La actualización no está disponible en este momento.<BR>Inténtelo más tarde.";

constexpr char kBel = '\x07';
constexpr size_t kMachineIdDigits = 32;

// Builds the reply and its log line together, so that every path logs.
class Answer {
 public:
  explicit Answer(const Request& request) {
    line_ = FormatLogTime(request.time) + ' ' + EscapeLogText(request.method) + ' ' + EscapeLogText(request.path);
  }
  void Log(const char* key, const std::string& value) { line_ += std::string(" ") + key + '=' + EscapeLogText(value); }
  void Log(const char* key, const std::string* value) { Log(key, value ? *value : std::string()); }

  // Each request ends in exactly one of these.
  Reply Text(int status, std::string body, const char* outcome) {
    return Finish(status, "text/plain", std::move(body), outcome);
  }
  Reply Refuse(const char* reason, const char* outcome) {
    return Text(200, "@ERROR@" + ScrambleText(reason), outcome);
  }
  Reply Installer(std::string bytes, const char* outcome) {
    return Finish(200, "application/octet-stream", std::move(bytes), outcome);
  }
  const std::string& line() const { return line_; }

 private:
  static Reply Finish(int status, const char* type, std::string body, const char* outcome) {
    Reply reply;
    reply.status = status;
    reply.contentType = type;
    reply.body = std::move(body);
    reply.outcome = outcome;
    return reply;
  }

  std::string line_;
};

std::vector<std::string> SplitFields(const std::string& text, char separator) {
  std::vector<std::string> fields(1);
  for (const char c : text) {
    if (c == separator)
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

// The module prints d with "%ld"; anything else did not come from it.
bool IsDecimal(const std::string* text) {
  if (text == nullptr) return false;
  const size_t start = !text->empty() && (*text)[0] == '-' ? 1 : 0;
  if (text->size() == start || text->size() > start + 10) return false;
  return text->find_first_not_of("0123456789", start) == std::string::npos;
}

bool IsMachineIdentifier(const std::string& text) {
  return text.size() == kMachineIdDigits && text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

// nullptr when the credentials are accepted, else the outcome saying why.
// Without customer data (no number, no key) only version queries pass.
const char* CheckCustomer(const Release& release, const std::string& number, const std::string& key,
                          bool anonymousAllowed) {
  if (number.empty()) return key.empty() && anonymousAllowed ? nullptr : "no-customer";
  const auto customer = release.customers.find(number);
  if (customer == release.customers.end()) return "unknown-customer";
  if (customer->second != key) return "wrong-key";
  return nullptr;
}

Reply HandleVersion(const Release& release, const HandlerOptions& options, const QueryValues& query,
                    bool withPackage, Answer& answer) {
  const std::string* app = FindValue(query, "p");
  const std::string* d = FindValue(query, "d");
  const std::string* code = FindValue(query, "code");
  answer.Log("p", app);
  answer.Log("d", d);
  const std::optional<std::string> token = code ? DecodeRequestText(*code) : std::nullopt;
  const std::vector<std::string> fields = token ? SplitFields(*token, kBel) : std::vector<std::string>();
  if (fields.size() != 3 || !IsMachineIdentifier(fields[1])) {
    answer.Log("code", code);
    return answer.Text(403, "Forbidden\r\n", "bad-token");
  }
  answer.Log("number", fields[0]);
  answer.Log("machine", fields[1]);
  answer.Log("key", fields[2]);
  if (!IsDecimal(d)) return answer.Text(403, "Forbidden\r\n", "bad-request");
  if (const char* refused = CheckCustomer(release, fields[0], fields[2], true))
    return answer.Text(403, "Forbidden\r\n", refused);

  const auto found = app ? release.applications.find(*app) : release.applications.end();
  if (found == release.applications.end()) return answer.Text(404, "Not found\r\n", "unknown-app");
  std::string line = found->second.version;
  if (withPackage && !release.packageVersion.empty()) line += "#Brumo#" + release.packageVersion;
  std::string body;
  for (int i = 0; i < options.blankLines; ++i) body += "\r\n";
  return answer.Text(200, body + line + "\r\n", "version");
}

Reply HandleDownload(const Release& release, const QueryValues& query, Answer& answer) {
  const std::string* d = FindValue(query, "d");
  const std::string* c = FindValue(query, "c");
  const std::string* cod = FindValue(query, "cod");
  answer.Log("d", d);
  answer.Log("cod", cod);
  const bool wellFormed = IsDecimal(d) && cod != nullptr && *cod == "1";

  // The common runtime package is fetched without credentials.
  if (c != nullptr && *c == "Brumo") {
    answer.Log("c", c);
    if (!wellFormed) return answer.Refuse(kRefuseRequest, "bad-request");
    if (release.packageInstallerPath.empty()) return answer.Refuse(kRefuseNoPackage, "no-package");
    std::optional<std::string> bytes = ReadWholeFile(release.packageInstallerPath);
    if (!bytes) return answer.Refuse(kRefuseUnreadable, "unreadable");
    return answer.Installer(std::move(*bytes), "package");
  }

  const std::optional<std::string> token = c ? DecodeRequestText(*c) : std::nullopt;
  std::vector<std::string> fields = token ? SplitFields(*token, '!') : std::vector<std::string>();
  if (fields.size() != 4) {
    answer.Log("c", c);
    return answer.Refuse(kRefuseRequest, "bad-token");
  }
  // The module sends each "!" of the key as character 7.
  std::string& key = fields[3];
  for (char& k : key)
    if (k == kBel) k = '!';
  answer.Log("app", fields[0]);
  answer.Log("major", fields[1]);
  answer.Log("number", fields[2]);
  answer.Log("key", key);
  if (!wellFormed) return answer.Refuse(kRefuseRequest, "bad-request");
  if (const char* refused = CheckCustomer(release, fields[2], key, false))
    return answer.Refuse(fields[2].empty() ? kRefuseNoCustomer : kRefuseCredentials, refused);
  const auto found = release.applications.find(fields[0]);
  if (found == release.applications.end()) return answer.Refuse(kRefuseUnknownApp, "unknown-app");
  std::optional<std::string> bytes = ReadWholeFile(found->second.installerPath);
  if (!bytes) return answer.Refuse(kRefuseUnreadable, "unreadable");
  return answer.Installer(std::move(*bytes), "installer");
}

Reply Dispatch(const Release& release, const HandlerOptions& options, const Request& request, Answer& answer) {
  if (request.method != "GET" && request.method != "HEAD") {
    answer.Log("query", request.query);
    return answer.Text(405, "Method not allowed\r\n", "bad-method");
  }
  // The module asks for the runtime package without the leading "/".
  const std::string path = !request.path.empty() && request.path[0] == '/' ? request.path.substr(1) : request.path;
  const QueryValues query = ParseQuery(request.query);
  if (path == "Updates/Version") return HandleVersion(release, options, query, false, answer);
  if (path == "Updates/Versioncc") return HandleVersion(release, options, query, true, answer);
  if (path == "Updates/Actualizacion") return HandleDownload(release, query, answer);
  answer.Log("query", request.query);
  return answer.Text(404, "Not found\r\n", "not-found");
}

}  // namespace

Reply HandleRequest(const Release& release, const HandlerOptions& options, const Request& request) {
  Answer answer(request);
  Reply reply = Dispatch(release, options, request, answer);
  if (options.forcedStatus != 0) {
    reply.status = options.forcedStatus;
    reply.contentType = "text/plain";
    reply.body = "Forced status " + std::to_string(options.forcedStatus) + "\r\n";
  }
  if (options.emptyBody) reply.body.clear();
  reply.logLine = answer.line() + " agent=\"" + EscapeLogText(request.userAgent, true) +
                  "\" status=" + std::to_string(reply.status) + " outcome=" + reply.outcome;
  return reply;
}

}  // namespace qvx::server
