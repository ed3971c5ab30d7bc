#include "update/dlg_auto_update.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "common/deployment_settings.h"
#include "common/file_version.h"
#include "common/folder_lookup.h"
#include "common/request_encoding.h"
#include "common/version_compare.h"
#include "framework/module_state.h"
#include "framework/png_bitmap.h"
#include "mail/customer_data.h"
#include "resources/resource.h"
#include "update/download_text.h"
#include "update/version_query.h"
#include "update/version_request.h"

namespace qvx {

namespace {

constexpr UINT_PTR kCheckTimer = 105;
constexpr int kButtonIcon = 24;
constexpr UINT kHelpContext = 15;  // HH_HELP_CONTEXT

HICON ButtonIcon(UINT id) {
  return static_cast<HICON>(
      ::LoadImageA(fw::Module().resources, MAKEINTRESOURCEA(id), IMAGE_ICON, kButtonIcon, kButtonIcon, 0));
}

// The module's help file at a context, through HTML Help (loaded on demand,
// so that a system without it only loses the help).
void OpenHelp(HWND owner, DWORD context) {
  using HtmlHelpA = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
  static HMODULE hhctrl = ::LoadLibraryA("hhctrl.ocx");
  const auto help = hhctrl ? reinterpret_cast<HtmlHelpA>(reinterpret_cast<void (*)()>(::GetProcAddress(hhctrl, "HtmlHelpA"))) : nullptr;
  if (help) help(owner, fw::Module().helpFilePath.c_str(), kHelpContext, context);
}

std::string ItemText(HWND item) {
  std::string text(static_cast<size_t>(::GetWindowTextLengthA(item)) + 1, '\0');
  text.resize(static_cast<size_t>(::GetWindowTextA(item, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

CDlgAutoUpdate::CDlgAutoUpdate() : fw::CDialog(IDD_AUTO_UPDATE) {}

void CDlgAutoUpdate::DoDataExchange(fw::DataExchange& exchange) {
  exchange.Text(IDC_AU_APP_NAME, m_strAppName);
  exchange.Text(IDC_AU_DESCRIPTION, m_strDescription);
  exchange.Text(IDC_AU_INSTALLED, m_strInstalledVersion);
  exchange.Text(IDC_AU_LATEST, m_strLatestVersion);
  exchange.Text(IDC_AU_NUMBER, m_strCustomerNumber);
  exchange.Text(IDC_AU_KEY, m_strCustomerKey);
  exchange.Check(IDC_AU_AUTO_CHECK, m_bAutoCheck);
}

BOOL CDlgAutoUpdate::OnInitDialog() {
  mail::CustomerData customer;
  bool fromFallbackKey = false;
  mail::ReadCustomerData(customer, fromFallbackKey);
  m_strCustomerNumber = customer.number;
  const std::string storedKey = mail::ReadCustomerKey();
  m_strCustomerKey = storedKey.empty() ? "" : DecodeServerText(storedKey);

  m_strAppName = ProgramBaseName(m_strAppPath);
  VersionRecord record;
  if (ReadVersionRecord(m_strAppPath, record)) {
    m_strDescription = record.fileDescription;
    m_strInstalledVersion = FormatVersionForDisplay(record.fileVersion);
    m_strExtraInfo = BuildTag(record.internalName);
    HICON icon = nullptr;
    if (::PrivateExtractIconsA(m_strAppPath.c_str(), 0, 48, 48, &icon, nullptr, 1, 0) == 1 && icon)
      ::SendDlgItemMessageA(Hwnd(), IDC_AU_APP_ICON, STM_SETICON, reinterpret_cast<WPARAM>(AdoptIcon(icon)), 0);
    ::SetTimer(Hwnd(), kCheckTimer, 10, nullptr);
  } else {
    flow_.Set(DownloadState::NoAppInfo);
  }
  fw::CDialog::OnInitDialog();
  SetupLooks();
  UpdateControls();
  return TRUE;
}

// The bold font, the button images, the banner and the optional check box.
void CDlgAutoUpdate::SetupLooks() {
  SetBoldFont({IDC_AU_RESULT, IDC_AU_APP_NAME, IDC_AU_INSTALLED, IDC_AU_LATEST, IDC_AU_IDENTIFICATION,
               IDC_AU_VERSION_LINK});
  const std::pair<int, UINT> images[] = {{IDC_AU_CANCEL, IDI_AU_CANCEL}, {IDC_AU_HELP, IDI_AU_HELP},
                                         {IDC_AU_OK, IDI_AU_ACCEPT}};
  for (const auto& [button, icon] : images)
    ::SendDlgItemMessageA(Hwnd(), button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(AdoptIcon(ButtonIcon(icon))));
  ::ShowWindow(Item(IDC_AU_AUTO_CHECK), m_bShowAutoCheck ? SW_SHOW : SW_HIDE);
  RECT banner;
  ::GetClientRect(Item(IDC_AU_BANNER), &banner);
  if (HBITMAP bitmap = fw::LoadPngBitmap(fw::Module().resources, IDB_AU_BANNER, banner.right, banner.bottom))
    ::SendDlgItemMessageA(Hwnd(), IDC_AU_BANNER, STM_SETIMAGE, IMAGE_BITMAP,
                          reinterpret_cast<LPARAM>(AdoptObject(bitmap)));
}

void CDlgAutoUpdate::CheckForUpdate() {
  flow_.Set(DownloadState::Checking);
  m_strPackageVersion.clear();
  // The timer can come before the dialog manager first shows the dialog; the
  // user must see "Conectando..." while the query blocks, not nothing.
  ::ShowWindow(Hwnd(), SW_SHOWNORMAL);
  UpdateControls();
  std::string reply;
  if (QueryLatestVersion(m_strAppName, true, reply, m_strLastError)) {
    const VersionReply split = SplitVersionReply(reply);
    m_strLatestVersion = FormatVersionForDisplay(split.application);
    // A package version without a letter or digit could not name its file.
    m_strPackageVersion = m_bUsePackage && !PackageFileTag(split.package).empty() ? split.package : "";
    if (CompareVersions(m_strInstalledVersion, split.application) < 0) {
      flow_.Set(DownloadState::UpdateAvailable);
      std::string folder;
      VersionRecord runtime;
      if (!m_strPackageVersion.empty() && GetFolderPath(kFolderComponentesComunes, folder) &&
          ReadVersionRecord(folder + "Tramitex.exe", runtime) &&
          CompareVersions(runtime.fileVersion, m_strPackageVersion) < 0)
        m_bPackageNewer = 1;
    } else {
      flow_.Set(DownloadState::UpToDate);
    }
    UpdateData(false);
  } else {
    flow_.Set(DownloadState::QueryFailed);
  }
  HWND link = Item(IDC_AU_VERSION_LINK);
  ::SetWindowTextA(link, ReplaceAll(ItemText(link), "#", m_strLatestVersion).c_str());
  UpdateControls();
}

void CDlgAutoUpdate::UpdateControls() {
  const StateView view = ViewOfState(flow_.state);
  ::SetDlgItemTextA(Hwnd(), IDC_AU_RESULT,
                    ResultText(view, fw::LoadResString(view.resultText), m_strLastError,
                               fw::LoadResString(IDS_AU_CONNECTION_UNDEFINED))
                        .c_str());
  ::ShowWindow(Item(IDC_AU_PROGRESS), view.progressShown ? SW_SHOW : SW_HIDE);
  ::EnableWindow(Item(IDC_AU_OK), view.okEnabled);
  ::SetDlgItemTextA(Hwnd(), IDC_AU_OK, fw::LoadResString(view.okCaption).c_str());
  ::EnableWindow(Item(IDC_AU_CANCEL), view.cancelEnabled);
  ::SendDlgItemMessageA(Hwnd(), IDC_AU_OK, BM_SETIMAGE, IMAGE_ICON,
                        reinterpret_cast<LPARAM>(AdoptIcon(ButtonIcon(view.okIcon))));
  ::RedrawWindow(Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CDlgAutoUpdate::OnOK() {
  switch (flow_.OnOk()) {
    case OkAction::Stop: flow_.stopRequested = true; break;
    case OkAction::CloseOk: EndDialog(IDOK); break;
    case OkAction::Download: RunDownloads(); break;
    case OkAction::CloseCancel: EndDialog(IDCANCEL); break;
  }
}

// Escape and the close box.
void CDlgAutoUpdate::OnCancel() {
  switch (flow_.OnEscape()) {
    case EscapeAction::Ignore: break;
    case EscapeAction::Ask:
      if (AskLeave()) EndDialog(IDCANCEL);
      break;
    case EscapeAction::Close: EndDialog(IDCANCEL); break;
  }
}

bool CDlgAutoUpdate::AskLeave() {
  return ::MessageBoxA(Hwnd(), fw::LoadResString(IDS_AU_LEAVE_QUESTION).c_str(), fw::Module().appName.c_str(),
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

bool CDlgAutoUpdate::OnCommand(WORD id, WORD code, HWND control) {
  if (code != BN_CLICKED) return fw::CDialog::OnCommand(id, code, control);
  switch (id) {
    case IDC_AU_OK: OnOK(); return true;
    case IDC_AU_CANCEL:
      if (flow_.Is(DownloadState::Downloaded) && !AskLeave()) return true;
      UpdateData(true);
      EndDialog(kCancelButton);
      return true;
    case IDC_AU_HELP: OpenHelp(Hwnd(), IDH_AU_DIALOG); return true;
    default: return fw::CDialog::OnCommand(id, code, control);
  }
}

bool CDlgAutoUpdate::OnNotify(const NMHDR& header, LRESULT& result) {
  if ((header.idFrom != IDC_AU_NOTES_LINK && header.idFrom != IDC_AU_VERSION_LINK) ||
      (header.code != NM_CLICK && header.code != NM_RETURN))
    return false;
  const std::string address = ReleaseNotesAddress(WebHost(), m_strAppName);
  if (!address.empty()) ::ShellExecuteA(Hwnd(), "open", address.c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
  result = 0;
  return true;
}

INT_PTR CDlgAutoUpdate::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  switch (message) {
    case WM_TIMER:
      if (wParam != kCheckTimer) break;
      ::KillTimer(Hwnd(), kCheckTimer);
      CheckForUpdate();
      return TRUE;
    case WM_HELP: OpenHelp(Hwnd(), IDH_AU_DIALOG); return TRUE;
    case WM_CTLCOLORSTATIC: {
      const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      const StateView view = ViewOfState(flow_.state);
      const uint32_t colour = id == IDC_AU_RESULT      ? view.resultColour
                              : id == IDC_AU_INSTALLED ? view.installedColour
                              : id == IDC_AU_LATEST    ? kDarkBlue
                              : id == IDC_AU_APP_NAME  ? kDarkGreen
                                                       : 0xFFFFFFFF;
      if (colour == 0xFFFFFFFF) break;
      HDC dc = reinterpret_cast<HDC>(wParam);
      ::SetTextColor(dc, colour);
      ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    default: break;
  }
  handled = false;
  return 0;
}

void CDlgAutoUpdate::RunDownloads() {
  UpdateData(true);
  const int top = m_bPackageNewer ? 200 : 100;
  ::SendDlgItemMessageA(Hwnd(), IDC_AU_PROGRESS, PBM_SETRANGE32, 0, top);
  ::SendDlgItemMessageA(Hwnd(), IDC_AU_PROGRESS, PBM_SETPOS, 0, 0);
  std::string error;
  bool ok = true;
  if (m_bPackageNewer) {
    m_strPackageInstallerPath.clear();
    flow_.Set(DownloadState::DownloadingComponent);
    progressBase_ = 0;
    ok = DownloadOne(true, error);
    ::SendDlgItemMessageA(Hwnd(), IDC_AU_PROGRESS, PBM_SETPOS, 100, 0);
  }
  if (ok) {
    m_strInstallerPath.clear();
    flow_.Set(DownloadState::Downloading);
    progressBase_ = m_bPackageNewer ? top / 2 : 0;
    ok = DownloadOne(false, error);
    ::SendDlgItemMessageA(Hwnd(), IDC_AU_PROGRESS, PBM_SETPOS, top, 0);
  }
  if (ok) {
    StoreCustomer();
    flow_.Set(DownloadState::Downloaded);
  } else {
    m_strInstallerPath.clear();
    m_strPackageInstallerPath.clear();
    m_strLastError = error;
    flow_.DownloadFailed();
  }
  UpdateControls();
}

bool CDlgAutoUpdate::DownloadOne(bool package, std::string& error) {
  error.clear();
  char temp[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathA(sizeof(temp), temp);
  const std::optional<std::string> target =
      length == 0 || length >= MAX_PATH
          ? std::nullopt
          : InstallerPath(temp, m_strAppName, PackageFileTag(m_strPackageVersion), m_strInstallerExt, package);
  bool ok = false;
  if (!target) {
    error = fw::LoadResString(IDS_AU_TEMP_PATH);
  } else {
    DownloadRequest request{package,           m_strAppName,        m_strInstalledVersion, m_strExtraInfo,
                            m_strCustomerNumber, m_strCustomerKey, *target};
    progressPos_ = -1;
    ok = DownloadUpdate(request, *this, error);
    if (ok) (package ? m_strPackageInstallerPath : m_strInstallerPath) = *target;
  }
  if (ok && (package ? m_strPackageInstallerPath : m_strInstallerPath).empty()) ok = false;
  if (!ok && error.empty()) error = fw::LoadResString(IDS_AU_UNKNOWN_ERROR);
  return ok;
}

// The record is rewritten only when it came from the fallback key or holds
// another customer number; the key is stored after every download.
void CDlgAutoUpdate::StoreCustomer() const {
  mail::CustomerData stored;
  bool fromFallbackKey = false;
  mail::ReadCustomerData(stored, fromFallbackKey);
  if (fromFallbackKey || stored.number != m_strCustomerNumber) {
    stored.number = m_strCustomerNumber;
    stored.flags |= 1;
    mail::WriteCustomerData(stored);
  }
  mail::WriteCustomerKey(ScrambleText(m_strCustomerKey));
}

void CDlgAutoUpdate::Started() {
  flow_.stopRequested = false;
  UpdateControls();
}

void CDlgAutoUpdate::Advance(uint64_t received, uint64_t total) {
  PumpMessages();
  const int position = ProgressPosition(progressBase_, received, total);
  if (position == progressPos_) return;  // no redraw for a block that moved nothing
  progressPos_ = position;
  ::SendDlgItemMessageA(Hwnd(), IDC_AU_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void CDlgAutoUpdate::PumpMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {  // the host's loop must still see it
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (::IsDialogMessageA(Hwnd(), &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

}  // namespace qvx
