// A front end: the sockets between clients and HandleRequest. One answers
// over cpp-httplib (normally, slowly or cut short); the other, for tests of
// a dead server, reads requests and never answers them.
#pragma once

#include <memory>
#include <string>

#include "release_folder.h"
#include "request_log.h"
#include "server_options.h"

namespace qvx::server {

class Front {
 public:
  virtual ~Front() = default;
  // Binds and listens; the port bound, or -1.
  virtual int Bind(const std::string& host, int port) = 0;
  // Serves until Stop; false when serving failed.
  virtual bool Run() = 0;
  // From another thread: Run returns soon, whatever clients are waiting for.
  virtual void Stop() = 0;
};

// Both keep references to their arguments.
std::unique_ptr<Front> MakeHttpFront(const ServerOptions& options, const Release& release, RequestLog& log);
std::unique_ptr<Front> MakeSilentFront(const ServerOptions& options, const Release& release, RequestLog& log);

}  // namespace qvx::server
