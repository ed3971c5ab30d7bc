// What the update information dialog shows for each state of a check, and
// which state a check ends in. Plain code: the dialogs only copy it out.
#pragma once

#include <optional>
#include <string>

namespace qvx::update {

// Any other value is Undetermined.
enum InfoState : int { Outdated = 0, Current = 1, Unchecked = -1 };

inline constexpr unsigned long kDarkBlue = 0x7D0000;  // RGB(0, 0, 125)
inline constexpr unsigned long kRed = 0x0000FF;       // RGB(255, 0, 0)
inline constexpr unsigned long kDefaultColour = 0xFFFFFFFF;

struct InfoView {
  int iconId;      // icon resource of control 313
  int textId;      // string resource of control 314
  bool showError;  // control 318 with the query's error
};
InfoView ViewOfState(int state);

// The text colour of a control of the information dialog, kDefaultColour
// for the controls drawn as the system draws them.
unsigned long InfoTextColour(int state, int controlId);

// Version texts as the dialog shows them: "4 . 2 . 5 . 0" gives "4.2.5.0".
std::string WithoutBlanks(std::string text);

// A check run at the user's request: Current when installed is not older
// than latest, Outdated when it is, Unchecked when the query failed.
int StateOfCheck(bool queried, const std::string& installed, const std::string& latest);

// The check at the host's start-up shows only an older installed version,
// and a failure only when showUpdateErr is set; nothing otherwise.
std::optional<int> StartupCheckState(bool queried, const std::string& installed, const std::string& latest,
                                     int showUpdateErr);

}  // namespace qvx::update
