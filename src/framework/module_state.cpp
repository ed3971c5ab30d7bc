#include "framework/module_state.h"

#include "framework/ansi.h"
#include "framework/handles.h"

namespace qvx::fw {

ModuleState& Module() {
  static ModuleState state;
  return state;
}

std::wstring ModuleFilePath(HINSTANCE module) {
  std::wstring path(MAX_PATH, L'\0');
  while (path.size() <= 32768) {
    DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);  // truncated: try a larger buffer
  }
  ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return {};
}

void AttachModule(HINSTANCE instance) {
  ModuleState& m = Module();
  m.instance = instance;
  m.resources = instance;
  m.threadId = ::GetCurrentThreadId();
  const std::wstring path = ModuleFilePath(instance);
  std::string name = AnsiFromWide(path.c_str(), path.size());
  size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  m.appName = name;
}

void SetResourceHandle(HINSTANCE resources) {
  ::InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&Module().resources), resources);
}

void SetRegistryKey(const std::string& key) {
  Module().registryKey = key;
  Module().profileName = Module().appName;
}

std::string LoadResString(UINT id) {
  const wchar_t* text = nullptr;
  // With a zero buffer size LoadStringW hands out a pointer into the resource.
  int n = ::LoadStringW(Module().resources, id, reinterpret_cast<LPWSTR>(&text), 0);
  if (n <= 0 || text == nullptr) return {};
  return AnsiFromWide(text, static_cast<size_t>(n));
}

int ModuleMessageBox(const std::string& text, UINT type) {
  return ::MessageBoxA(::GetActiveWindow(), text.c_str(), Module().appName.c_str(), type);
}

namespace {

unique_hkey OpenSectionKey(const std::string& section, bool create) {
  const ModuleState& m = Module();
  unique_hkey key;
  if (m.registryKey.empty() || m.profileName.empty()) return key;
  std::string path = "Software\\" + m.registryKey + "\\" + m.profileName + "\\" + section;
  if (create) {
    ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                      key.put(), nullptr);
  } else {
    ::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.put());
  }
  return key;
}

}  // namespace

UINT GetProfileInt(const std::string& section, const std::string& entry, int defaultValue) {
  unique_hkey key = OpenSectionKey(section, false);
  if (!key) return static_cast<UINT>(defaultValue);
  DWORD value = 0, type = 0, size = sizeof(value);
  if (::RegQueryValueExA(key.get(), entry.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value))
    return static_cast<UINT>(defaultValue);
  return value;
}

bool WriteProfileInt(const std::string& section, const std::string& entry, int value) {
  unique_hkey key = OpenSectionKey(section, true);
  if (!key) return false;
  DWORD v = static_cast<DWORD>(value);
  return ::RegSetValueExA(key.get(), entry.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof(v)) ==
         ERROR_SUCCESS;
}

}  // namespace qvx::fw
