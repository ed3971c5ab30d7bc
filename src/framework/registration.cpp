#include "framework/registration.h"

#include <olectl.h>
#include <oleauto.h>

#include <cstdio>

#include "framework/ansi.h"
#include "framework/handles.h"
#include "framework/module_state.h"

namespace qvx::fw {

std::string GuidText(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

namespace {

// Sets the default value (name nullptr) or a named value of HKCR\<path>.
bool SetText(const std::string& path, const char* name, const std::string& value) {
  unique_hkey key;
  if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  return ::RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool CreateKey(const std::string& path) {
  unique_hkey key;
  return ::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                           nullptr, key.put(), nullptr) == ERROR_SUCCESS;
}

bool DeleteTree(const std::string& path) {
  LSTATUS rc = ::RegDeleteTreeA(HKEY_CLASSES_ROOT, path.c_str());
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
    rc = ::RegDeleteKeyA(HKEY_CLASSES_ROOT, path.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
  }
  return false;
}

}  // namespace

BOOL RegisterControlClass(const ControlRegistration& reg) {
  const std::wstring widePath = ModuleFilePath(reg.instance);
  const std::string path = AnsiFromWide(widePath.c_str(), widePath.size());
  if (path.empty()) return FALSE;
  const std::string clsid = "CLSID\\" + GuidText(*reg.clsid);
  const std::string userType = LoadResString(reg.userTypeNameId);
  const std::string progId = reg.progId;

  bool ok = SetText(progId, nullptr, userType);
  ok = SetText(progId + "\\CLSID", nullptr, GuidText(*reg.clsid)) && ok;
  ok = SetText(clsid, nullptr, userType) && ok;
  ok = SetText(clsid + "\\ProgID", nullptr, progId) && ok;
  ok = SetText(clsid + "\\InprocServer32", nullptr, path) && ok;
  if (reg.flags & kRegApartmentThreading) ok = SetText(clsid + "\\InprocServer32", "ThreadingModel", "Apartment") && ok;
  ok = CreateKey(clsid + "\\Control") && ok;
  ok = SetText(clsid + "\\MiscStatus", nullptr, "0") && ok;
  ok = SetText(clsid + "\\MiscStatus\\1", nullptr, std::to_string(reg.miscStatus)) && ok;
  ok = SetText(clsid + "\\ToolboxBitmap32", nullptr, path + ", " + std::to_string(reg.toolboxBitmapId)) && ok;
  // Containers list the verbs from here: the properties verb, which every
  // control answers, on the container's menu ("name,menu flags,attributes":
  // MF_STRING | MF_ENABLED, OLEVERBATTRIB_ONCONTAINERMENU).
  ok = DeleteTree(clsid + "\\Verb") && ok;
  ok = SetText(clsid + "\\Verb\\" + std::to_string(OLEIVERB_PROPERTIES), nullptr, "Properties,0,2") && ok;
  ok = SetText(clsid + "\\TypeLib", nullptr, GuidText(*reg.typeLib)) && ok;
  ok = SetText(clsid + "\\Version", nullptr,
               std::to_string(reg.typeLibMajor) + "." + std::to_string(reg.typeLibMinor)) && ok;
  if (reg.flags & kRegInsertable) {
    ok = CreateKey(clsid + "\\Insertable") && CreateKey(progId + "\\Insertable") && ok;
  } else {
    // A stale mark from an older registration would make the class insertable.
    ok = DeleteTree(clsid + "\\Insertable") && DeleteTree(progId + "\\Insertable") && ok;
  }
  return ok ? TRUE : FALSE;
}

BOOL UnregisterControlClass(const CLSID& clsid, const char* progId) {
  bool ok = DeleteTree("CLSID\\" + GuidText(clsid));
  ok = DeleteTree(progId) && ok;
  return ok ? TRUE : FALSE;
}

HRESULT RegisterModuleTypeLib(HINSTANCE instance) {
  std::wstring path = ModuleFilePath(instance);
  if (path.empty()) return HRESULT_FROM_WIN32(::GetLastError());
  com_ptr<ITypeLib> lib;
  HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put());
  if (FAILED(hr)) return hr;
  std::wstring helpDir = path.substr(0, path.find_last_of(L'\\') + 1);
  return ::RegisterTypeLib(lib.get(), path.data(), helpDir.empty() ? nullptr : helpDir.data());
}

HRESULT UnregisterModuleTypeLib(HINSTANCE instance, const GUID& libid, WORD major, WORD minor) {
  LCID lcid = 0;
  SYSKIND syskind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  com_ptr<ITypeLib> lib;
  std::wstring path = ModuleFilePath(instance);
  if (!path.empty() && SUCCEEDED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.put()))) {
    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(lib->GetLibAttr(&attr))) {
      lcid = attr->lcid;
      syskind = attr->syskind;
      lib->ReleaseTLibAttr(attr);
    }
  }
  return ::UnRegisterTypeLib(libid, major, minor, lcid, syskind);
}

}  // namespace qvx::fw
