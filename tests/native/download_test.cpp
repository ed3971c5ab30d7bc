#include <string>

#include <gtest/gtest.h>

#include "common/request_encoding.h"
#include "resources/resource.h"
#include "update/download_state.h"
#include "update/download_text.h"

namespace qvx {
namespace {

TEST(DownloadText, VersionsAndReplies) {
  const struct {
    std::string reply, shown, package, tag;
  } rows[] = {
      {"4.2.5.0", "4 . 2 . 5 . 0", "", ""},
      {" 4, 2, 5,0 ", "4 . 2 . 5 . 0", "", ""},                      // blanks go, commas shown as points
      {"4.2.5.0#Brumo#2.1.0.3", "4 . 2 . 5 . 0", "2.1.0.3", "2103"},  // the package after the marker
      {"4.2.5.0#Brumo#", "4 . 2 . 5 . 0", "", ""},
      {"4.2.5.0#Brumo#..\\..\\x", "4 . 2 . 5 . 0", "..\\..\\x", "x"},  // no folder from server text
      {"4.2.5.0#Brumo#2.1#Brumo#0", "4 . 2 . 5 . 0", "2.10", "210"},   // every marker after the first goes
      {"#Brumo#1", "", "1", "1"},
  };
  for (const auto& row : rows) {
    const VersionReply split = SplitVersionReply(row.reply);
    EXPECT_EQ(row.shown, FormatVersionForDisplay(split.application)) << row.reply;
    EXPECT_EQ(row.package, split.package) << row.reply;
    EXPECT_EQ(row.tag, PackageFileTag(split.package)) << row.reply;
  }
}

TEST(DownloadText, InstallerPaths) {
  const std::string temp = "C:\\T\\", longTemp = "C:\\" + std::string(250, 't') + "\\";
  const struct {
    std::string folder, app, tag, ext;
    bool package;
    std::string path;  // "-" when refused
  } rows[] = {
      {temp, "Tramitex", "2103", "", false, "C:\\T\\Tramitex.msi"},
      {temp, "Tramitex", "2103", "", true, "C:\\T\\Brumo2103.exe"},
      {temp, "Tramitex", "2103", "zip", true, "C:\\T\\Brumo2103.zip"},  // one extension for both
      {temp, "Tramitex", "", "", true, "-"},                            // a package version that left nothing
      {temp, "", "1", "", false, "-"},
      {temp, "Tramitex", "1", "..\\x", false, "-"},                     // the extension cannot leave the folder
      {temp, "..", "1", "", false, "-"},
      {longTemp, "T", "1", "", false, longTemp + "T.msi"},              // 259 characters fit
      {longTemp, "Tr", "1", "", false, "-"},                            // 260 do not
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.path, InstallerPath(row.folder, row.app, row.tag, row.ext, row.package).value_or("-"))
        << row.app << " " << row.ext << " " << row.folder.size();
  }
}

TEST(DownloadText, RequestsRefusalsAndAddresses) {
  EXPECT_EQ("App!4!1234!Otra\aClave\a", DownloadCredentials("App", "4", "1234", "Otra!Clave!"));
  EXPECT_EQ("/Updates/Actualizacion?d=-5&c=TOKEN&cod=1", DownloadObjectPath(false, -5, "TOKEN"));
  EXPECT_EQ("Updates/Actualizacion?d=7&c=Brumo&cod=1", DownloadObjectPath(true, 7, "TOKEN"));
  const struct {
    std::string body;
    std::string reason;  // "-" for none
  } refusals[] = {
      {"@ERROR@" + ScrambleText("Uno<BR>Dos<br>Tres"), "Uno\r\nDos\r\nTres"},
      {"@ERROR@" + ScrambleText("Hola") + std::string("\0tail", 5), "Hola"},  // up to the first NUL
      {"@ERROR@zz", kDecodeErrorText},
      {"@ERROR", "-"}, {"MZ@ERROR@", "-"}, {"", "-"},
  };
  for (const auto& row : refusals)
    EXPECT_EQ(row.reason, RefusalReason(row.body.data(), row.body.size()).value_or("-")) << row.body;
  EXPECT_EQ("http://www.quorvex.es/download/updatepdf/Tramitex.pdf", ReleaseNotesAddress("www.quorvex.es", "Tramitex"));
  EXPECT_EQ("http://notas:8080/download/updatepdf/Mi%20App%26x.pdf", ReleaseNotesAddress("notas:8080", "Mi App&x"));
  EXPECT_EQ("", ReleaseNotesAddress("", "Tramitex"));
  EXPECT_EQ(0, ProgressPosition(0, 5, 0));
  EXPECT_EQ(133, ProgressPosition(100, 1023, 3069));  // truncated
  EXPECT_EQ(100, ProgressPosition(0, 64ull << 30, 64ull << 30));  // no overflow past 4 GB
}

TEST(DownloadState, TableAndFlow) {
  // state: result text, OK caption, OK/Cancel/progress, OK icon, result colour, installed colour
  const struct {
    int state;
    unsigned text, caption;
    const char* flags;
    unsigned icon;
    uint32_t result, installed;
    OkAction ok;
    EscapeAction escape;
  } rows[] = {
      {0, IDS_AU_CHECKING, IDS_AU_ACCEPT, "---", IDI_AU_ACCEPT, kDarkBlue, kRed, OkAction::CloseCancel, EscapeAction::Close},
      {1, IDS_AU_DOWNLOADING, IDS_AU_STOP, "o-p", IDI_AU_STOP, kDarkBlue, kRed, OkAction::Stop, EscapeAction::Ignore},
      {2, IDS_AU_DOWNLOADING_PACKAGE, IDS_AU_STOP, "o-p", IDI_AU_STOP, kDarkBlue, kRed, OkAction::Stop, EscapeAction::Ignore},
      {3, IDS_AU_UP_TO_DATE, IDS_AU_ACCEPT, "oc-", IDI_AU_ACCEPT, kDarkBlue, kDarkBlue, OkAction::CloseOk, EscapeAction::Close},
      {4, IDS_AU_AVAILABLE, IDS_AU_DOWNLOAD, "ocp", IDI_AU_DOWNLOAD, kDarkBlue, kRed, OkAction::Download, EscapeAction::Close},
      {5, IDS_AU_DOWNLOADED, IDS_AU_INSTALL, "ocp", IDI_AU_ACCEPT, kDarkBlue, kRed, OkAction::CloseOk, EscapeAction::Ask},
      {6, IDS_AU_NO_APP_INFO, IDS_AU_ACCEPT, "oc-", IDI_AU_ERROR, kDarkRed, kRed, OkAction::CloseCancel, EscapeAction::Close},
      {7, IDS_AU_DOWNLOAD_FAILED, IDS_AU_DOWNLOAD, "oc-", IDI_AU_DOWNLOAD, kDarkRed, kRed, OkAction::Download, EscapeAction::Close},
      {8, IDS_AU_QUERY_FAILED, IDS_AU_ACCEPT, "oc-", IDI_AU_ERROR, kDarkRed, kRed, OkAction::CloseCancel, EscapeAction::Close},
      {9, IDS_AU_ATTEMPTS_EXHAUSTED, IDS_AU_ACCEPT, "oc-", IDI_AU_ERROR, kDarkRed, kRed, OkAction::CloseCancel, EscapeAction::Close},
      {10, IDS_AU_UNDEFINED, IDS_AU_ACCEPT, "oc-", IDI_AU_ERROR, kDarkBlue, kRed, OkAction::CloseCancel, EscapeAction::Close},
  };
  for (const auto& row : rows) {
    const StateView v = ViewOfState(row.state);
    const std::string flags = {v.okEnabled ? 'o' : '-', v.cancelEnabled ? 'c' : '-', v.progressShown ? 'p' : '-'};
    EXPECT_EQ(row.text, v.resultText) << row.state;
    EXPECT_EQ(row.caption, v.okCaption) << row.state;
    EXPECT_EQ(row.flags, flags) << row.state;
    EXPECT_EQ(row.icon, v.okIcon) << row.state;
    EXPECT_EQ(row.result, v.resultColour) << row.state;
    EXPECT_EQ(row.installed, v.installedColour) << row.state;
    EXPECT_EQ(row.state == 7 || row.state == 8, v.withError) << row.state;
    DownloadFlow flow;
    flow.state = row.state;
    EXPECT_EQ(row.ok, flow.OnOk()) << row.state;
    EXPECT_EQ(row.escape, flow.OnEscape()) << row.state;
  }
  EXPECT_EQ("E: x", ResultText(ViewOfState(7), "E: %s", "x", "undefined"));
  EXPECT_EQ("E: undefined", ResultText(ViewOfState(8), "E: %s", "", "undefined"));
  EXPECT_EQ("E: %s", ResultText(ViewOfState(4), "E: %s", "x", "undefined"));
  DownloadFlow flow;
  std::string seen;
  for (int i = 0; i < 4; ++i) flow.DownloadFailed(), seen += std::to_string(flow.state);
  EXPECT_EQ("7779", seen) << "three failures leave the download button, the fourth does not";
}

}  // namespace
}  // namespace qvx
