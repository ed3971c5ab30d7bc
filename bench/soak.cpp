// The soak: cycles of a host's whole use of the control (create it, call
// each number method, switch the keypad hook on and off, one version query
// against the reference update server, release), then the module unloaded.
// It prints what the process holds after the first 1,000 cycles and after
// all of them, and fails (exit 1) when something grew beyond noise.
//
// Needs the module registered and the servers running (tools/update-servers
// start DIR); QVX_UPDATE_SERVERS names DIR\servers.txt.
//   qvx_soak [cycles]   (10000 by default)
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_clock.h"
#include "bench_servers.h"
#include "qvx_test.h"

namespace {

using namespace qvxtest;

struct Holdings {
  DWORD handles = 0, gdi = 0, user = 0;
  SIZE_T privateBytes = 0;
};

// Wine answers 0 for the handle count, the GUI objects and PrivateUsage. It
// hands out the lowest free handle slot, so a new handle's slot counts the
// handles in use (a leaked one keeps its slot); and its PagefileUsage is
// the process's private memory as Linux counts it.
Holdings Now() {
  Holdings h;
  ::GetProcessHandleCount(::GetCurrentProcess(), &h.handles);
  if (h.handles == 0) {
    const HANDLE probe = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    h.handles = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(probe) / 4);
    ::CloseHandle(probe);
  }
  h.gdi = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  h.user = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS);
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof memory;
  if (::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory))
    h.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
  return h;
}

void Print(const char* when, const Holdings& h) {
  auto count = [](DWORD n) { return n ? std::to_string(n) : std::string("-"); };  // "-": not reported
  std::printf("soak: %-22s handles %5s  GDI objects %4s  USER objects %4s  private bytes %7.2f MB\n", when,
              count(h.handles).c_str(), count(h.gdi).c_str(), count(h.user).c_str(), h.privateBytes / 1048576.0);
}

// One host's use; false when a call did not answer as it should.
bool Cycle() {
  com_ptr<IDispatch> control = CreateControl();
  if (!control) return false;
  Var text(L"1234567.891"), flags(1L), number(-1234.5), decimals(2L), regional(L"-1.234,50"), on = Var::Bool(true),
      off = Var::Bool(false), app(L"QvxTestApp");
  Var results[6];
  BSTR version = nullptr, error = nullptr;
  VARIANT outs[2];
  V_VT(&outs[0]) = V_VT(&outs[1]) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&outs[0]) = &version, V_BSTRREF(&outs[1]) = &error;
  const bool ok = CallByName(control.get(), L"ConvertStrToIntlStr", {text.v, flags.v}, &results[0].v) == S_OK &&
                  CallByName(control.get(), L"ConvertFltToIntlStr", {number.v, decimals.v, flags.v}, &results[1].v) == S_OK &&
                  CallByName(control.get(), L"ConvertIntlStrToStr", {regional.v}, &results[2].v) == S_OK &&
                  CallByName(control.get(), L"ConvertIntlStrToFlt", {regional.v}, &results[3].v) == S_OK &&
                  CallByName(control.get(), L"ValidateIntlStr", {regional.v}, &results[4].v) == S_OK &&
                  CallByName(control.get(), L"SetIntlKeyDec", {on.v}, nullptr) == S_OK &&
                  CallByName(control.get(), L"SetIntlKeyDec", {off.v}, nullptr) == S_OK &&
                  CallByName(control.get(), L"GetLastAppVersionFromVandrel", {app.v, outs[0], outs[1]}, &results[5].v) == S_OK &&
                  V_VT(&results[5].v) == VT_BOOL && V_BOOL(&results[5].v) == VARIANT_TRUE;
  ::SysFreeString(version), ::SysFreeString(error);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int port = qvxbench::NormalPort();
  if (port == 0 || cycles < 1000) {
    std::printf("soak: needs QVX_UPDATE_SERVERS with a normal server, and at least 1000 cycles\n");
    return 1;
  }
  const qvxbench::UpdateServerValue setting("127.0.0.1:" + std::to_string(port));
  ComScope com;
  Holdings first;
  const double start = Seconds();
  int failures = 0;
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    failures += !Cycle();
    PumpMessages(0);
    if (cycle == 1000) Print("after 1,000 cycles", first = Now());
  }
  const Holdings last = Now();
  Print(("after " + std::to_string(cycles) + " cycles").c_str(), last);
  ::CoFreeUnusedLibrariesEx(0, 0);
  const bool unloaded = ::GetModuleHandleW(L"QuorvexIntl.ocx") == nullptr;
  Print(unloaded ? "module unloaded" : "module NOT unloaded", Now());
  std::printf("soak: %d cycles in %.0f s, %d failed calls\n", cycles, Seconds() - start, failures);
  // Noise: Wine's and the C runtime's own caches settle within the first
  // thousand cycles; a leak of one handle or one object per cycle shows as
  // thousands, of 100 bytes per cycle as close to a megabyte.
  const bool grew = last.handles > first.handles + 16 || last.gdi > first.gdi + 16 || last.user > first.user + 16 ||
                    last.privateBytes > first.privateBytes + 2 * 1048576;
  std::printf("soak: %s\n", grew ? "FAILED: the process grew" : failures || !unloaded ? "FAILED" : "no growth");
  return grew || failures || !unloaded ? 1 : 0;
}
