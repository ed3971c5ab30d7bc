// A 64 MB installer through the download dialog (AutoUpdate, clicked as a
// user does) against a plain WinInet loop with 64 KiB reads of the same
// download, both on loopback from the reference update server
// (QVX_UPDATE_SERVERS; tools/test serves a release with a 64 MB installer).
// Also the longest time the dialog took to answer a message during its
// download, probed every 2 ms from another thread. Figures only.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_clock.h"
#include "common/request_encoding.h"
#include "qvx_test.h"
#include "update/download_text.h"

namespace {

int Port() {
  const char* list = std::getenv("QVX_UPDATE_SERVERS");
  std::ifstream in(list ? list : "");
  std::string name;
  int port = 0;
  while (in >> name >> port)
    if (name == "normal") return port;
  return 0;
}

// The plain loop: one GET, reads of block bytes into one buffer, with the
// thread's messages taken after each read when pump is set.
double PlainLoop(int port, uint64_t& bytes, size_t block = 64 * 1024, bool pump = false) {
  const std::string token =
      qvx::EncodeRequestText(qvx::DownloadCredentials("QvxTestApp", "4", "1234", "ClaveSecreta"));
  const std::string path = qvx::DownloadObjectPath(false, static_cast<int32_t>(std::time(nullptr)), token);
  const double start = Seconds();
  HINTERNET session = ::InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_DONT_CACHE);
  HINTERNET connection = ::InternetConnectA(session, "127.0.0.1", static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                            INTERNET_SERVICE_HTTP, 0, 1);
  HINTERNET request = ::HttpOpenRequestA(connection, "GET", path.c_str(), nullptr, nullptr, nullptr,
                                         INTERNET_FLAG_EXISTING_CONNECT, 1);
  std::vector<char> buffer(block);
  bytes = 0;
  DWORD got = 0;
  if (::HttpSendRequestA(request, nullptr, 0, nullptr, 0))
    while (::InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got) && got > 0) {
      bytes += got;
      MSG msg;
      while (pump && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }
  ::InternetCloseHandle(request);
  ::InternetCloseHandle(connection);
  ::InternetCloseHandle(session);
  return Seconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
  const int port = Port();
  if (port == 0 || argc < 2) {
    std::printf("download bench: QVX_UPDATE_SERVERS and the QvxTestApp.exe path are needed\n");
    return 1;
  }
  qvxtest::ComScope com;
  HKEY key = nullptr;
  const std::string server = "127.0.0.1:" + std::to_string(port);
  ::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quorvex\\QuorvexIntl", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                    nullptr);
  ::RegSetValueExA(key, "UpdateServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                   static_cast<DWORD>(server.size() + 1));

  uint64_t plainBytes = 0, smallBytes = 0, pumpBytes = 0;
  const double plain = PlainLoop(port, plainBytes);
  // Where the dialog's time goes: 1024-byte reads alone, then with a pump.
  const double small = PlainLoop(port, smallBytes, 1024);
  const double pumped = PlainLoop(port, pumpBytes, 1024, true);

  // The dialog: the user types the credentials and clicks Descargar; a probe
  // thread times WM_NULL round trips until the result says it is done.
  double start = 0, end = 0, longest = 0;
  std::thread user([&] {
    HWND dialog = qvxtest::WaitForWindow(L"#32770", L"Descargar actualización", 20000);
    if (!dialog) return;
    auto shown = [&] { return qvxtest::NarrowText(qvxtest::WindowText(::GetDlgItem(dialog, 336))); };
    for (int i = 0; i < 1000 && shown().find("Descargar]") == std::string::npos; ++i) ::Sleep(20);
    ::SetDlgItemTextA(dialog, 1040, "1234");
    ::SetDlgItemTextA(dialog, 3002, "ClaveSecreta");
    start = Seconds();
    ::PostMessageW(::GetDlgItem(dialog, 337), BM_CLICK, 0, 0);
    // Until the click is taken the text still reads "Proceso de descarga".
    for (int i = 0; i < 1000 && shown().find("Descargando") == std::string::npos; ++i) ::Sleep(2);
    for (;;) {
      const double before = Seconds();
      DWORD_PTR ignored = 0;
      ::SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
      const double gap = Seconds() - before;
      if (gap > longest) longest = gap;
      if (shown().find("Descargando") == std::string::npos || Seconds() - start > 120) break;
      ::Sleep(2);
    }
    end = Seconds();
    // "Instalar" after a download; else "Detener" if need be, then "Cancelar",
    // so that a download that failed or took too long never leaves the dialog open.
    if (shown().find("se descarg") == std::string::npos) {
      if (shown().find("Descargando") != std::string::npos) ::PostMessageW(::GetDlgItem(dialog, 337), BM_CLICK, 0, 0);
      for (int i = 0; i < 500 && shown().find("Descargando") != std::string::npos; ++i) ::Sleep(20);
      ::PostMessageW(::GetDlgItem(dialog, 339), BM_CLICK, 0, 0);
    } else {
      ::PostMessageW(::GetDlgItem(dialog, 337), BM_CLICK, 0, 0);
    }
  });
  qvx::fw::com_ptr<IDispatch> control = qvxtest::CreateControl();
  BSTR outs[3] = {};
  VARIANT args[4];
  const std::string app = argv[1];
  qvxtest::Var path(std::wstring(app.begin(), app.end()).c_str());
  args[0] = path.v;
  for (int i = 0; i < 3; ++i) V_VT(&args[1 + i]) = VT_BYREF | VT_BSTR, V_BSTRREF(&args[1 + i]) = &outs[i];
  qvxtest::Var result;
  qvxtest::CallByName(control.get(), L"AutoUpdate", {args[0], args[1], args[2], args[3]}, &result.v);
  user.join();
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  const std::string installer = outs[0] ? qvxtest::NarrowText(outs[0]) : "";
  ::GetFileAttributesExA(installer.c_str(), GetFileExInfoStandard, &data);
  const double dialogBytes = static_cast<double>(data.nFileSizeLow) + static_cast<double>(data.nFileSizeHigh) * 4294967296.0;
  for (BSTR b : outs) ::SysFreeString(b);
  ::RegDeleteValueA(key, "UpdateServer");
  ::RegCloseKey(key);

  const double mb = 1024.0 * 1024.0;
  const double plainRate = plainBytes / mb / plain, dialogRate = dialogBytes / mb / (end - start);
  std::printf("download bench: plain WinInet loop (64 KiB reads): %.1f MB in %.2f s = %.1f MB/s\n", plainBytes / mb,
              plain, plainRate);
  std::printf("download bench: the same loop with 1024-byte reads: %.1f MB/s; and a message pump after each: %.1f MB/s\n",
              smallBytes / mb / small, pumpBytes / mb / pumped);
  std::printf("download bench: through the dialog (1024-byte blocks): %.1f MB in %.2f s = %.1f MB/s\n",
              dialogBytes / mb, end - start, dialogRate);
  std::printf("download bench: ratio %.2f (goal at least 0.25); longest gap between answered messages %.1f ms (goal under 50 ms)\n",
              dialogRate / plainRate, longest * 1000.0);
  return 0;
}
