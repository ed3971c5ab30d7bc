#include "intl/dlg_config_reg.h"

#include "framework/module_state.h"
#include "intl/regional_settings.h"
#include "intl/separator_choice.h"
#include "resources/resource.h"

namespace qvx::intl {

CDlgConfigReg::CDlgConfigReg() : fw::CDialog(IDD_CONFIG_REG) {}

BOOL CDlgConfigReg::OnInitDialog() {
  m_nChoice = ProposedChoice(m_strDecimal);
  return fw::CDialog::OnInitDialog();
}

void CDlgConfigReg::DoDataExchange(fw::DataExchange& exchange) {
  exchange.Radio(IDC_CONFIG_REG_COMMA, m_nChoice);
  if (exchange.Saving()) {
    SeparatorPair pair = PairOfChoice(m_nChoice);
    m_strDecimal = std::move(pair.decimal);
    m_strThousand = std::move(pair.thousand);
  }
}

int CheckIntlSeparators() {
  const std::string decimal = GetIntlDecimalSep();
  const std::string thousand = GetIntlThousandSep();
  if (decimal != thousand) return 1;

  CDlgConfigReg dialog;
  dialog.m_strDecimal = decimal;
  dialog.m_strThousand = thousand;
  if (dialog.DoModal() == IDOK) {
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, dialog.m_strDecimal.c_str());
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, dialog.m_strThousand.c_str());
    return 1;
  }
  fw::ModuleMessageBox(fw::LoadResString(IDS_SEPARATORS_EQUAL), MB_ICONERROR);
  if (HWND main = fw::ThreadMainWindow()) ::PostMessageA(main, WM_CLOSE, 0, 0);
  return 0;
}

}  // namespace qvx::intl
