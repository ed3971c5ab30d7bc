// What the update information dialog shows in each state; when the checks
// open it is tested with the dialogs under Wine (update_dialog_test.cpp).
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "update/info_state.h"

namespace qvx::update {
namespace {

TEST(InfoState, ViewAndColoursOfEachState) {
  const struct Row {
    int state, icon, text;
    bool error;
    unsigned long stateColour;  // of 314 and 316
  } rows[] = {
      {Current, IDI_INFO_CURRENT, IDS_INFO_CURRENT, false, kDarkBlue},
      {Outdated, IDI_INFO_OUTDATED, IDS_INFO_OUTDATED, false, kRed},
      {Unchecked, IDI_INFO_UNCHECKED, IDS_INFO_UNCHECKED, true, kRed},
      {7, IDI_INFO_UNCHECKED, IDS_INFO_UNDETERMINED, false, kRed},  // any other value
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.state);
    const InfoView view = ViewOfState(row.state);
    EXPECT_EQ(row.icon, view.iconId);
    EXPECT_EQ(row.text, view.textId);
    EXPECT_EQ(row.error, view.showError);
    EXPECT_EQ(row.stateColour, InfoTextColour(row.state, IDC_INFO_STATE));
    EXPECT_EQ(row.stateColour, InfoTextColour(row.state, IDC_INFO_LATEST));
    EXPECT_EQ(kDarkBlue, InfoTextColour(row.state, IDC_INFO_INSTALLED));
    EXPECT_EQ(kRed, InfoTextColour(row.state, IDC_INFO_ERROR));
    EXPECT_EQ(kDefaultColour, InfoTextColour(row.state, IDC_INFO_GROUP));
  }
}

}  // namespace
}  // namespace qvx::update
