// The command line of qvx_update_server.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "update_handler.h"

namespace qvx::server {

// How replies leave the server; all but Normal are faults for tests.
enum class Transport {
  Normal,
  SlowBody,           // the body in pieces, a pause before each
  ShortBody,          // half the announced body, then the connection closes
  ShortDownload,      // the same for installers only; other replies whole
  NoLength,           // the whole body in chunks, without a Content-Length
  CloseWithoutReply,  // the request is read and the connection closed
  NeverAnswer,        // the request is read and nothing more happens
};

struct ServerOptions {
  std::string releaseFolder;
  std::string host = "127.0.0.1";
  int port = 8080;        // 0: any free port
  std::string portFile;   // "" for none
  std::string logFile;    // "" for standard output
  HandlerOptions handler;
  Transport transport = Transport::Normal;
  int slowBodyMs = 0;
};

extern const char kServerUsage[];

// The options of args (without the program name), or nothing with error set
// for an unknown switch, a missing or out-of-range value, two transport faults
// together, or no --release.
std::optional<ServerOptions> ParseServerOptions(const std::vector<std::string>& args, std::string& error);

}  // namespace qvx::server
