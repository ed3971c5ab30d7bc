#include "mail/dlg_solicitar_act.h"

#include <shellapi.h>

#include "common/deployment_settings.h"
#include "framework/module_state.h"
#include "mail/customer_data.h"
#include "mail/smtp_connection.h"
#include "mail/smtp_message.h"
#include "mail/smtp_winsock.h"
#include "resources/resource.h"

namespace qvx::mail {

CDlgSolicitarAct::CDlgSolicitarAct(HWND owner) : fw::CDialog(IDD_SOLICITAR_ACT, owner) {}

void CDlgSolicitarAct::DoDataExchange(fw::DataExchange& exchange) {
  exchange.Text(IDC_SA_NOMBRE, m_csNombre);
  exchange.Text(IDC_SA_NIF, m_csNIF);
  exchange.Text(IDC_SA_NUMCLIENTE, m_csNumCliente);
  exchange.Text(IDC_SA_TFNO, m_csTfno);
  exchange.Text(IDC_SA_EMAIL, m_csEmail);
  exchange.Text(IDC_SA_APPNAME, m_csAppName);
  exchange.Text(IDC_SA_LONGNAME, m_csLongName);
  exchange.Text(IDC_SA_VER, m_csVer);
  exchange.Text(IDC_SA_UPDATEVER, m_csUpdateVer);
  exchange.Text(IDC_SA_COMENTARIO, m_csComentario);
}

BOOL CDlgSolicitarAct::OnInitDialog() {
  fw::CDialog::OnInitDialog();
  SetBoldFont({IDC_SA_VER, IDC_SA_UPDATEVER, IDC_SA_APPNAME});
  std::string iconFile = m_csPathApp;
  if (iconFile.empty()) {
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return TRUE;
    iconFile.assign(path, length);
  }
  HICON large = nullptr;
  if (::ExtractIconExA(iconFile.c_str(), 0, &large, nullptr, 1) > 0 && large != nullptr) {
    ::SendMessageA(Item(IDC_SA_ICON), STM_SETICON, reinterpret_cast<WPARAM>(AdoptIcon(large)), 0);
  }
  return TRUE;
}

bool CDlgSolicitarAct::OnCommand(WORD id, WORD code, HWND control) {
  // Enter reaches the default button, "Enviar"; IDOK never ends this form by itself.
  if (id == IDC_SA_ENVIAR || id == IDOK) {
    OnEnviar();
    return true;
  }
  return fw::CDialog::OnCommand(id, code, control);
}

INT_PTR CDlgSolicitarAct::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  if (message != WM_CTLCOLORSTATIC) return 0;
  const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
  if (id != IDC_SA_VER && id != IDC_SA_UPDATEVER) return 0;
  const auto dc = reinterpret_cast<HDC>(wParam);
  ::SetTextColor(dc, id == IDC_SA_VER ? RGB(255, 0, 0) : RGB(0, 0, 125));
  ::SetBkColor(dc, ::GetSysColor(COLOR_3DFACE));
  handled = true;
  return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_3DFACE));
}

void CDlgSolicitarAct::OnEnviar() {
  UpdateData(true);
  const std::string caption = fw::LoadResString(IDS_SA_CAPTION);
  const std::pair<const std::string&, int> required[] = {
      {m_csNombre, IDC_SA_NOMBRE}, {m_csNIF, IDC_SA_NIF}, {m_csTfno, IDC_SA_TFNO}};
  for (const auto& [field, id] : required) {
    if (field.empty()) {
      ::MessageBoxA(Hwnd(), fw::LoadResString(IDS_SA_FIELD_EMPTY).c_str(), caption.c_str(), MB_ICONEXCLAMATION);
      ::SendMessageA(Hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
      return;
    }
  }
  const std::string body = "----- Datos de cliente -------------\n"
                           "Cliente : " + m_csNombre + "\n"
                           "NIF/CIF : " + m_csNIF + "\n"
                           "Nº Cliente : " + m_csNumCliente + "\n"
                           "Tfno : " + m_csTfno + "\n"
                           "e-mail: " + m_csEmail + "\n\n"
                           "----- Datos del programa -------------\n"
                           "Programa : " + m_csAppName + "  " + m_csLongName + "\n"
                           "Versión del cliente: " + m_csVer + "\n"
                           "Versión actual: " + m_csUpdateVer + "\n"
                           "\n----- Comentario -------------\n" + m_csComentario + "\n";
  const std::string subject = "Petición de actualización: " + m_csAppName;
  if (!SendUpdateRequestMail(m_csNombre, SupportMailbox(), m_csEmail, subject, body)) {
    ::MessageBoxA(Hwnd(), fw::LoadResString(IDS_SA_SEND_FAILED).c_str(), caption.c_str(), MB_ICONERROR);
    return;
  }
  ::MessageBoxA(Hwnd(), fw::LoadResString(IDS_SA_SENT).c_str(), caption.c_str(), MB_ICONINFORMATION);
  EndDialog(IDOK);
}

bool SendUpdateRequestMail(const std::string& name, const std::string& support, const std::string& email,
                           const std::string& subject, const std::string& body) {
  CSMTPConnection connection(MakeWinsockTransport());
  const ServerAddress server = MailServer();
  if (!connection.Connect(server.host, static_cast<int>(server.port))) return false;
  CSMTPMessage message(SystemMailClock());
  message.m_From = CSMTPAddress(name, CheckMailAddress(email) ? email : support);
  message.AddRecipient(CSMTPAddress(support, support));
  message.m_sSubject = subject;
  message.SetBody(body);
  // After a failure the connection says QUIT as it goes.
  if (!connection.SendMessage(message)) return false;
  connection.Disconnect();
  return true;
}

INT_PTR RunActRequestForm(const ActRequestApp& app, HWND owner) {
  CDlgSolicitarAct form(owner);
  form.m_csPathApp = app.pathApp;
  form.m_csAppName = app.appName;
  form.m_csLongName = app.longName;
  form.m_csVer = app.version;
  form.m_csUpdateVer = app.updateVersion;
  CustomerData customer;  // flags 0 unless the store holds a word
  bool fromFallbackKey = false;
  ReadCustomerData(customer, fromFallbackKey);
  form.m_csNombre = customer.name;
  form.m_csNIF = customer.taxNumber;
  form.m_csNumCliente = customer.number;
  form.m_csTfno = customer.telephone;
  form.m_csEmail = customer.email;
  const INT_PTR result = form.DoModal();
  customer.name = form.m_csNombre;
  customer.taxNumber = form.m_csNIF;
  customer.number = form.m_csNumCliente;
  customer.telephone = form.m_csTfno;
  customer.email = form.m_csEmail;
  WriteCustomerData(customer);
  return result;
}

}  // namespace qvx::mail
