// The update request form ("Solicitud de actualización"): the customer's
// identification, the application's name and versions, and a comment, sent
// by e-mail to the maker's support mail box.
#pragma once

#include <string>

#include "framework/dialog.h"

namespace qvx::mail {

class CDlgSolicitarAct : public fw::CDialog {
 public:
  explicit CDlgSolicitarAct(HWND owner = nullptr);

  std::string m_csNombre, m_csNIF, m_csNumCliente, m_csTfno, m_csEmail;
  std::string m_csAppName, m_csLongName, m_csVer, m_csUpdateVer;
  std::string m_csComentario;
  std::string m_csPathApp;  // whose first icon the form shows; "" for the host executable

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(fw::DataExchange& exchange) override;
  bool OnCommand(WORD id, WORD code, HWND control) override;
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

 private:
  void OnEnviar();
};

// What the application says about itself when it opens the form.
struct ActRequestApp {
  std::string pathApp, appName, longName, version, updateVersion;
};

// Opens the form filled from the customer data store, runs it modally and
// writes the customer fields back whatever the result (edits reach the
// store only once "Enviar" was pressed). Returns IDOK after a request was
// sent, IDCANCEL otherwise, -1 when the form could not be made.
INT_PTR RunActRequestForm(const ActRequestApp& app, HWND owner = nullptr);

// Sends the request from the customer (the support address when email fails
// CheckMailAddress) to the support mail box. False when the mail server
// could not be reached or did not take the message.
bool SendUpdateRequestMail(const std::string& name, const std::string& support, const std::string& email,
                           const std::string& subject, const std::string& body);

}  // namespace qvx::mail
