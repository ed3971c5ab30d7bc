#include "framework/dialog.h"

#include <commctrl.h>

#include "framework/module_state.h"

namespace qvx::fw {

void DataExchange::Text(int id, std::string& value) {
  HWND item = ::GetDlgItem(dialog_, id);
  if (!saving_) {
    ::SetWindowTextA(item, value.c_str());
    return;
  }
  const int length = ::GetWindowTextLengthA(item);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  text.resize(static_cast<size_t>(::GetWindowTextA(item, text.data(), length + 1)));
  value = std::move(text);
}

void DataExchange::Check(int id, int& value) {
  if (saving_) {
    value = static_cast<int>(::IsDlgButtonChecked(dialog_, id));
  } else {
    ::CheckDlgButton(dialog_, id, static_cast<UINT>(value));
  }
}

void DataExchange::Radio(int firstId, int& index) {
  HWND first = ::GetDlgItem(dialog_, firstId);
  if (saving_) index = -1;
  int i = 0;
  for (HWND button = first; button != nullptr; ++i) {
    if (saving_) {
      if (::SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED) index = i;
    } else {
      ::SendMessageA(button, BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    button = ::GetWindow(button, GW_HWNDNEXT);
    if (button != nullptr && (::GetWindowLongA(button, GWL_STYLE) & WS_GROUP)) break;
  }
}

namespace {

// The context of the module's manifest (resource 2), made on first use and
// kept until the module is unloaded; nullptr when the module has none.
HANDLE g_activationContext = nullptr;

HANDLE ModuleActivationContext() {
  if (HANDLE context = g_activationContext) return context;
  ACTCTXA request = {};
  request.cbSize = sizeof(request);
  request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.hModule = Module().instance;
  request.lpResourceName = MAKEINTRESOURCEA(2);
  HANDLE made = ::CreateActCtxA(&request);
  if (made == INVALID_HANDLE_VALUE) return nullptr;
  // Another thread's dialog may have made one meanwhile: keep the first.
  if (::InterlockedCompareExchangePointer(&g_activationContext, made, nullptr) != nullptr) ::ReleaseActCtx(made);
  return g_activationContext;
}

class ActivationScope {
 public:
  explicit ActivationScope(HANDLE context) {
    if (context != nullptr && !::ActivateActCtx(context, &cookie_)) cookie_ = 0;
  }
  ~ActivationScope() {
    if (cookie_ != 0) ::DeactivateActCtx(0, cookie_);
  }
  ActivationScope(const ActivationScope&) = delete;
  ActivationScope& operator=(const ActivationScope&) = delete;

 private:
  ULONG_PTR cookie_ = 0;
};

}  // namespace

void ReleaseDialogActivationContext() {
  if (HANDLE context = ::InterlockedExchangePointer(&g_activationContext, nullptr)) ::ReleaseActCtx(context);
}

INT_PTR CDialog::DoModal() {
  HWND owner = owner_;
  if (owner == nullptr) owner = ::GetActiveWindow();
  if (owner == nullptr) owner = ThreadMainWindow();
  ActivationScope scope(ModuleActivationContext());
  const INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_LINK_CLASS | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&classes);
  return ::DialogBoxParamA(Module().resources, MAKEINTRESOURCEA(templateId_), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog() {
  UpdateData(false);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnCommand(WORD id, WORD, HWND) {
  switch (id) {
    case IDOK:
      OnOK();
      return true;
    case IDCANCEL:
      OnCancel();
      return true;
    default:
      return false;
  }
}

bool CDialog::UpdateData(bool save) {
  if (hwnd_ == nullptr) return false;
  DataExchange exchange(hwnd_, save);
  DoDataExchange(exchange);
  return true;
}

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }

HFONT CDialog::AdoptFont(HFONT font) {
  if (font != nullptr) fonts_.emplace_back(font);
  return font;
}

void CDialog::SetBoldFont(std::initializer_list<int> ids) {
  LOGFONTA face{};
  const auto shown = ids.size() ? reinterpret_cast<HFONT>(::SendMessageA(Item(*ids.begin()), WM_GETFONT, 0, 0)) : nullptr;
  if (shown == nullptr || ::GetObjectA(shown, sizeof face, &face) == 0) return;
  face.lfWeight = 600;
  if (HFONT bold = AdoptFont(::CreateFontIndirectA(&face)))
    for (int id : ids) ::SendMessageA(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(bold), TRUE);
}

HICON CDialog::AdoptIcon(HICON icon) {
  if (icon != nullptr) icons_.emplace_back(icon);
  return icon;
}

void CDialog::Detach() {
  hwnd_ = nullptr;
  fonts_.clear();
  icons_.clear();
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (!OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result)) return FALSE;
      ::SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
      return TRUE;
    }
    default: {
      bool handled = false;
      const INT_PTR result = OnMessage(message, wParam, lParam, handled);
      return handled ? result : FALSE;
    }
  }
}

// The object rides in DWLP_USER from WM_INITDIALOG to WM_NCDESTROY; messages
// outside that span (WM_SETFONT before it) get the default handling.
INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* dialog = nullptr;
  if (message == WM_INITDIALOG) {
    dialog = reinterpret_cast<CDialog*>(lParam);
    dialog->hwnd_ = window;
    ::SetWindowLongPtrA(window, DWLP_USER, lParam);
  } else {
    dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
  }
  if (dialog == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrA(window, DWLP_USER, 0);
    dialog->Detach();
    return FALSE;
  }
  // Nothing may be thrown through the window manager: a failure ends the
  // dialog as if it could not be shown.
  try {
    return dialog->Dispatch(message, wParam, lParam);
  } catch (...) {
    ::EndDialog(window, -1);
    return FALSE;
  }
}

namespace {

BOOL CALLBACK FindMainWindow(HWND window, LPARAM found) {
  if (::IsWindowVisible(window) && ::GetWindow(window, GW_OWNER) == nullptr) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND ThreadMainWindow() {
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), FindMainWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace qvx::fw
