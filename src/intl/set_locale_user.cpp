#include "intl/set_locale_user.h"

#include <clocale>

namespace qvx::intl {

CSetLocaleUser::CSetLocaleUser(int category) : category_(category) {
  // Copy the name now: the runtime reuses its buffer on the next setlocale.
  if (const char* name = std::setlocale(category, nullptr)) {
    saved_ = name;
    haveSaved_ = true;
  }
  std::setlocale(category, "C");
}

CSetLocaleUser::~CSetLocaleUser() {
  // Without a saved name there is nothing known to go back to.
  if (haveSaved_) {
    std::setlocale(category_, saved_.c_str());
  }
}

}  // namespace qvx::intl
