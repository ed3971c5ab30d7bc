// The type library QVXINTLLib, written at build time for the module's
// platform and embedded as TYPELIB 1:
//   write_typelib win32|win64 OUTPUT.tlb
// Its methods are the control's own dispatch table (control/intl_methods.h).
// A 64-bit program under the build machine's Wine writes either platform's.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "control/intl_ids.h"
#include "control/intl_methods.h"
#include "framework/typelib_writer.h"
#include "intl/number_settings.h"

namespace {

using qvx::fw::TypeLibDescription;

const TypeLibDescription kLibrary = {
    L"QVXINTLLib",
    &qvx::LIBID_QVXINTLLib,
    qvx::kTypeLibMajor,
    qvx::kTypeLibMinor,
    0x0409,
    L"Quorvex Internationalization ActiveX Control module",
    L"QuorvexIntl.hlp",
    {{qvx::kIntlConvertFlagsName,
      {{L"DEC_MINIMO", qvx::intl::DEC_MINIMO, L"Mínimo"},
       {L"DEC_MINIMO_MILES", qvx::intl::DEC_MINIMO_MILES, L"Mínimo/Miles"},
       {L"DEC_FIJO", qvx::intl::DEC_FIJO, L"Fijo"},
       {L"DEC_FIJO_MILES", qvx::intl::DEC_FIJO_MILES, L"Fijo/Miles"}}}},
    {L"_DQVXIntl", &qvx::DIID_DQVXIntl, L"Dispatch interface for Quorvex Internationalization Control",
     qvx::kIntlMethods, sizeof(qvx::kIntlMethods) / sizeof(qvx::kIntlMethods[0])},
    {L"_DQVXIntlEvents", &qvx::DIID_DQVXIntlEvents, L"Event interface for Quorvex Internationalization Control",
     nullptr, 0},
    L"Internationalization",
    &qvx::CLSID_QVXIntl,
    L"Quorvex Internationalization Control",
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool win32 = argc == 3 && std::wcscmp(argv[1], L"win32") == 0;
  if (argc != 3 || (!win32 && std::wcscmp(argv[1], L"win64") != 0)) {
    std::fputs("usage: write_typelib win32|win64 OUTPUT.tlb\n", stderr);
    return 2;
  }
  ::CoInitialize(nullptr);
  const HRESULT hr = qvx::fw::WriteTypeLib(kLibrary, win32 ? SYS_WIN32 : SYS_WIN64, argv[2]);
  ::CoUninitialize();
  if (hr == HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION))
    std::fprintf(stderr, "write_typelib: the ANSI code page is %u, not that of the library's locale\n", ::GetACP());
  else if (FAILED(hr))
    std::fprintf(stderr, "write_typelib: error 0x%08lx\n", static_cast<unsigned long>(hr));
  return FAILED(hr) ? 1 : 0;
}
