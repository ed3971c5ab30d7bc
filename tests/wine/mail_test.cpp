// The update request form end to end: SendActRequest called by name, the
// form driven through its windows (fields typed, "Enviar" clicked, message
// boxes answered), the request received by Debian's aiosmtpd or by a
// scripted fault server (tools/mail-servers as a CTest fixture;
// QVX_MAIL_SERVERS names its list of ports).
#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/deployment_settings.h"
#include "common/maker_registry.h"
#include "mail/customer_data.h"
#include "qvx_test.h"

namespace {

using namespace qvxtest;

const wchar_t kFormTitle[] = L"Solicitud de actualización";
const wchar_t kEmpty[] = L"[!]El campo no puede estar vacío";
const wchar_t kFailed[] =
    L"[x]El correo no pudo ser enviado.\n- Asegúrese que su ordenador está conectado a Internet.\n"
    L"- Compruebe que la conexión a Internet está activa. ";
const wchar_t kSent[] = L"[i]El proceso de envío fue satisfactorio.\nNos pondremos en contacto con Ud. lo antes posible.";
const char kSupport[] = "soporte@quorvex.test";

std::string ServersFolder() {
  const char* list = std::getenv("QVX_MAIL_SERVERS");
  const std::string path = list ? list : "";
  return path.substr(0, path.find_last_of('\\') + 1);
}

int Port(const std::string& mode) {
  std::ifstream in(ServersFolder() + "servers.txt");
  std::string name;
  int port = 0;
  while (in >> name >> port)
    if (name == mode) return port;
  return 0;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int Messages() {
  int n = 0;
  while (std::ifstream(ServersFolder() + "aiosmtpd\\" + std::to_string(n + 1) + ".eml")) ++n;
  return n;
}

// The commands a scripted server received, "|" between them.
std::string Commands(const std::string& mode) {
  std::string log = ReadAll(ServersFolder() + mode + ".log"), out;
  for (char c : log) out += c == '\n' ? '|' : c;
  return out.empty() ? out : out.substr(0, out.size() - 1);
}

// Keys typed as text (KEYEVENTF_UNICODE); "\n" as Ctrl+Enter, the comment
// box's line break (Enter alone is "Enviar").
void Type(const std::wstring& text) {
  PressKey(VK_DELETE);  // what was selected goes
  for (wchar_t c : text) {
    if (c == L'\n') {
      SendKey(VK_CONTROL, false), PressKey(VK_RETURN), SendKey(VK_CONTROL, true);
      continue;
    }
    INPUT in[2] = {};
    for (int i = 0; i < 2; ++i) {
      in[i].type = INPUT_KEYBOARD;
      in[i].ki.wScan = c;
      in[i].ki.dwFlags = KEYEVENTF_UNICODE | (i ? KEYEVENTF_KEYUP : 0);
    }
    ::SendInput(2, in, sizeof(INPUT));
  }
  ::Sleep(50);
}

BOOL CALLBACK ReadMessageBox(HWND child, LPARAM seen) {
  auto& text = *reinterpret_cast<std::wstring*>(seen);
  if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    const LRESULT icon = ::SendMessageW(child, STM_GETICON, 0, 0);
    auto is = [&](LPSTR id) { return icon == reinterpret_cast<LRESULT>(::LoadIconA(nullptr, id)); };
    text += is(IDI_ERROR) ? L"[x]" : is(IDI_INFORMATION) ? L"[i]" : is(IDI_EXCLAMATION) ? L"[!]" : L"[?]";
  } else if (::GetDlgCtrlID(child) == 0xFFFF) {
    text += WindowText(child);
  }
  return TRUE;
}

void SaveShot(HWND window, const char* name);

// "|"-separated commands; an expected one ending in "*" matches any rest.
bool Matches(const std::string& expected, const std::string& actual) {
  std::istringstream e(expected), a(actual);
  for (std::string x, y;;) {
    const bool moreE = static_cast<bool>(std::getline(e, x, '|')), moreA = static_cast<bool>(std::getline(a, y, '|'));
    if (moreE != moreA) return false;
    if (!moreE) return true;
    if (!x.empty() && x.back() == '*' ? y.compare(0, x.size() - 1, x, 0, x.size() - 1) != 0 : x != y) return false;
  }
}

struct Field {
  int id;
  std::wstring text;
};

// What the user saw: each message box ("caption[icon]text", "|" between),
// and the control that had the focus when the form was left open.
struct Seen {
  std::wstring boxes;
  int focus = 0;
};

class MailFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(0, Port("aiosmtpd")) << "QVX_MAIL_SERVERS must name the servers' list";
    user_.SetText("SupportMailbox", kSupport);
    StoreCustomer();
  }

  void StoreCustomer() {
    for (const ScratchKey* key : {&first_, &second_}) {
      for (auto [name, value] : {std::pair{"Nombre", "Ana"}, {"NIF", "B123"}, {"Numero", "77"}, {"Tfno", "600"},
                                 {"Email", "ana@cliente.es"}})
        key->SetText(name, value);
      const DWORD flags = 5;
      key->Set("Flags", REG_DWORD, &flags, sizeof flags);
    }
  }

  // Opens the form by name, types the fields, clicks "Enviar" when asked,
  // answers each message box with Enter and cancels a form left open.
  Seen Run(const std::string& mode, const std::vector<Field>& typed, bool send, const char* shots = nullptr) {
    user_.SetText("MailServer", "127.0.0.1:" + std::to_string(Port(mode)));
    Seen seen;
    std::thread user([&] {
      HWND form = WaitForWindow(L"#32770", kFormTitle, 5000);
      if (!form) return;
      ::Sleep(200);
      for (const Field& f : typed) {
        ClickWindow(::GetDlgItem(form, f.id));
        ::Sleep(50);
        ::SendDlgItemMessageW(form, f.id, EM_SETSEL, 0, -1);
        Type(f.text);
      }
      if (shots && std::string(shots) == "all") SaveShot(form, "form");
      if (send) ClickWindow(::GetDlgItem(form, 1044));
      for (HWND box; send && (box = WaitForWindow(L"#32770", L"Quorvex Ingenieros", 15000)) != nullptr;) {
        ::Sleep(100);
        if (!seen.boxes.empty()) seen.boxes += L"|";
        ::EnumChildWindows(box, ReadMessageBox, reinterpret_cast<LPARAM>(&seen.boxes));
        if (shots) SaveShot(box, seen.boxes.find(L"[i]") != std::wstring::npos ? "sent" : "failed");
        PressKey(VK_RETURN);
        for (int i = 0; i < 100 && ::IsWindow(box); ++i) ::Sleep(20);
        break;
      }
      ::Sleep(100);
      if (!::IsWindow(form)) return;
      GUITHREADINFO info = {};
      info.cbSize = sizeof info;
      if (::GetGUIThreadInfo(::GetWindowThreadProcessId(form, nullptr), &info))
        seen.focus = ::GetDlgCtrlID(info.hwndFocus);
      ClickWindow(::GetDlgItem(form, IDCANCEL));
    });
    Var path(L""), app(L"Aplicación Ñandú"), longName(L"Cálculo de estructuras"), ver(L"4.2.5.0"),
        update(L"4.3.0.0");
    EXPECT_EQ(S_OK, CallByName(control_.get(), L"SendActRequest", {path.v, app.v, longName.v, ver.v, update.v},
                               nullptr));
    user.join();
    return seen;
  }

  ComScope com_;
  com_ptr<IDispatch> control_ = CreateControl();
  ScratchKey user_{HKEY_CURRENT_USER, qvx::kDeploymentKey};
  ScratchKey first_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeyFirst, qvx::MakerRegistryView()};
  ScratchKey second_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeySecond, qvx::MakerRegistryView()};
};

// "-0330" for a bias of 210, daylight bias included in daylight time.
std::string ZoneNow() {
  TIME_ZONE_INFORMATION zone;
  const bool daylight = ::GetTimeZoneInformation(&zone) == TIME_ZONE_ID_DAYLIGHT;
  const long bias = zone.Bias + (daylight ? zone.DaylightBias : 0);
  char text[8];
  std::snprintf(text, sizeof text, "%c%02ld%02ld", bias > 0 ? '-' : '+', std::labs(bias) / 60, std::labs(bias) % 60);
  return text;
}

// A request sent through aiosmtpd: the envelope, every header and the body
// as bytes; the subject's non-ASCII letters as 8-bit Windows-1252.
TEST_F(MailFormTest, RequestReachesARealServer) {
  const int before = Messages();
  const Seen seen = Run("aiosmtpd", {{1036, L"Ana Pérez"}, {1048, L"Línea 1\n.empieza con punto"}}, true,
                        std::getenv("QVX_SCREENSHOT_DIR") ? "all" : nullptr);
  EXPECT_EQ(kSent, seen.boxes);
  ASSERT_EQ(before + 1, Messages());
  const std::string mail = ReadAll(ServersFolder() + "aiosmtpd\\" + std::to_string(before + 1) + ".eml");
  const size_t date = mail.find("Date: ");
  ASSERT_NE(std::string::npos, date) << mail;
  const std::string dateLine = mail.substr(date, mail.find("\r\n", date) - date);
  EXPECT_TRUE(std::regex_match(dateLine, std::regex("Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-3][0-9] "
                                                    "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) 20[0-9]{2} "
                                                    "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [+-][0-9]{4}")))
      << dateLine;
  EXPECT_EQ(ZoneNow(), dateLine.substr(dateLine.size() - 5));
  WSADATA wsa;
  ::WSAStartup(MAKEWORD(2, 2), &wsa);
  char host[100] = "";
  ::gethostname(host, sizeof host);
  ::WSACleanup();
  const std::string expected =
      std::string("helo ") + host + "\nfrom ana@cliente.es\nto soporte@quorvex.test\n\n"
      "From: Ana P\xe9rez <ana@cliente.es>\r\n"
      "To: soporte@quorvex.test <soporte@quorvex.test>\r\n"
      "Subject: Petici\xf3n de actualizaci\xf3n: Aplicaci\xf3n \xd1" "and\xfa\r\n" + dateLine + "\r\n"
      "X-Mailer: Quorvex_SMTP v1.3\r\nMIME-Version: 1.0\r\nContent-type: text/plain; charset=ISO-8859-1\r\n\r\n"
      "----- Datos de cliente -------------\r\nCliente : Ana P\xe9rez\r\nNIF/CIF : B123\r\n"
      "N\xba Cliente : 77\r\nTfno : 600\r\ne-mail: ana@cliente.es\r\n\r\n"
      "----- Datos del programa -------------\r\n"
      "Programa : Aplicaci\xf3n \xd1" "and\xfa  C\xe1lculo de estructuras\r\n"
      "Versi\xf3n del cliente: 4.2.5.0\r\nVersi\xf3n actual: 4.3.0.0\r\n\r\n"
      "----- Comentario -------------\r\nL\xednea 1\r\n.empieza con punto\r\n\r\n";
  EXPECT_EQ(expected, mail);
  for (const ScratchKey* key : {&first_, &second_}) {
    EXPECT_EQ(std::string("Ana P\xe9rez") + '\0', key->Get("Nombre")) << key->path();
    EXPECT_EQ(std::string("\5\0\0\0", 4), key->Get("Flags")) << key->path();
  }
}

// What a user can reach through the form: refusals and silences of the
// server, required fields, a sender address that fails the check, and what
// the store keeps afterwards.
TEST_F(MailFormTest, EdgesAndFaults) {
  const struct Row {
    const char* name;
    const char* mode;
    std::vector<Field> typed;
    bool send;
    std::wstring boxes;
    int focus;              // where the focus was when the form stayed open
    const char* commands;   // a scripted server's log; for aiosmtpd the MAIL FROM line
    const char* storedNif;  // "NIF" in both keys afterwards
  } rows[] = {
      {"251 to RCPT TO", "rcpt251", {}, true, kFailed, 1044,
       "HELO *|MAIL FROM:<ana@cliente.es>|RCPT TO:<soporte@quorvex.test>|QUIT", "B123"},
      {"silence, then a close", "silent", {}, true, kFailed, 1044, "", "B123"},
      {"a close without a greeting", "close", {}, true, kFailed, 1044, "", "B123"},
      {"a 300-byte greeting", "long", {}, true, kSent, 0,
       "HELO *|MAIL FROM:<ana@cliente.es>|RCPT TO:<soporte@quorvex.test>|DATA|QUIT", "B123"},
      {"a multi-line greeting", "multiline", {}, true, kSent, 0,
       "HELO *|MAIL FROM:<ana@cliente.es>|RCPT TO:<soporte@quorvex.test>|DATA|QUIT", "B123"},
      {"a 554 greeting", "greet554", {}, true, kFailed, 1044, "QUIT", "B123"},
      {"QUIT not answered, the server closes", "noquit", {}, true, kSent, 0,
       "HELO *|MAIL FROM:<ana@cliente.es>|RCPT TO:<soporte@quorvex.test>|DATA|QUIT", "B123"},
      {"two @: the support address sends", "aiosmtpd", {{1039, L"ana@@x.es"}}, true, kSent, 0,
       "from soporte@quorvex.test", "B123"},
      {"a blank in the address", "aiosmtpd", {{1039, L"ana @x.es"}}, true, kSent, 0, "from soporte@quorvex.test",
       "B123"},
      {"empty tax number: the message, the focus, kept as typed", "aiosmtpd", {{1037, L""}}, true, kEmpty, 1037, "",
       ""},
      {"cancelled after editing: the store as read", "aiosmtpd", {{1037, L"X9"}}, false, L"", 1037, "", "B123"},
      {"cancelled after a failed send: as typed", "greet554", {{1037, L"X9"}}, true, kFailed, 1044, "QUIT", "X9"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    StoreCustomer();
    std::ofstream(ServersFolder() + row.mode + ".log", std::ios::trunc).close();
    const int before = Messages();
    const bool shot = std::getenv("QVX_SCREENSHOT_DIR") && std::string(row.mode) == "greet554";
    const Seen seen = Run(row.mode, row.typed, row.send, shot ? "boxes" : nullptr);
    EXPECT_EQ(row.boxes, seen.boxes);
    if (row.boxes != kSent) {
      EXPECT_EQ(row.focus, seen.focus);
    }
    if (std::string(row.mode) == "aiosmtpd") {
      const std::string mail = Messages() > before ? ReadAll(ServersFolder() + "aiosmtpd\\" + std::to_string(before + 1) + ".eml") : "";
      if (*row.commands) {
        EXPECT_NE(std::string::npos, mail.find(std::string("\n") + row.commands + "\n")) << mail;
      }
      EXPECT_EQ(row.boxes == kSent ? before + 1 : before, Messages());
    } else {
      EXPECT_TRUE(Matches(row.commands, Commands(row.mode))) << Commands(row.mode);
    }
    EXPECT_EQ(std::string(row.storedNif) + '\0', second_.Get("NIF"));
    EXPECT_EQ(first_.Get("NIF"), second_.Get("NIF"));
  }
}

// Nothing stored: the form opens empty and cancelling stores empty values and
// a flag word of 0 in both keys.
TEST_F(MailFormTest, NothingStoredStoresEmptyValues) {
  DeleteKeyTree(HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeyFirst, qvx::MakerRegistryView());
  DeleteKeyTree(HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeySecond, qvx::MakerRegistryView());
  EXPECT_EQ(L"", Run("aiosmtpd", {}, false).boxes);
  for (const ScratchKey* key : {&first_, &second_}) {
    for (const char* name : {"Numero", "Nombre", "NIF", "Tfno", "Email"})
      EXPECT_EQ(std::string(1, '\0'), key->Get(name)) << key->path() << ' ' << name;
    EXPECT_EQ(std::string(4, '\0'), key->Get("Flags")) << key->path();
  }
}

// The window as 24-bit BMP in QVX_SCREENSHOT_DIR (for docs/screenshots).
void SaveShot(HWND window, const char* name) {
  const char* folder = std::getenv("QVX_SCREENSHOT_DIR");
  if (!folder) return;
  ::Sleep(300);
  RECT r;
  ::GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(memory, old);
  BITMAPINFOHEADER bi = {};
  bi.biSize = sizeof bi, bi.biWidth = w, bi.biHeight = h, bi.biPlanes = 1, bi.biBitCount = 24;
  std::vector<char> pixels(((w * 3 + 3) & ~3) * h);
  ::GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
  BITMAPFILEHEADER bf{0x4D42, static_cast<DWORD>(sizeof bf + sizeof bi + pixels.size()), 0, 0, sizeof bf + sizeof bi};
  std::ofstream out(std::string(folder) + "\\" + name + ".bmp", std::ios::binary);
  out.write(reinterpret_cast<const char*>(&bf), sizeof bf).write(reinterpret_cast<const char*>(&bi), sizeof bi);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  ::DeleteObject(bitmap), ::DeleteDC(memory), ::ReleaseDC(nullptr, screen);
}

}  // namespace
