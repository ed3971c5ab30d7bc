// What the update information dialog shows, and when a check opens it.
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

TEST(InfoState, BlanksLeaveVersions) {
  EXPECT_EQ("4.2.5.0", WithoutBlanks("4 . 2 . 5 . 0"));
  EXPECT_EQ("4,1,0,0", WithoutBlanks(" 4, 1, 0, 0 "));
  EXPECT_EQ("", WithoutBlanks("   "));
}

TEST(InfoState, WhatEachCheckShows) {
  const struct Row {
    bool queried;
    const char *installed, *latest;
    int showErr;
    int now;      // the check from the properties dialog
    int startup;  // the start-up check; -2 shows nothing
  } rows[] = {
      {true, "4.2.5.0", "4.2.5.0", 1, Current, -2},
      {true, "4.2.6", "4.2.5.0", 1, Current, -2},
      {true, "4.2.4.9", "4 . 2 . 5 . 0", 0, Outdated, Outdated},
      {true, "", "0.0.0.1", 0, Outdated, Outdated},  // a host without version information
      {false, "4.2.5.0", "", 0, Unchecked, -2},
      {false, "4.2.5.0", "", 1, Unchecked, Unchecked},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.installed) + " / " + row.latest + (row.queried ? "" : " failed"));
    EXPECT_EQ(row.now, StateOfCheck(row.queried, row.installed, row.latest));
    EXPECT_EQ(row.startup, StartupCheckState(row.queried, row.installed, row.latest, row.showErr).value_or(-2));
  }
}

}  // namespace
}  // namespace qvx::update
