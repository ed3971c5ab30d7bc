// The server's log: one line per request, so that a maker can grep it and
// tests can read it while the server runs. What a client sent is outside
// input: every byte that could break the line or fool a reader is escaped.
#pragma once

#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

namespace qvx::server {

// Printable ASCII stays; "\" and '"' get a backslash; any other byte, and the
// blank unless inQuotes, becomes \xHH.
std::string EscapeLogText(const std::string& text, bool inQuotes = false);

// UTC in the form 2026-12-06T14:00:00Z.
std::string FormatLogTime(std::time_t time);

// Appends lines to a file (or standard output), flushed line by line; safe to
// share between threads.
class RequestLog {
 public:
  RequestLog() = default;
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  // Empty path: standard output. False when the file cannot be opened.
  bool Open(const std::string& path);
  void Write(const std::string& line);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  bool owned_ = false;
};

}  // namespace qvx::server
