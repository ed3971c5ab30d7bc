#include "server_options.h"

namespace qvx::server {

const char kServerUsage[] =
    "usage: qvx_update_server --release DIR [--host 127.0.0.1] [--port N|0] [--port-file FILE]\n"
    "                         [--log FILE] [faults]\n"
    "faults, for tests of the module:\n"
    "  --status N             every reply gets status N and a short text\n"
    "  --empty-body           every reply's body is empty\n"
    "  --blank-lines N        N empty lines before the version line\n"
    "  --short-body           half the announced body, then the connection closes\n"
    "  --short-download       the same for installers only\n"
    "  --no-length            the body in chunks, without a Content-Length\n"
    "  --slow-body MS         the body in 8 pieces, MS milliseconds before each\n"
    "  --close-without-reply  read the request, close the connection\n"
    "  --never-answer         read the request, never answer\n";

namespace {

bool ParseNumber(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::stoi(text);
  return value >= low && value <= high;
}

}  // namespace

std::optional<ServerOptions> ParseServerOptions(const std::vector<std::string>& args, std::string& error) {
  ServerOptions options;
  int faults = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    const bool hasValue = i + 1 < args.size();
    auto text = [&](std::string& into) {
      if (!hasValue || args[i + 1].empty()) return false;
      into = args[++i];
      return true;
    };
    auto number = [&](int low, int high, int& into) { return hasValue && ParseNumber(args[++i], low, high, into); };
    auto transport = [&](Transport t) {
      options.transport = t;
      ++faults;
      return true;
    };
    bool ok;
    if (name == "--release") ok = text(options.releaseFolder);
    else if (name == "--host") ok = text(options.host);
    else if (name == "--port") ok = number(0, 65535, options.port);
    else if (name == "--port-file") ok = text(options.portFile);
    else if (name == "--log") ok = text(options.logFile);
    else if (name == "--status") ok = number(100, 599, options.handler.forcedStatus);
    else if (name == "--empty-body") ok = (options.handler.emptyBody = true);
    else if (name == "--blank-lines") ok = number(0, 1000, options.handler.blankLines);
    else if (name == "--slow-body") ok = number(1, 60000, options.slowBodyMs) && transport(Transport::SlowBody);
    else if (name == "--short-body") ok = transport(Transport::ShortBody);
    else if (name == "--short-download") ok = transport(Transport::ShortDownload);
    else if (name == "--no-length") ok = transport(Transport::NoLength);
    else if (name == "--close-without-reply") ok = transport(Transport::CloseWithoutReply);
    else if (name == "--never-answer") ok = transport(Transport::NeverAnswer);
    else {
      error = "unknown switch " + name;
      return std::nullopt;
    }
    if (!ok) {
      error = name + ": missing or bad value";
      return std::nullopt;
    }
  }
  if (faults > 1) {
    error = "--slow-body, --short-body, --short-download, --no-length, --close-without-reply and --never-answer exclude each other";
    return std::nullopt;
  }
  if (options.releaseFolder.empty()) {
    error = "--release DIR is needed";
    return std::nullopt;
  }
  return options;
}

}  // namespace qvx::server
