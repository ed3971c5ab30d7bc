#include "update/info_state.h"

#include <algorithm>

#include "common/version_compare.h"
#include "resources/resource.h"

namespace qvx::update {

InfoView ViewOfState(int state) {
  switch (state) {
    case Current:
      return {IDI_INFO_CURRENT, IDS_INFO_CURRENT, false};
    case Outdated:
      return {IDI_INFO_OUTDATED, IDS_INFO_OUTDATED, false};
    case Unchecked:
      return {IDI_INFO_UNCHECKED, IDS_INFO_UNCHECKED, true};
    default:
      return {IDI_INFO_UNCHECKED, IDS_INFO_UNDETERMINED, false};
  }
}

unsigned long InfoTextColour(int state, int controlId) {
  switch (controlId) {
    case IDC_INFO_STATE:
    case IDC_INFO_LATEST:
      return state == Current ? kDarkBlue : kRed;
    case IDC_INFO_ERROR:
      return kRed;
    case IDC_INFO_INSTALLED:
      return kDarkBlue;
    default:
      return kDefaultColour;
  }
}

std::string WithoutBlanks(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
}

int StateOfCheck(bool queried, const std::string& installed, const std::string& latest) {
  if (!queried) return Unchecked;
  return CompareVersions(installed, latest) >= 0 ? Current : Outdated;
}

std::optional<int> StartupCheckState(bool queried, const std::string& installed, const std::string& latest,
                                     int showUpdateErr) {
  const int state = StateOfCheck(queried, installed, latest);
  if (state == Outdated || (state == Unchecked && showUpdateErr != 0)) return state;
  return std::nullopt;
}

}  // namespace qvx::update
