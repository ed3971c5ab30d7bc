#include "update/version_query.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <ctime>

#include "common/deployment_settings.h"
#include "common/file_version.h"
#include "common/request_encoding.h"
#include "common/system_info.h"
#include "framework/ansi.h"
#include "framework/handles.h"
#include "framework/module_state.h"
#include "mail/customer_data.h"
#include "resources/resource.h"
#include "update/internet_session.h"
#include "update/version_request.h"

namespace qvx {

namespace {

constexpr DWORD_PTR kContext = 1;
constexpr size_t kErrorTextMax = 255;

// The host executable's base name, file version and build tag.
std::string HostUserAgent() {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name;
  VersionRecord record;
  if (length > 0 && length < MAX_PATH) {
    name = ProgramBaseName(path);
    ReadVersionRecord(path, record);  // a program without version information sends an empty version
  }
  return SystemInfoText(name, record.fileVersion, BuildTag(record.internalName));
}

// The request token over the stored customer number and key (both empty
// without customer data) and this computer's identifier.
std::string CredentialsToken() {
  mail::CustomerData customer;
  bool fromFallbackKey = false;
  mail::ReadCustomerData(customer, fromFallbackKey);
  const std::string storedKey = mail::ReadCustomerKey();
  return EncodeRequestText(VersionCredentials(customer.number, MachineIdentifier(), DecodeServerText(storedKey)));
}

std::string PathErrorText(UINT id, const std::string& path, DWORD status = 0) {
  std::string text = fw::LoadResString(id);
  size_t at = text.find("%d");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(status));
  at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, path);
  return text;
}

int32_t SecondsNow() { return static_cast<int32_t>(std::time(nullptr)); }

}  // namespace

// wininet.dll holds the messages of its own errors, the system the others.
std::string InternetErrorText(DWORD code) {
  char message[512] = {};
  const HMODULE wininet = ::GetModuleHandleA("wininet.dll");
  DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 (wininet ? FORMAT_MESSAGE_FROM_HMODULE : 0),
                             wininet, code, 0, message, sizeof(message), nullptr);
  while (n > 0 && (message[n - 1] == '\r' || message[n - 1] == '\n' || message[n - 1] == ' ')) --n;
  if (n > 0) return fw::CutAnsi(std::string(message, n), kErrorTextMax);
  std::string text = fw::LoadResString(IDS_INTERNET_ERROR);
  const size_t at = text.find("%lu");
  if (at != std::string::npos) text.replace(at, 3, std::to_string(code));
  return fw::CutAnsi(text, kErrorTextMax);
}

void SetInternetTimeouts(HINTERNET handle) {
  for (const DWORD option :
       {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    DWORD value = kInternetTimeoutMs;
    ::InternetSetOptionA(handle, option, &value, sizeof(value));
  }
}

bool QueryLatestVersion(const std::string& application, bool withRuntime, std::string& version, std::string& error) {
  version.clear();
  error.clear();
  auto fail = [&](std::string text) {
    error = std::move(text);
    return false;
  };
  // Declared in this order so that they close request, connection, session.
  fw::unique_hinternet session(::InternetOpenA(HostUserAgent().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                               nullptr, INTERNET_FLAG_DONT_CACHE));
  if (!session) return fail(InternetErrorText(::GetLastError()));
  SetInternetTimeouts(session.get());

  const std::string token = CredentialsToken();
  const ServerAddress server = UpdateServer();
  fw::unique_hinternet connection(::InternetConnectA(session.get(), server.host.c_str(),
                                                     static_cast<INTERNET_PORT>(server.port), nullptr, nullptr,
                                                     INTERNET_SERVICE_HTTP, 0, kContext));
  if (!connection) return fail(InternetErrorText(::GetLastError()));

  const std::string path = VersionObjectPath(withRuntime, SecondsNow(), application, token);
  fw::unique_hinternet request(::HttpOpenRequestA(connection.get(), "GET", path.c_str(), nullptr, nullptr, nullptr,
                                                  INTERNET_FLAG_EXISTING_CONNECT, kContext));
  if (!request) return fail(PathErrorText(IDS_QUERY_OPEN_FAILED, path));
  // Windows hands the session's time-outs down to its requests; Wine does not.
  SetInternetTimeouts(request.get());

  // A failed send has a reason worth showing: the system's message for it.
  if (!::HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) return fail(InternetErrorText(::GetLastError()));
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!::HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
    return fail(InternetErrorText(::GetLastError()));
  // A connection closed before any status line gives no status under Wine
  // (Windows fails the send): the same message on both.
  if (status == 0) return fail(InternetErrorText(ERROR_HTTP_INVALID_SERVER_RESPONSE));
  if (status < 200 || status > 299) return fail(PathErrorText(IDS_QUERY_STATUS_FAILED, path, status));

  // A body cut short of its Content-Length ends like a whole one in
  // WinInet; its last line would be a piece of a version.
  DWORD announced = 0;
  size = sizeof(announced);
  const bool haveLength = ::HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                           &announced, &size, nullptr);
  DWORD received = 0;
  DWORD readError = 0;
  const ReplyReader read = [&](char* buffer, size_t capacity) -> std::ptrdiff_t {
    DWORD got = 0;
    if (!::InternetReadFile(request.get(), buffer, static_cast<DWORD>(capacity), &got)) {
      readError = ::GetLastError();
      return -1;
    }
    received += got;
    if (got == 0 && haveLength && received < announced) return -1;
    return got;
  };
  switch (FirstNonEmptyLine(read, version)) {
    case ReplyLine::Found: return true;
    case ReplyLine::Failed:
      if (readError != 0) return fail(InternetErrorText(readError));
      break;
    case ReplyLine::Ended: break;
  }
  return fail(PathErrorText(IDS_QUERY_READ_FAILED, path));
}

}  // namespace qvx
