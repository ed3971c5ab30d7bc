// The module's life in a host process: loaded by COM, used with windows,
// hooks and dialogs, unloaded by COM when nothing of it lives, and loaded
// again, a hundred times (25 in the 32-bit suite); nothing it made may
// outlive it.
#include <winsock2.h>
#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <thread>

#include "qvx_test.h"

namespace qvxtest {
namespace {

constexpr wchar_t kModuleName[] = L"QuorvexIntl.ocx";
// A cycle takes about two seconds under the 32-bit suite's emulator.
constexpr int kCycles = sizeof(void*) == 8 ? 100 : 25;

int ThreadCount() {
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry))
    count += entry.th32OwnerProcessID == ::GetCurrentProcessId();
  ::CloseHandle(snapshot);
  return count;
}

// One host's life: the control in Wine's AtlAxWin in a window with a menu bar
// (its window, start-up integration and menu hook), the keypad hook on and
// off, and with a dialog the update properties opened from the menu item and
// closed by a user. Returns the module's handle.
HMODULE UseOnce(bool dialog) {
  const AtlHost host(30);
  com_ptr<IDispatch> control = AtlControl(host.ax);
  EXPECT_TRUE(control);
  EXPECT_EQ(S_OK, CallByName(control.get(), L"SetIntlKeyDec", {Var::Bool(true).v}, nullptr));
  if (dialog) {
    std::atomic<bool> closed{false};
    std::thread user([&] {
      HWND shown = nullptr;
      if (WaitUntil([&] { return (shown = ShownDialog(L"Propiedades de actualización")) != nullptr; }, 10000))
        ::PostMessageW(shown, WM_COMMAND, IDCANCEL, 0), closed = true;
    });
    ::PostMessageW(host.main.get(), WM_COMMAND, 65534, 0);
    PumpMessages(200);
    user.join();
    EXPECT_TRUE(closed) << "the menu item opened no properties dialog";
  }
  EXPECT_EQ(S_OK, CallByName(control.get(), L"SetIntlKeyDec", {Var::Bool(false).v}, nullptr));
  return ::GetModuleHandleW(kModuleName);
}

TEST(ModuleLife, UnloadedAndLoadedAgainManyTimes) {
  ComScope com;
  ASSERT_TRUE(AtlReady());
  ASSERT_EQ(nullptr, ::GetModuleHandleW(kModuleName)) << "the test must load the module through COM only";
  const bool richEdit = ::GetModuleHandleW(L"riched20.dll") != nullptr;
  int threads = 0;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    SCOPED_TRACE(cycle);
    const HMODULE module = UseOnce(cycle % 25 == 0 || cycle == kCycles - 1);
    ASSERT_NE(nullptr, module);
    ::CoFreeUnusedLibrariesEx(0, 0);
    ASSERT_EQ(nullptr, ::GetModuleHandleW(kModuleName)) << "COM did not unload the module";
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    EXPECT_FALSE(::GetClassInfoExW(module, L"QuorvexIntlControlWindow", &wc)) << "its window class outlived it";
    PumpMessages(20);  // a hook left behind would run unloaded code here
    if (cycle == 0) threads = ThreadCount();
  }
  EXPECT_EQ(threads, ThreadCount()) << "threads that outlive the module";
  EXPECT_EQ(richEdit, ::GetModuleHandleW(L"riched20.dll") != nullptr) << "the rich-edit library it loaded";
  EXPECT_EQ(SOCKET_ERROR, ::WSACleanup()) << "its Windows Sockets start-up was not undone";
  EXPECT_EQ(WSANOTINITIALISED, ::WSAGetLastError());
}

}  // namespace
}  // namespace qvxtest
