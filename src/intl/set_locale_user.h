// Scoped switch of one C runtime locale category to the "C" locale, so that
// the runtime's number printing and atof use a point whatever locale the host
// has set. Restores exactly the locale name it saw, also on an exception.
#pragma once

#include <string>

namespace qvx::intl {

class CSetLocaleUser {
 public:
  explicit CSetLocaleUser(int category);
  virtual ~CSetLocaleUser();
  CSetLocaleUser(const CSetLocaleUser&) = delete;
  CSetLocaleUser& operator=(const CSetLocaleUser&) = delete;

 private:
  int category_;
  std::string saved_;
  bool haveSaved_ = false;
};

}  // namespace qvx::intl
