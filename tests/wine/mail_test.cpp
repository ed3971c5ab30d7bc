// The update request form end to end: SendActRequest called by name, the form
// driven as a user drives it (fields typed, "Enviar" pressed, message boxes
// answered), the request taken by Debian's aiosmtpd or by a scripted fault
// server (tools/mail-servers; QVX_MAIL_SERVERS names its list of ports). Every
// wait ends as soon as what it waits for holds, and has a generous limit.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "common/deployment_settings.h"
#include "common/maker_registry.h"
#include "mail/customer_data.h"
#include "mail/dlg_solicitar_act.h"
#include "qvx_test.h"

namespace {

using namespace qvxtest;

const wchar_t kEmpty[] = L"[!]El campo no puede estar vacío";
const wchar_t kFailed[] =
    L"[x]El correo no pudo ser enviado.\n- Asegúrese que su ordenador está conectado a Internet.\n"
    L"- Compruebe que la conexión a Internet está activa. ";
const wchar_t kSent[] = L"[i]El proceso de envío fue satisfactorio.\nNos pondremos en contacto con Ud. lo antes posible.";
enum { kNombre = 1036, kNIF = 1037, kEmail = 1039, kEnviar = 1044, kComentario = 1048 };

std::string Folder() { return ServersFolder("QVX_MAIL_SERVERS"); }
std::string ReadAll(const std::string& path) { return FileBytes(path) == "<none>" ? "" : FileBytes(path); }
int Port(const std::string& mode) { return ServerPort("QVX_MAIL_SERVERS", mode); }

std::string Mail(int n) { return ReadAll(Folder() + "aiosmtpd\\" + std::to_string(n) + ".eml"); }
int Mails() {
  int n = 0;
  while (std::ifstream(Folder() + "aiosmtpd\\" + std::to_string(n + 1) + ".eml")) ++n;
  return n;
}

// The commands a scripted server received, "|" between, HELO without its name.
std::string Commands(const std::string& mode) {
  std::istringstream log(ReadAll(Folder() + mode + ".log"));
  std::string out;
  for (std::string line; std::getline(log, line);)
    out += (out.empty() ? "" : "|") + line.substr(0, line.rfind("HELO", 0) == 0 ? 4 : std::string::npos);
  return out;
}

HWND Shown(const wchar_t* title) { return ShownDialog(title); }

int Focus(HWND form) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  return ::GetGUIThreadInfo(::GetWindowThreadProcessId(form, nullptr), &info) ? ::GetDlgCtrlID(info.hwndFocus) : 0;
}

// Does act() until done() holds, three times at most: under Wine, input into
// a window just shown is now and then lost, and a user would try again.
template <typename Act, typename Done>
bool Try(Act act, Done done) {
  for (int attempt = 0; attempt < 3; ++attempt)
    if (act(), WaitUntil(done, 5000)) return true;
  return false;
}

// Real keys: the text as typed letters; "\n" as Ctrl+Enter, the comment's line break.
void Type(const std::wstring& text) {
  PressKey(VK_DELETE);
  for (wchar_t c : text) {
    if (c == L'\n') {
      SendKey(VK_CONTROL, false), PressKey(VK_RETURN), SendKey(VK_CONTROL, true);
      continue;
    }
    INPUT in[2] = {};
    for (int up = 0; up < 2; ++up)
      in[up].type = INPUT_KEYBOARD, in[up].ki.wScan = c, in[up].ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
    ::SendInput(2, in, sizeof(INPUT));
  }
}

struct Seen {
  std::wstring box;  // the message box after "Enviar" ("" for none)
  int focus = 0;     // the focus in a form left open
};

class MailForm : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(0, Port("aiosmtpd")) << "QVX_MAIL_SERVERS must name the servers' list";
    user_.SetText("SupportMailbox", "soporte@quorvex.test");
    for (const ScratchKey* key : {&first_, &second_}) {
      for (auto [name, value] : {std::pair{"Nombre", "Ana"}, {"NIF", "B123"}, {"Numero", "77"}, {"Tfno", "600"},
                                 {"Email", "ana@cliente.es"}})
        key->SetText(name, value);
      key->Set("Flags", REG_DWORD, "\5\0\0\0", 4);
    }
  }

  // Types into the fields, clicks "Enviar" (send) and answers its message
  // box; a form left open is cancelled once the focus is where it should be.
  Seen Run(const std::string& mode, const std::vector<std::pair<int, std::wstring>>& typed, bool send, int focus) {
    user_.SetText("MailServer", "127.0.0.1:" + std::to_string(Port(mode)));
    Seen seen;
    std::thread user([&] {
      HWND form = nullptr;
      if (!WaitUntil([&] { return (form = Shown(L"Solicitud de actualización")) != nullptr; }, 30000)) {
        ADD_FAILURE() << "no form";
        return;
      }
      // Ready for a user once it is in front with the focus in it.
      EXPECT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == form && Focus(form) != 0; }));
      for (const auto& [id, text] : typed) {
        const std::wstring shown = std::regex_replace(text, std::wregex(L"\n"), L"\r\n");
        EXPECT_TRUE(Try([&] {
          // To the field as Tab takes a user there, its text selected, then typed.
          ::SendMessageW(form, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(form, id)), TRUE);
          Type(text);
        }, [&] { return WindowText(::GetDlgItem(form, id)) == shown; })) << id;
      }
      // To "Enviar" as Tab takes a user there, then Space: the button holds the
      // focus while the request goes, until a message box takes it.
      auto box = [] { return Shown(L"Quorvex Ingenieros"); };
      if (send && Try([&] {
            ::SendMessageW(form, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(form, kEnviar)), TRUE);
            PressKey(VK_SPACE);
          }, [&] { return Focus(form) == kEnviar || box() || !::IsWindow(form); })) {
        // A silent server keeps the form busy for its 3 s, never for the 60 s time-out.
        if (HWND shown = nullptr; WaitUntil([&] { return (shown = box()) != nullptr; }, 30000)) {
          WaitUntil([&] { return ::FindWindowExW(shown, nullptr, L"Button", nullptr) != nullptr; });
          seen.box = MessageBoxText(shown);
          // Space on its button: the box ends on the key's release, so that no
          // key of it is left to reach the next form (Enter ends it on the press).
          EXPECT_TRUE(Try([] { PressKey(VK_SPACE); }, [&] { return !::IsWindow(shown); }));
        }
      }
      WaitUntil([&] { return !::IsWindow(form) || (seen.focus = Focus(form)) == focus || focus < 0; }, 5000);
      if (::IsWindow(form) && !Try([] { PressKey(VK_ESCAPE); }, [&] { return !::IsWindow(form); }))
        ::PostMessageW(form, WM_COMMAND, IDCANCEL, 0);
    });
    // Whatever a previous form left in this thread's queue stays out of this one.
    for (MSG m; ::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) {
    }
    Var path(L""), app(L"Aplicación Ñandú"), longName(L"Cálculo de estructuras"), ver(L"4.2.5.0"), upd(L"4.3.0.0");
    EXPECT_EQ(S_OK, CallByName(control_.get(), L"SendActRequest", {path.v, app.v, longName.v, ver.v, upd.v}, nullptr));
    user.join();
    return seen;
  }

  ComScope com_;
  com_ptr<IDispatch> control_ = CreateControl();
  ScratchKey user_{HKEY_CURRENT_USER, qvx::kDeploymentKey};
  ScratchKey first_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeyFirst, qvx::MakerRegistryView()};
  ScratchKey second_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeySecond, qvx::MakerRegistryView()};
};

// Through aiosmtpd: the envelope, every header (the Date's form and zone,
// daylight bias included) and the body's bytes in Windows-1252.
TEST_F(MailForm, RequestReachesARealServer) {
  const int before = Mails();
  EXPECT_EQ(kSent, Run("aiosmtpd", {{kNombre, L"Ana Pérez"}, {kComentario, L"Línea 1\n.empieza con punto"}}, true, 0).box);
  ASSERT_EQ(before + 1, Mails());
  const std::string mail = Mail(before + 1);
  std::smatch date;
  ASSERT_TRUE(std::regex_search(mail, date, std::regex("\r\nDate: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-3][0-9] (Jan|Feb|Mar|Apr|"
                                                        "May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) 20[0-9]{2} [0-2][0-9]:[0-5][0-9]:[0-6][0-9] ([+-][0-9]{4})\r\n")))
      << mail;
  TIME_ZONE_INFORMATION zone;
  const bool daylight = ::GetTimeZoneInformation(&zone) == TIME_ZONE_ID_DAYLIGHT;
  const long bias = zone.Bias + (daylight ? zone.DaylightBias : 0);
  char zoneText[8], host[100] = "";
  std::snprintf(zoneText, sizeof zoneText, "%c%02ld%02ld", bias > 0 ? '-' : '+', std::labs(bias) / 60, std::labs(bias) % 60);
  EXPECT_EQ(zoneText, date[3].str());
  WSADATA wsa;
  ::WSAStartup(MAKEWORD(2, 2), &wsa), ::gethostname(host, sizeof host), ::WSACleanup();
  EXPECT_EQ(std::string("helo ") + host + "\nfrom ana@cliente.es\nto soporte@quorvex.test\n\n"
            "From: Ana P\xe9rez <ana@cliente.es>\r\nTo: soporte@quorvex.test <soporte@quorvex.test>\r\n"
            "Subject: Petici\xf3n de actualizaci\xf3n: Aplicaci\xf3n \xd1" "and\xfa" + date.str() +
            "X-Mailer: Quorvex_SMTP v1.3\r\nMIME-Version: 1.0\r\nContent-type: text/plain; charset=ISO-8859-1\r\n\r\n"
            "----- Datos de cliente -------------\r\nCliente : Ana P\xe9rez\r\nNIF/CIF : B123\r\n"
            "N\xba Cliente : 77\r\nTfno : 600\r\ne-mail: ana@cliente.es\r\n\r\n----- Datos del programa -------------\r\n"
            "Programa : Aplicaci\xf3n \xd1" "and\xfa  C\xe1lculo de estructuras\r\nVersi\xf3n del cliente: 4.2.5.0\r\n"
            "Versi\xf3n actual: 4.3.0.0\r\n\r\n----- Comentario -------------\r\nL\xednea 1\r\n.empieza con punto\r\n\r\n",
            mail);
  for (const ScratchKey* key : {&first_, &second_}) EXPECT_EQ(std::string("Ana P\xe9rez") + '\0', key->Get("Nombre"));
}

// The faults a real server will not make on demand, and what a user reaches
// through the form: a required field left empty, a sender address that fails
// the check, and what the store keeps after each way out.
TEST_F(MailForm, EdgesAndFaults) {
  const std::string upToData = "HELO|MAIL FROM:<ana@cliente.es>|RCPT TO:<soporte@quorvex.test>|";
  const struct Row {
    const char* name;
    const char* mode;
    std::vector<std::pair<int, std::wstring>> typed;
    bool send;
    std::wstring box;
    std::string commands;  // a scripted server's log; for aiosmtpd the envelope's sender
    const char* nif;       // "NIF" in both keys afterwards
    bool stored = true;    // else nothing is stored: empty values and a flag word of 0 come back
  } rows[] = {
      {"251 to RCPT TO", "rcpt251", {}, true, kFailed, upToData + "QUIT", "B123"},
      {"silence, then a close", "silent", {}, true, kFailed, "", "B123"},
      {"a close without a greeting", "close", {}, true, kFailed, "", "B123"},
      {"a 300-byte greeting", "long", {}, true, kSent, upToData + "DATA|QUIT", "B123"},
      {"a multi-line greeting", "multiline", {}, true, kSent, upToData + "DATA|QUIT", "B123"},
      {"a 554 greeting", "greet554", {}, true, kFailed, "QUIT", "B123"},
      {"QUIT not answered: sent all the same", "noquit", {}, true, kSent, upToData + "DATA|QUIT", "B123"},
      {"a blank in the address: the support address sends", "aiosmtpd", {{kEmail, L"ana @x.es"}}, true, kSent,
       "soporte@quorvex.test", "B123"},
      {"the tax number left empty", "aiosmtpd", {{kNIF, L""}}, true, kEmpty, "", ""},
      {"cancelled after editing: the store as read", "aiosmtpd", {{kNIF, L"X9"}}, false, L"", "", "B123"},
      {"cancelled after a failed send: as typed", "greet554", {{kNIF, L"X9"}}, true, kFailed, "QUIT", "X9"},
      {"nothing stored, cancelled", "aiosmtpd", {}, false, L"", "", "", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    for (const char* path : {qvx::mail::kCustomerKeyFirst, qvx::mail::kCustomerKeySecond})
      if (!row.stored) DeleteKeyTree(HKEY_LOCAL_MACHINE, path, qvx::MakerRegistryView());
    std::ofstream(Folder() + row.mode + ".log", std::ios::trunc).close();
    const int before = Mails();
    const int focus = row.typed.empty() && !row.send ? -1 : row.box == kEmpty || !row.send ? kNIF : row.box == kFailed ? kEnviar : 0;
    const Seen seen = Run(row.mode, row.typed, row.send, focus);
    EXPECT_EQ(row.box, seen.box);
    if (focus >= 0) {
      EXPECT_EQ(focus, seen.focus);
    }
    if (std::string(row.mode) != "aiosmtpd") {
      EXPECT_EQ(row.commands, Commands(row.mode));
    } else {
      EXPECT_EQ(before + (row.box == kSent), Mails());
      if (row.box == kSent) {
        EXPECT_NE(std::string::npos, Mail(before + 1).find("\nfrom " + row.commands + "\n"));
      }
    }
    for (const ScratchKey* key : {&first_, &second_}) {
      EXPECT_EQ(std::string(row.nif) + '\0', key->Get("NIF")) << key->path();
      EXPECT_EQ(std::string(row.stored ? "\5\0\0\0" : "\0\0\0\0", 4), key->Get("Flags")) << key->path();
    }
  }
}

// The client on Windows Sockets without the form (the 32-bit suite cannot
// drive dialogs under its emulator): a real server takes the request, a
// refused or vanished one fails it.
TEST(MailExchange, ThroughWinsock) {
  WSADATA wsa;
  ASSERT_EQ(0, ::WSAStartup(MAKEWORD(2, 2), &wsa));
  ScratchKey user{HKEY_CURRENT_USER, qvx::kDeploymentKey};
  const std::pair<const char*, bool> rows[] = {{"aiosmtpd", true}, {"multiline", true}, {"greet554", false}, {"close", false}};
  for (const auto& [mode, sent] : rows) {
    user.SetText("MailServer", "127.0.0.1:" + std::to_string(Port(mode)));
    const int before = Mails();
    EXPECT_EQ(sent, qvx::mail::SendUpdateRequestMail("Ana", "s@quorvex.test", "ana@x.es", "Asunto", "Texto\n")) << mode;
    EXPECT_EQ(before + (sent && std::string(mode) == "aiosmtpd"), Mails()) << mode;
  }
  ::WSACleanup();
}

}  // namespace
