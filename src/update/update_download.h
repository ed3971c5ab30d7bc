// DownloadUpdate: one installer (the application's or the common runtime
// package's) from the update server into a file, over WinInet, reporting
// each block to the dialog so that it stays responsive and can stop it.
#pragma once

#include <cstdint>
#include <string>

namespace qvx {

struct DownloadRequest {
  bool package = false;           // the common runtime package (no credentials)
  std::string application;        // base name of the application
  std::string installedVersion;   // display form
  std::string extraInformation;   // build tag, for the user agent
  std::string customerNumber;
  std::string customerKey;        // as the user typed it
  std::string targetPath;         // the file to write (replaced)
};

class DownloadProgress {
 public:
  virtual ~DownloadProgress() = default;
  virtual void Started() = 0;  // the session is open: clear the stop request, show the state
  // After every block: received of total bytes (total as the server announced it).
  virtual void Advance(uint64_t received, uint64_t total) = 0;
  virtual bool StopRequested() = 0;
};

// TRUE when the whole announced body was written to the target path. FALSE
// with error set: string 1074 (the request could not be opened), 1073 (a
// status outside 200 to 299), the server's refusal reason (a body that starts
// with "@ERROR@"; no file is written), 1075 (stopped), 1076 (a body shorter
// or longer than announced, or a reply that announces no length, whose
// completeness nothing could tell), or the system's message for a WinInet or
// file error. The body is read once, in 1024-byte blocks after a first read
// of up to 2048 bytes for the refusal check, and written through a 4096-byte
// buffer; a download that fails leaves no file behind.
bool DownloadUpdate(const DownloadRequest& request, DownloadProgress& progress, std::string& error);

}  // namespace qvx
