// What the separator warning proposes and what each choice writes, apart
// from the dialog so that it is tested without windows.
#pragma once

#include <string>

namespace qvx::intl {

// The two radio buttons of the warning, in order.
enum SeparatorChoice : int {
  kCommaDecimal = 0,  // decimal ",", thousands "."
  kPointDecimal = 1,  // decimal ".", thousands ","
};

// A shared point is kept as the decimal separator; any other shared symbol
// (a comma, a blank, ...) gives way to the comma.
inline int ProposedChoice(const std::string& sharedSymbol) {
  return sharedSymbol == "." ? kPointDecimal : kCommaDecimal;
}

struct SeparatorPair {
  std::string decimal;
  std::string thousand;
};

inline SeparatorPair PairOfChoice(int choice) {
  return choice == kCommaDecimal ? SeparatorPair{",", "."} : SeparatorPair{".", ","};
}

}  // namespace qvx::intl
