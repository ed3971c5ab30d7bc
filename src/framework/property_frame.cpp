// The control's "Properties" verb. The platform's frame lists a control's
// property pages; a control with none would get a frame without pages, which
// Wine cannot close (its OK, Cancel and close box act on the active page,
// and there is none) and which Wine does not give the owner asked for. So
// the frame is the system's property sheet, owned and modal as asked, with
// one blank page titled with the control's name.
#include "framework/ole_control.h"

#include <commctrl.h>
#include <prsht.h>

#include "framework/dialog.h"

namespace qvx::fw {
namespace {

INT_PTR CALLBACK BlankPage(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Returns PropertySheetW's answer: -1 when the frame could not be shown.
INT_PTR ShowPropertyFrame(HWND owner, const wchar_t* caption) {
  const INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_TAB_CLASSES};
  ::InitCommonControlsEx(&classes);
  struct {
    DLGTEMPLATE dialog;
    WORD menu, windowClass, title;
  } blank = {{WS_CHILD | DS_CONTROL, 0, 0, 0, 0, 200, 100}, 0, 0, 0};
  PROPSHEETPAGEW page = {};
  page.dwSize = sizeof(page);
  page.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
  page.pResource = &blank.dialog;
  page.pfnDlgProc = BlankPage;
  page.pszTitle = caption;
  HPROPSHEETPAGE pages[] = {::CreatePropertySheetPageW(&page)};
  if (pages[0] == nullptr) return -1;
  PROPSHEETHEADERW sheet = {};
  sheet.dwSize = sizeof(sheet);
  sheet.dwFlags = PSH_PROPTITLE | PSH_NOAPPLYNOW;  // nothing to apply
  sheet.hwndParent = owner;
  sheet.pszCaption = caption;
  sheet.nPages = 1;
  sheet.phpage = pages;
  return ::PropertySheetW(&sheet);  // destroys the page, shown or not
}

}  // namespace

HRESULT COleControl::OnProperties(HWND parent) {
  HWND owner = parent;
  com_ptr<IOleWindow> siteWindow;
  if (owner == nullptr && site_ && SUCCEEDED(site_->QueryInterface(IID_IOleWindow, siteWindow.put_void())))
    siteWindow->GetWindow(&owner);
  if (owner == nullptr) owner = window_;
  if (owner != nullptr) owner = ::GetAncestor(owner, GA_ROOT);
  if (owner == nullptr) owner = ::GetActiveWindow();
  if (owner == nullptr) owner = ThreadMainWindow();
  LPOLESTR name = nullptr;
  HRESULT hr = GetUserType(USERCLASSTYPE_FULL, &name);
  if (FAILED(hr)) return hr;
  // The host may release the control while the frame runs.
  AddRef();
  const INT_PTR shown = ShowPropertyFrame(owner, name);
  ::CoTaskMemFree(name);
  Release();
  return shown < 0 ? E_FAIL : S_OK;
}

}  // namespace qvx::fw
