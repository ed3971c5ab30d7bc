// Figures for GetLastAppVersionFromVandrel as a host pays for it: the median
// of 200 late-bound calls against the median of 200 plain WinInet GETs of
// the same kind of URL (own session, connection and request each time, as
// the module does), interleaved, against the reference update server on
// 127.0.0.1. Figures only: the goal is printed, not enforced.
//
// Needs the module registered and the servers running (tools/update-servers
// start DIR); QVX_UPDATE_SERVERS names DIR\servers.txt. Points the user's
// UpdateServer value at the "normal" server while it runs and puts back what
// was there.
#include <windows.h>
#include <oleauto.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "bench_servers.h"
#include "common/deployment_settings.h"
#include "common/request_encoding.h"
#include "common/system_info.h"
#include "framework/handles.h"
#include "update/version_request.h"

namespace {

using qvx::fw::unique_hinternet;
using qvxbench::NormalPort;
using qvxbench::UpdateServerValue;

constexpr wchar_t kProgId[] = L"Quorvex.QuorvexIntl.Internationalization.1";
constexpr int kRounds = 200;
constexpr double kRatioGoal = 1.2;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// A GET as a plain WinInet program writes it; true when the body was read.
bool PlainGet(int port, const std::string& path) {
  unique_hinternet session(::InternetOpenA("bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                           INTERNET_FLAG_DONT_CACHE));
  unique_hinternet connection(::InternetConnectA(session.get(), "127.0.0.1", static_cast<INTERNET_PORT>(port),
                                                 nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 1));
  unique_hinternet request(::HttpOpenRequestA(connection.get(), "GET", path.c_str(), nullptr, nullptr, nullptr,
                                              INTERNET_FLAG_EXISTING_CONNECT, 1));
  if (!request || !::HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) return false;
  char buffer[1024];
  DWORD got = 0;
  return ::InternetReadFile(request.get(), buffer, sizeof(buffer), &got) && got > 0;
}

int Run() {
  const int port = NormalPort();
  if (port == 0) {
    std::printf("version query benchmark skipped: QVX_UPDATE_SERVERS names no servers.txt with a normal server\n");
    return 0;
  }
  UpdateServerValue setting("127.0.0.1:" + std::to_string(port));

  qvx::fw::com_ptr<IDispatch> control;
  CLSID clsid;
  HRESULT hr = ::CLSIDFromProgID(kProgId, &clsid);
  if (SUCCEEDED(hr))
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, control.put_void());
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"GetLastAppVersionFromVandrel")};
  if (SUCCEEDED(hr)) hr = control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) {
    std::printf("cannot create the control or find the method (0x%08lX): is the module registered?\n",
                static_cast<unsigned long>(hr));
    return 1;
  }

  BSTR version = nullptr, error = nullptr;
  VARIANT args[3];
  V_VT(&args[2]) = VT_BSTR;
  V_BSTR(&args[2]) = ::SysAllocString(L"QvxTestApp");
  V_VT(&args[1]) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&args[1]) = &version;
  V_VT(&args[0]) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&args[0]) = &error;
  VARIANT result;
  ::VariantInit(&result);
  auto call = [&] {
    DISPPARAMS params = {args, nullptr, 3, 0};
    ::VariantClear(&result);
    return SUCCEEDED(control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr,
                                     nullptr)) &&
           V_VT(&result) == VT_BOOL && V_BOOL(&result) == VARIANT_TRUE;
  };
  // The path the module sends for a caller without customer data.
  auto path = [] {
    return qvx::VersionObjectPath(false, static_cast<int32_t>(std::time(nullptr)), "QvxTestApp",
                                  qvx::EncodeRequestText(qvx::VersionCredentials("", qvx::MachineIdentifier(), "")));
  };

  bool ok = call() && PlainGet(port, path());  // warm both paths once
  std::vector<double> viaControl, plain;
  for (int i = 0; ok && i < kRounds; ++i) {
    double start = Seconds();
    ok = call();
    viaControl.push_back(Seconds() - start);
    const std::string p = path();
    start = Seconds();
    ok = ok && PlainGet(port, p);
    plain.push_back(Seconds() - start);
  }
  ::VariantClear(&result);
  ::VariantClear(&args[2]);
  ::SysFreeString(version);
  ::SysFreeString(error);
  if (!ok) {
    std::printf("a version query failed while measuring (is the normal server at port %d running?)\n", port);
    return 1;
  }
  const double a = Median(viaControl), b = Median(plain);
  std::printf("\nVersion query on loopback, median of %d round trips:\n", kRounds);
  std::printf("  %-58s %10.3f ms\n", "GetLastAppVersionFromVandrel by IDispatch::Invoke", a * 1e3);
  std::printf("  %-58s %10.3f ms\n", "plain WinInet GET of the same URL", b * 1e3);
  std::printf("  %-58s %10.2f   (goal <= %.1f)\n", "ratio Invoke / plain GET", a / b, kRatioGoal);
  return 0;
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (FAILED(::CoInitialize(nullptr))) {
    std::printf("CoInitialize failed\n");
    return 1;
  }
  const int rc = Run();
  ::CoUninitialize();
  return rc;
}
