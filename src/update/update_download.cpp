#include "update/update_download.h"

#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "common/deployment_settings.h"
#include "common/request_encoding.h"
#include "common/system_info.h"
#include "framework/handles.h"
#include "framework/module_state.h"
#include "resources/resource.h"
#include "update/download_text.h"
#include "update/internet_session.h"

namespace qvx {

namespace {

constexpr DWORD_PTR kContext = 1;
constexpr size_t kRefusalRead = 2048;
constexpr size_t kBlock = 1024;
constexpr size_t kWriteBuffer = 4096;

// Writes through a fixed 4096-byte buffer; the first failure sticks. The
// file is deleted when it goes unless kept: a cut installer under the
// installer's name would look whole to whoever finds it.
class BufferedFile {
 public:
  explicit BufferedFile(const std::string& path) : path_(path) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) error_ = ::GetLastError();
    else file_.reset(file), created_ = true;
  }
  ~BufferedFile() {
    file_.reset();
    if (created_ && !kept_) ::DeleteFileA(path_.c_str());
  }
  void Keep() { kept_ = true; }
  bool Write(const char* data, size_t size) {
    while (size > 0 && error_ == 0) {
      if (used_ == kWriteBuffer) Flush();
      const size_t n = size < kWriteBuffer - used_ ? size : kWriteBuffer - used_;
      std::memcpy(buffer_ + used_, data, n);
      used_ += n, data += n, size -= n;
    }
    return error_ == 0;
  }
  // Flushes what is buffered; 0 or the first system error.
  DWORD Close() {
    if (error_ == 0) Flush();
    file_.reset();
    return error_;
  }

 private:
  void Flush() {
    DWORD written = 0;
    if (used_ > 0 && (!::WriteFile(file_.get(), buffer_, static_cast<DWORD>(used_), &written, nullptr) ||
                      written != used_))
      error_ = ::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT;
    used_ = 0;
  }
  std::string path_;
  fw::unique_handle_kernel file_;
  bool created_ = false, kept_ = false;
  DWORD error_ = 0;
  char buffer_[kWriteBuffer];
  size_t used_ = 0;
};

// Reads until size bytes came or the body ended; false on a read error.
bool ReadFully(HINTERNET request, char* buffer, size_t size, size_t& got, DWORD& error) {
  got = 0;
  while (got < size) {
    DWORD n = 0;
    if (!::InternetReadFile(request, buffer + got, static_cast<DWORD>(size - got), &n)) {
      error = ::GetLastError();
      return false;
    }
    if (n == 0) break;
    got += n;
  }
  return true;
}

// The Content-Length the server announced, if it announced one.
bool AnnouncedLength(HINTERNET request, uint64_t& total) {
  char text[32] = {};
  DWORD size = sizeof(text) - 1;
  if (!::HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return false;
  char* end = nullptr;
  total = std::strtoull(text, &end, 10);
  return end != text && *end == '\0';
}

std::string WithNumber(UINT id, const char* field, long value) {
  return ReplaceAll(fw::LoadResString(id), field, std::to_string(value));
}

}  // namespace

bool DownloadUpdate(const DownloadRequest& request, DownloadProgress& progress, std::string& error) {
  error.clear();
  auto fail = [&](std::string text) {
    error = std::move(text);
    return false;
  };
  const std::string version = ReplaceAll(request.installedVersion, " ", "");
  fw::unique_hinternet session(
      ::InternetOpenA(SystemInfoText("QUORVEX_UPDATER", version, request.extraInformation).c_str(),
                      INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_DONT_CACHE));
  if (!session) return fail(InternetErrorText(::GetLastError()));
  SetInternetTimeouts(session.get());
  progress.Started();

  const std::string major = version.empty() ? "" : version.substr(0, 1);
  const std::string token = EncodeRequestText(
      DownloadCredentials(request.application, major, request.customerNumber, request.customerKey));
  const ServerAddress server = UpdateServer();
  fw::unique_hinternet connection(::InternetConnectA(session.get(), server.host.c_str(),
                                                     static_cast<INTERNET_PORT>(server.port), nullptr, nullptr,
                                                     INTERNET_SERVICE_HTTP, 0, kContext));
  if (!connection) return fail(InternetErrorText(::GetLastError()));
  const std::string path =
      DownloadObjectPath(request.package, static_cast<int32_t>(std::time(nullptr)), token);
  fw::unique_hinternet http(::HttpOpenRequestA(connection.get(), "GET", path.c_str(), nullptr, nullptr, nullptr,
                                               INTERNET_FLAG_EXISTING_CONNECT, kContext));
  if (!http) return fail(fw::LoadResString(IDS_AU_NO_CONNECTION));
  SetInternetTimeouts(http.get());
  if (!::HttpSendRequestA(http.get(), nullptr, 0, nullptr, 0)) return fail(InternetErrorText(::GetLastError()));
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!::HttpQueryInfoA(http.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
      status == 0)
    return fail(InternetErrorText(ERROR_HTTP_INVALID_SERVER_RESPONSE));
  if (status < 200 || status > 299) return fail(WithNumber(IDS_AU_STATUS_FAILED, "%d", static_cast<long>(status)));

  // The first bytes decide between a refusal and an installer; they are
  // also the installer's first bytes, so the body is read only once.
  char first[kRefusalRead] = {};
  size_t got = 0;
  DWORD readError = 0;
  if (!ReadFully(http.get(), first, sizeof(first), got, readError)) return fail(InternetErrorText(readError));
  if (std::optional<std::string> reason = RefusalReason(first, got)) return fail(std::move(*reason));
  uint64_t total = 0;
  if (!AnnouncedLength(http.get(), total)) return fail(fw::LoadResString(IDS_AU_SAVE_FAILED));

  BufferedFile file(request.targetPath);
  uint64_t received = got;
  bool ok = file.Write(first, got);
  progress.Advance(received, total);
  char block[kBlock];
  while (ok && got > 0 && !progress.StopRequested()) {
    if (!ReadFully(http.get(), block, sizeof(block), got, readError)) break;
    ok = file.Write(block, got);
    received += got;
    progress.Advance(received, total);
  }
  const DWORD fileError = file.Close();
  if (fileError != 0) return fail(InternetErrorText(fileError));
  if (readError != 0) return fail(InternetErrorText(readError));
  if (progress.StopRequested()) return fail(fw::LoadResString(IDS_AU_STOPPED));
  if (received != total) return fail(fw::LoadResString(IDS_AU_SAVE_FAILED));
  file.Keep();
  return true;
}

}  // namespace qvx
