// What the reference update server answers, apart from any socket: a request
// (method, path, query text, user agent, time) in; status, body and the log
// line out. The HTTP front ends in this folder only copy bytes in and out.
#pragma once

#include <ctime>
#include <string>

#include "release_folder.h"

namespace qvx::server {

struct Request {
  std::string method;  // "GET"
  std::string path;    // as sent, with or without the leading "/"
  std::string query;   // the text after "?", still percent-encoded
  std::string userAgent;
  std::time_t time = 0;  // when it arrived
};

// Faults that tests of the module ask for; the transport's own faults (a slow
// or short body, no reply) live in the front ends.
struct HandlerOptions {
  int forcedStatus = 0;    // not 0: every reply gets this status and a short text
  bool emptyBody = false;  // every reply's body is empty
  int blankLines = 0;      // empty lines (CR LF) before a version line
};

struct Reply {
  int status = 200;
  std::string contentType;
  std::string body;
  std::string outcome;  // one word for the log and tests: "version", "bad-token", ...
  std::string logLine;  // one line, no line end
};

// Version queries: 200 and the version line; 403 for a malformed request or
// credentials that are neither empty nor a customer's; 404 for an
// application not in the release. Downloads: 200 and the installer, or 200
// and "@ERROR@" with a scrambled reason. Other paths 404, other methods 405.
Reply HandleRequest(const Release& release, const HandlerOptions& options, const Request& request);

}  // namespace qvx::server
