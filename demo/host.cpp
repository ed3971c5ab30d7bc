// QvxDemo.exe, a host application as the maker's customers run it: a dialog
// window whose template embeds the control through Wine's own ATL container
// window (AtlAxWin), a number box that the control writes in the user's
// regional format, and the control's update service: the menu item and the
// start-up check that the control brings by itself once it is sited, and the
// download of the newer version, which the host asks for by name.
#include <windows.h>
#include <oleauto.h>

#include <cwchar>
#include <initializer_list>
#include <string>
#include <vector>

#include "host_ids.h"

namespace {

constexpr long kDecFijoMiles = 3;  // IntlConvertFlags: exactly the decimals asked for, grouped
const wchar_t kPreferences[] = L"Software\\Quorvex\\QuorvexIntl\\QVXDEMO";

IDispatch* g_control = nullptr;  // the embedded control, while the window lives

struct Result {
  VARIANT v;
  Result() { ::VariantInit(&v); }
  ~Result() { ::VariantClear(&v); }
};

VARIANT Text(BSTR text) {
  VARIANT v;
  V_VT(&v) = VT_BSTR, V_BSTR(&v) = text;
  return v;
}

// One of the control's methods by name, as a script host calls it. The
// arguments come in declaration order and are the caller's to free.
HRESULT Call(const wchar_t* name, std::initializer_list<VARIANT> args, Result& result) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (HRESULT hr = g_control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); FAILED(hr)) return hr;
  std::vector<VARIANT> lastFirst(std::rbegin(args), std::rend(args));
  DISPPARAMS params = {lastFirst.data(), nullptr, static_cast<UINT>(lastFirst.size()), 0};
  return g_control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result.v, nullptr, nullptr);
}

std::wstring TextOf(const VARIANT& v) { return V_VT(&v) == VT_BSTR && V_BSTR(&v) ? V_BSTR(&v) : L""; }

std::wstring ItemText(HWND dialog, int id) {
  std::wstring text(::GetWindowTextLengthW(::GetDlgItem(dialog, id)) + 1, L'\0');
  text.resize(::GetDlgItemTextW(dialog, id, text.data(), static_cast<int>(text.size())));
  return text;
}

// The number as the user typed it (in the regional format, or plain) is
// read by the control and written back with two decimals, grouped.
void Reformat(HWND dialog) {
  const std::wstring typed = ItemText(dialog, IDC_NUMBER);
  if (typed.empty()) return;
  BSTR text = ::SysAllocString(typed.c_str());
  Result valid, value, shown;
  if (SUCCEEDED(Call(L"ValidateIntlStr", {Text(text)}, valid)) && V_BOOL(&valid.v) &&
      SUCCEEDED(Call(L"ConvertIntlStrToFlt", {Text(text)}, value))) {
    VARIANT number, decimals, flags;
    V_VT(&number) = VT_R8, V_R8(&number) = V_R8(&value.v);
    V_VT(&decimals) = VT_I4, V_I4(&decimals) = 2;
    V_VT(&flags) = VT_I4, V_I4(&flags) = kDecFijoMiles;
    if (SUCCEEDED(Call(L"ConvertFltToIntlStr", {number, decimals, flags}, shown)))
      ::SetDlgItemTextW(dialog, IDC_NUMBER, TextOf(shown.v).c_str());
    wchar_t read[64];
    std::swprintf(read, 64, L"Valor leído: %.15g", V_R8(&value.v));
    ::SetDlgItemTextW(dialog, IDC_VALUE, read);
  } else {
    ::SetDlgItemTextW(dialog, IDC_VALUE, (L"«" + typed + L"» no es un número").c_str());
  }
  ::SysFreeString(text);
}

// The download dialog for this program; the installer it fetches would be
// run by the host on closing. The dialog's check box is the host's own
// start-up check preference.
void DownloadUpdate(HWND dialog) {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  DWORD preference = 0, size = sizeof preference;
  ::RegGetValueW(HKEY_CURRENT_USER, kPreferences, L"AutoUpdate", RRF_RT_REG_DWORD, nullptr, &preference, &size);
  VARIANT_BOOL autoCheck = preference ? VARIANT_TRUE : VARIANT_FALSE;
  BSTR app = ::SysAllocString(path), extension = ::SysAllocString(L"");
  BSTR outs[4] = {};  // installer, runtime package installer, installed version, latest version
  VARIANT check, out[4];
  V_VT(&check) = VT_BYREF | VT_BOOL, V_BOOLREF(&check) = &autoCheck;
  for (int i = 0; i < 4; ++i) V_VT(&out[i]) = VT_BYREF | VT_BSTR, V_BSTRREF(&out[i]) = &outs[i];
  Result done;
  const HRESULT hr =
      Call(L"AutoUpdateExt2", {Text(app), Text(extension), check, out[0], out[1], out[2], out[3]}, done);
  std::wstring status = L"No se ha descargado ninguna actualización.";
  if (FAILED(hr)) {
    status = L"AutoUpdateExt2 falló.";
  } else {
    preference = autoCheck != VARIANT_FALSE;
    ::RegSetKeyValueW(HKEY_CURRENT_USER, kPreferences, L"AutoUpdate", REG_DWORD, &preference, sizeof preference);
    if (V_BOOL(&done.v) && outs[0] && *outs[0]) status = std::wstring(L"Instalador descargado: ") + outs[0];
  }
  ::SetDlgItemTextW(dialog, IDC_STATUS, status.c_str());
  for (BSTR b : {app, extension, outs[0], outs[1], outs[2], outs[3]}) ::SysFreeString(b);
}

void About(HWND dialog) {
  BSTR least = ::SysAllocString(L"4.2.5.0");
  VARIANT_BOOL atLeast = VARIANT_FALSE;
  VARIANT out;
  V_VT(&out) = VT_BYREF | VT_BOOL, V_BOOLREF(&out) = &atLeast;
  Result version;
  Call(L"VerifyCtrlVersion", {Text(least), out}, version);
  ::SysFreeString(least);
  const std::wstring text = L"Quorvex Demo 4.1.0.0\nQuorvexIntl.ocx " + TextOf(version.v);
  ::MessageBoxW(dialog, text.c_str(), L"Acerca de Quorvex Demo", MB_ICONINFORMATION);
}

void OnCommand(HWND dialog, WORD id, WORD code) {
  HWND number = ::GetDlgItem(dialog, IDC_NUMBER);
  switch (id) {
    case IDOK: return Reformat(dialog);
    case IDC_NUMBER: if (code == EN_KILLFOCUS) Reformat(dialog); return;
    case ID_EDIT_COPY: ::SendMessageW(number, WM_COPY, 0, 0); return;
    case ID_EDIT_PASTE: ::SendMessageW(number, WM_PASTE, 0, 0); return;
    case ID_EDIT_CLEAR: ::SetWindowTextW(number, L""), ::SetDlgItemTextW(dialog, IDC_VALUE, L""); return;
    case ID_HELP_DOWNLOAD: return DownloadUpdate(dialog);
    case ID_HELP_ABOUT: return About(dialog);
    case ID_FILE_EXIT: ::DestroyWindow(dialog); return;
  }
}

INT_PTR CALLBACK MainProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      using GetControl = HRESULT(WINAPI*)(HWND, IUnknown**);
      auto get = reinterpret_cast<GetControl>(
          reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"atl.dll"), "AtlAxGetControl")));
      IUnknown* control = nullptr;
      HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
      ::SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
      ::SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
      HWND container = ::GetDlgItem(dialog, IDC_CONTROL);
      // The control is invisible at run time; the container shows it once in place.
      ::ShowWindow(container, SW_HIDE);
      if (get && SUCCEEDED(get(container, &control))) {
        control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&g_control));
        control->Release();
      }
      return TRUE;
    }
    case WM_COMMAND:
      OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CLOSE:  // Escape does nothing; the close box and "Salir" end the program
      ::DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      if (g_control) g_control->Release(), g_control = nullptr;
      ::PostQuitMessage(0);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  if (FAILED(::OleInitialize(nullptr))) return 1;
  using Init = BOOL(WINAPI*)();
  auto init = reinterpret_cast<Init>(
      reinterpret_cast<void (*)()>(::GetProcAddress(::LoadLibraryW(L"atl.dll"), "AtlAxWinInit")));
  HWND main = init && init() ? ::CreateDialogW(instance, MAKEINTRESOURCEW(IDD_QVXDEMO), nullptr, MainProc) : nullptr;
  if (main && !g_control) ::DestroyWindow(main), main = nullptr;
  if (!main) {
    ::MessageBoxW(nullptr, L"No se pudo crear el control QuorvexIntl: ¿está registrado?", L"Quorvex Demo",
                  MB_ICONERROR);
    ::OleUninitialize();
    return 1;
  }
  // The keypad's decimal key types the user's decimal separator in the number box.
  VARIANT on;
  V_VT(&on) = VT_BOOL, V_BOOL(&on) = VARIANT_TRUE;
  Result none;
  Call(L"SetIntlKeyDec", {on}, none);
  ::ShowWindow(main, show);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (::IsWindow(main) && ::IsDialogMessageW(main, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  ::OleUninitialize();
  return 0;
}
