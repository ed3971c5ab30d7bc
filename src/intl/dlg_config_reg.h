// The warning shown when the user's decimal and thousands separators are the
// same symbol: it proposes one of the two usual pairs and, on "Aceptar",
// leaves the chosen pair in m_strDecimal and m_strThousand.
#pragma once

#include <string>

#include "framework/dialog.h"

namespace qvx::intl {

class CDlgConfigReg : public fw::CDialog {
 public:
  CDlgConfigReg();

  int m_nChoice = 0;
  std::string m_strDecimal;   // on entry the shared symbol; on IDOK the chosen decimal separator
  std::string m_strThousand;  // on entry the shared symbol; on IDOK the chosen thousands separator

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(fw::DataExchange& exchange) override;
};

// Nonzero when the separators differ or the user accepted a new pair, which
// is then written into the user's regional settings. Otherwise shows the
// error message, asks the thread's main window to close and returns 0.
int CheckIntlSeparators();

}  // namespace qvx::intl
