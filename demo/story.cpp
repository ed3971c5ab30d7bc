// The demo's story: starts QvxDemo.exe beside this program (tools/demo has
// set its "AutoUpdate" preference and pointed the control at servers on
// 127.0.0.1) and goes through the update service as a user does, from
// outside the host's process: the start-up check's information dialog, the
// update request mailed from it, the properties dialog from the menu item
// with its check now, the download of the newer version, and the number box.
// Every step has a time limit; the first one that does not happen ends the
// story with a message and exit code 1. Prints UTF-8; with QVX_SCREENSHOTS
// set, each dialog is saved there as <name>.bmp.
//   qvx_demo_story MAIL_FOLDER RELEASE_INSTALLER
// MAIL_FOLDER is where tools/mail-servers keeps aiosmtpd's messages;
// RELEASE_INSTALLER the installer the update server offers.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host_ids.h"
#include "qvx_test.h"

namespace {

using namespace qvxtest;

constexpr DWORD kStepMs = 30000;  // beyond the control's 10 s time-outs for each stage of a query
const wchar_t kInfo[] = L"Información de actualización", kProperties[] = L"Propiedades de actualización",
              kRequest[] = L"Solicitud de actualización", kBox[] = L"Quorvex Ingenieros",
              kDownload[] = L"Descargar actualización";

std::string Utf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                   static_cast<int>(out.size()), nullptr, nullptr));
  return out;
}

PROCESS_INFORMATION g_host = {};

[[noreturn]] void Fail(const std::string& what) {
  std::printf("FAILED: %s\n", what.c_str());
  std::fflush(stdout);
  if (g_host.hProcess) ::TerminateProcess(g_host.hProcess, 1);
  std::exit(1);
}

// A message to a control of the host, which must answer within 5 s.
LRESULT Ask(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutW(::GetDlgItem(dialog, id), message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result))
    Fail("the host does not answer message " + std::to_string(message) + " to control " + std::to_string(id));
  return static_cast<LRESULT>(result);
}

// WM_GETTEXT: GetWindowText reads another process's edit boxes as they were created.
std::string ItemText(HWND dialog, int id) {
  wchar_t text[1024] = {};
  Ask(dialog, id, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return Utf8(text);
}

// A text on one line: each run of line breaks as one blank, none at the ends.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
    else if (!out.empty() && out.back() != ' ') out += ' ';
  return out.substr(0, out.find_last_not_of(' ') + 1);
}

HWND Await(const wchar_t* title) {
  HWND shown = nullptr;
  if (!WaitUntil([&] { return (shown = ShownDialog(title)) != nullptr; }, kStepMs))
    Fail("no \"" + Utf8(title) + "\" within " + std::to_string(kStepMs / 1000) + " s");
  return shown;
}

void AwaitGone(HWND window, const char* what) {
  if (!WaitUntil([&] { return !::IsWindow(window); }, kStepMs)) Fail(std::string(what) + " stayed open");
}

// Waits until the control's text holds want.
std::string AwaitText(HWND dialog, int id, const std::wstring& want) {
  if (!WaitUntil([&] { return ItemText(dialog, id).find(Utf8(want)) != std::string::npos; }, kStepMs))
    Fail("control " + std::to_string(id) + " shows \"" + ItemText(dialog, id) + "\", not \"" + Utf8(want) + "\"");
  return ItemText(dialog, id);
}

void Click(HWND dialog, int id) { ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
void Type(HWND dialog, int id, const wchar_t* text) { Ask(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)); }

void Shot(HWND window, const char* name) {
  SaveScreenshot(window, name);
  std::printf("   screenshot %s\n", name);
}

// The information dialog's texts, checked against the state expected.
void ReadInfo(HWND info, const char* state) {
  std::printf(u8"   %s: Estado %s, instalada %s, última %s\n", ItemText(info, 319).c_str(), ItemText(info, 314).c_str(),
              ItemText(info, 315).c_str(), ItemText(info, 316).c_str());
  if (ItemText(info, 314) != state) Fail(std::string("the state is not ") + state);
}

// A user's choice of a menu item by its keys: Alt and the bar's letter, then
// the item's letter.
void ChooseMenu(HWND main, WORD bar, WORD item, const char* shot) {
  ::SetForegroundWindow(main);
  if (!WaitUntil([&] { return ::GetForegroundWindow() == main; }, 5000)) Fail("the host does not come to the front");
  SendKey(VK_MENU, false), PressKey(bar), SendKey(VK_MENU, true);
  HWND popup = WaitForWindow(L"#32768", nullptr, 5000);
  if (!popup) Fail("the menu does not open");
  if (shot) Shot(popup, shot);
  PressKey(item);
}

void PrintMail(const std::string& folder) {
  const std::string path = folder + "\\aiosmtpd\\1.eml";
  std::string mail;
  if (!WaitUntil([&] { return (mail = FileBytes(path)) != "<none>"; }, 10000)) Fail("no mail in " + path);
  std::wstring wide(mail.size(), L'\0');  // the body is ISO-8859-1
  wide.resize(::MultiByteToWideChar(1252, 0, mail.data(), static_cast<int>(mail.size()), wide.data(),
                                    static_cast<int>(wide.size())));
  std::string text = Utf8(wide);
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::printf("   | %s\n", line.c_str());
    at = end == std::string::npos ? text.size() : end + 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return std::printf("usage: qvx_demo_story MAIL_FOLDER RELEASE_INSTALLER\n"), 2;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::wstring host(MAX_PATH, L'\0');
  host.resize(::GetModuleFileNameW(nullptr, host.data(), MAX_PATH));
  host = host.substr(0, host.find_last_of(L'\\') + 1) + L"QvxDemo.exe";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (!::CreateProcessW(host.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &g_host))
    Fail("cannot start " + Utf8(host));

  std::printf("1. QvxDemo.exe 4.1.0.0 starts with its \"AutoUpdate\" preference on; the control's start-up\n"
              "   check asks the update server and opens the information dialog:\n");
  HWND info = Await(kInfo);
  ReadInfo(info, "Desactualizado");
  Shot(info, "demo-info-outdated");

  std::printf(u8"2. \"Solicitar Actualización\" opens the request form, filled and sent:\n");
  Click(info, 317);
  HWND form = Await(kRequest);
  std::printf("   for %s, %s -> %s\n", ItemText(form, 1041).c_str(), ItemText(form, 1045).c_str(),
              ItemText(form, 316).c_str());
  // The optional customer number stays empty: stored without its key (typed
  // in the download dialog only), it would make the update server refuse queries.
  Type(form, 1036, L"Ana García Ñúñez");
  Type(form, 1037, L"B12345678");
  Type(form, 1038, L"600 123 456");
  Type(form, 1039, L"ana@cliente.es");
  Type(form, 1048, L"Por favor, envíenme la versión nueva.\r\nGracias.");
  Shot(form, "demo-request-form");
  Click(form, 1044);
  HWND box = Await(kBox);
  std::printf("   message: %s\n", OneLine(ItemText(box, 0xFFFF)).c_str());
  Shot(box, "demo-request-sent");
  if (ItemText(box, 0xFFFF).find("satisfactorio") == std::string::npos) Fail("the request was not sent");
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  AwaitGone(form, "the request form");
  AwaitGone(info, "the information dialog");
  std::printf("   the form and the information dialog close; the mail delivered to aiosmtpd:\n");
  PrintMail(argv[1]);

  HWND main = Await(L"Quorvex Demo");
  std::printf("3. The menu item \"Actualizaciones...\" that the control appended to Ayuda opens the properties:\n");
  ChooseMenu(main, 'Y', 'Z', "demo-menu");
  HWND properties = Await(kProperties);
  auto checked = [&](int id) { return Ask(properties, id, BM_GETCHECK, 0, 0) ? "yes" : "no"; };
  std::printf("   \"%s\" %s, \"%s\" %s\n", ItemText(properties, 310).c_str(), checked(310),
              ItemText(properties, 312).c_str(), checked(312));
  Shot(properties, "demo-properties");
  std::printf("   \"...\" (check now) asks the server at once:\n");
  Click(properties, 311);
  info = Await(kInfo);
  ReadInfo(info, "Desactualizado");
  Shot(info, "demo-check-now");
  ::PostMessageW(info, WM_COMMAND, IDOK, 0);
  AwaitGone(info, "the information dialog");
  ::PostMessageW(properties, WM_COMMAND, IDCANCEL, 0);
  AwaitGone(properties, "the properties dialog");

  std::printf(u8"4. Ayuda > \"Descargar actualización...\": the host calls AutoUpdateExt2 by name:\n");
  ChooseMenu(main, 'Y', 'D', nullptr);
  HWND download = Await(kDownload);
  std::printf("   %s\n", OneLine(AwaitText(download, 336, L"[Descargar]")).c_str());
  Type(download, 1040, L"1234");
  Type(download, 3002, L"ClaveSecreta");
  std::printf("   customer 1234 and key typed; \"Descargar\"\n");
  Shot(download, "demo-download-available");
  Click(download, 337);
  std::printf("   %s\n", OneLine(AwaitText(download, 336, L"se descarg")).c_str());
  Shot(download, "demo-downloaded");
  Click(download, 337);  // "Instalar": the host gets the installer's path
  AwaitGone(download, "the download dialog");
  const std::wstring prefix = L"Instalador descargado: ";
  const std::string status = AwaitText(main, IDC_STATUS, prefix);
  const std::string path = status.substr(Utf8(prefix).size());
  if (FileBytes(path) != FileBytes(argv[2])) Fail(path + " is not the release's installer");
  std::printf("   AutoUpdateExt2 returns the installer %s\n   (%zu bytes, the release's installer byte for byte)\n",
              path.c_str(), FileBytes(path).size());

  std::printf("5. The number box: \"1234567.891\" and Enter; the control writes it in the user's format:\n");
  Type(main, IDC_NUMBER, L"1234567.891");
  ::PostMessageW(main, WM_COMMAND, IDOK, 0);
  AwaitText(main, IDC_VALUE, L"Valor");
  std::printf("   shown \"%s\", %s\n", ItemText(main, IDC_NUMBER).c_str(), ItemText(main, IDC_VALUE).c_str());
  Shot(main, "demo-host");
  ::PostMessageW(main, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(g_host.hProcess, kStepMs) != WAIT_OBJECT_0) Fail("the host does not end");
  std::printf("The host ends. The story is complete.\n");
  return 0;
}
