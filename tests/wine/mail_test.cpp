// The update request form end to end, driven as a user drives it, against tools/mail-servers (QVX_MAIL_SERVERS).
#include <winsock2.h>
#include <windows.h>

#include <fstream>
#include <regex>

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
using Fields = std::vector<std::pair<int, std::wstring>>;

std::string Folder() { return ServersFolder("QVX_MAIL_SERVERS"); }
int Port(const std::string& mode) { return ServerPort("QVX_MAIL_SERVERS", mode); }
std::string Mail(int n) { return FileBytes(Folder() + "aiosmtpd\\" + std::to_string(n) + ".eml"); }
int Mails() {
  int n = 0;
  while (std::ifstream(Folder() + "aiosmtpd\\" + std::to_string(n + 1) + ".eml")) ++n;
  return n;
}

int Focus(HWND form) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  return ::GetGUIThreadInfo(::GetWindowThreadProcessId(form, nullptr), &info) ? ::GetDlgCtrlID(info.hwndFocus) : 0;
}

// act() until done() holds, three times at most: Wine now and then loses input into a window just shown.
template <typename Act, typename Done>
bool Try(Act act, Done done) {
  for (int attempt = 0; attempt < 3; ++attempt)
    if (act(), WaitUntil(done, 5000)) return true;
  return false;
}

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

  // Types into the fields, with send presses "Enviar" and answers its box; returns the box and a left form's focus.
  std::wstring Run(const std::string& mode, const Fields& typed, bool send) {
    user_.SetText("MailServer", "127.0.0.1:" + std::to_string(Port(mode)));
    std::wstring seen;
    auto user = [&](HWND form) {
      EXPECT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == form && Focus(form) != 0; })) << "ready";
      auto focusOn = [&](int id) { ::SendMessageW(form, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(form, id)), TRUE); };
      for (const auto& [id, text] : typed) {
        focusOn(id);
        ::SetDlgItemTextW(form, id, text.c_str());
      }
      // The button holds the focus while the request goes, until a box takes it.
      auto box = [] { return ShownDialog(L"Quorvex Ingenieros"); };
      if (send && Try([&] { focusOn(kEnviar), PressKey(VK_SPACE); },
                      [&] { return Focus(form) == kEnviar || box() || !::IsWindow(form); })) {
        // A silent server keeps the form busy for seconds, never for the 60 s time-out.
        if (HWND shown = nullptr; WaitUntil([&] { return (shown = box()) != nullptr; }, 30000)) {
          WaitUntil([&] { return ::FindWindowExW(shown, nullptr, L"Button", nullptr) != nullptr; });
          seen = MessageBoxText(shown);
          // Space ends the box on the key's release: no key of it is left for the next form.
          EXPECT_TRUE(Try([] { PressKey(VK_SPACE); }, [&] { return !::IsWindow(shown); }));
        }
      }
      if (WaitUntil([&] { return !::IsWindow(form); }, 300)) return;
      WaitUntil([&] { return Focus(form) != 0; }, 3000);  // Wine gives it back late on a loaded machine
      seen += L" focus " + std::to_wstring(Focus(form));
      ::PostMessageW(form, WM_COMMAND, IDCANCEL, 0);
    };
    // Whatever a previous form left in this thread's queue stays out of this one.
    for (MSG m; ::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) {
    }
    WithDialog(L"Solicitud de actualización", [&] {
      Var path(L""), app(L"Aplicación Ñandú"), longName(L"Cálculo de estructuras"), ver(L"4.2.5.0"), upd(L"4.3.0.0");
      EXPECT_EQ(S_OK, CallByName(control_.get(), L"SendActRequest", {path.v, app.v, longName.v, ver.v, upd.v}, nullptr));
    }, user);
    return seen;
  }

  ComScope com_;
  com_ptr<IDispatch> control_ = CreateControl();
  ScratchKey user_{HKEY_CURRENT_USER, qvx::kDeploymentKey};
  ScratchKey first_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeyFirst, qvx::MakerRegistryView()};
  ScratchKey second_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeySecond, qvx::MakerRegistryView()};
};

// Through aiosmtpd: the envelope, every header and the body's bytes in Windows-1252.
TEST_F(MailForm, RequestReachesARealServer) {
  const int before = Mails();
  EXPECT_EQ(kSent, Run("aiosmtpd", {{kNombre, L"Ana Pérez"}, {kComentario, L"Línea 1\r\n.empieza con punto"}}, true));
  ASSERT_EQ(before + 1, Mails());
  const std::string mail = Mail(before + 1);
  std::smatch date;  // its form is the native tests'
  ASSERT_TRUE(std::regex_search(mail, date, std::regex("\r\nDate: [^\r]+ [+-][0-9]{4}\r\n"))) << mail;
  char host[100] = "";
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

// A required field left empty, a blank in the sender, a failed send, and what the store keeps after each way out.
TEST_F(MailForm, EdgesAndFaults) {
  // The box and a left form's focus, "NIF" in both keys afterwards, new mails from the support address.
  const struct { const char* mode; Fields typed; bool send; std::wstring seen; const char* nif; int mails; } rows[] = {
      {"aiosmtpd", {{kEmail, L"ana @x.es"}}, true, kSent, "B123", 1},  // a blank in the address
      {"aiosmtpd", {{kNIF, L""}}, true, kEmpty + std::wstring(L" focus 1037"), "", 0},
      {"aiosmtpd", {{kNIF, L"X9"}}, false, L" focus 1037", "B123", 0},  // cancelled: the store as read
      {"greet554", {{kNIF, L"X9"}}, true, kFailed + std::wstring(L" focus 1044"), "X9", 0},  // as typed
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.mode << " " << row.nif);
    SetUp();
    const int before = Mails();
    EXPECT_EQ(row.seen, Run(row.mode, row.typed, row.send));
    EXPECT_EQ(before + row.mails, Mails());
    EXPECT_EQ(row.mails > 0, Mail(before + 1).find("\nfrom soporte@quorvex.test\n") != std::string::npos);
    for (const ScratchKey* key : {&first_, &second_}) EXPECT_EQ(std::string(row.nif) + '\0', key->Get("NIF"));
  }
}

// The client on Winsock without the form (the 32-bit suite cannot drive dialogs): refused or vanished servers fail.
TEST(MailExchange, ThroughWinsock) {
  WSADATA wsa;
  ASSERT_EQ(0, ::WSAStartup(MAKEWORD(2, 2), &wsa));
  ScratchKey user{HKEY_CURRENT_USER, qvx::kDeploymentKey};
  for (const auto& [mode, sent] : {std::pair{"aiosmtpd", true}, {"multiline", true}, {"greet554", false}, {"close", false}}) {
    user.SetText("MailServer", "127.0.0.1:" + std::to_string(Port(mode)));
    const int before = Mails();
    EXPECT_EQ(sent, qvx::mail::SendUpdateRequestMail("Ana", "s@quorvex.test", "ana@x.es", "Asunto", "Texto\n")) << mode;
    EXPECT_EQ(before + (sent && std::string(mode) == "aiosmtpd"), Mails()) << mode;
  }
  ::WSACleanup();
}

}  // namespace
