#include <gtest/gtest.h>

#include "common/request_encoding.h"
#include "resources/resource.h"
#include "update/download_state.h"
#include "update/download_text.h"
#include "update/info_state.h"
#include "update/update_section.h"
#include "update/version_request.h"

using namespace qvx;

TEST(UpdateSection, Cases) {
  struct Case { std::string path, section; } cases[] = {
      {"C:\\Apps\\Tramitex.exe", "TRAMITEX"}, {"setup.exe", "SETUP"}, {"C:\\a.b\\Gesti\xF3n-2.bin", "GESTI\xD3N-2"},
      {"C:\\x\\\x9A\xFF\xF7\xDF.exe", "\x8A\x9F\xF7\xDF"},  // Windows-1252 has upper cases above 127
      {"C:\\x\\ab.ex", "A"}, {"C:\\x\\a.ex", ""}, {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.section, UpdateSection(c.path)) << c.path;
}

// The application's name goes percent-encoded: only unreserved bytes as given; the host program's name and tag.
TEST(VersionRequest, ObjectPathAndHostProgramNames) {
  EXPECT_EQ("/Updates/Version?d=17&p=Tramitex&code=0A1B", VersionObjectPath(false, 17, "Tramitex", "0A1B"));
  EXPECT_EQ("/Updates/Versioncc?d=-2147483648&p=AZaz09-._~%20%26code%3D1%23%25%2B%2F%F1%00&code=",
            VersionObjectPath(true, INT32_MIN, std::string("AZaz09-._~ &code=1#%+/\xF1\0", 24), ""));
  EXPECT_EQ("Tramitex", ProgramBaseName("C:\\Programas.v2\\Tramitex"));  // a point in a folder is no extension
  EXPECT_EQ("tramitex.v2", ProgramBaseName("C:tramitex.v2.exe"));
  EXPECT_EQ("", ProgramBaseName(""));
  const std::pair<std::string, std::string> tags[] = {
      {"Tramitex#A#B17 beta", "B17"}, {"Tramitex", ""}, {"Tramitex#", ""}, {"Tramitex# B17", ""}};
  for (const auto& [name, tag] : tags) EXPECT_EQ(tag, BuildTag(name)) << name;
}

// The line found, or what ended the search: "(ended)" at the body's end, "(failed)" on a failed read.
TEST(FirstNonEmptyLine, Cases) {
  const std::nullopt_t fail = std::nullopt;
  const std::string limit(kReplyReadMax, '\n'), ended = "(ended)";
  struct { std::vector<std::optional<std::string>> chunks; std::string line; } cases[] = {
      {{"\r\n\r\n4.2.5.0\r\n"}, "4.2.5.0"}, {{"4.2.5.0"}, "4.2.5.0"}, {{"4.2.5.0\r"}, "4.2.5.0"},  // no end needed
      {{" \r\n4"}, " "}, {{"\r", "\n4.", "2\r", "\n"}, "4.2"}, {{"4.2.5.0\n", fail}, "4.2.5.0"},  // ends across reads
      {{std::string(3000, '7') + "\n"}, std::string(3000, '7')}, {{}, ended}, {{"\r\n\n\r\n"}, ended},
      {{"\r\n4.2", fail}, "(failed)"}, {{limit + "4.2.5.0\n"}, ended}, {{std::string(kReplyReadMax + 1, '7')}, ended},
  };
  for (size_t row = 0; row < std::size(cases); ++row) {
    auto& chunks = cases[row].chunks;
    auto reader = [&](char* buffer, size_t size) -> std::ptrdiff_t {  // one chunk per read, cut to the buffer
      if (chunks.empty() || !chunks.front()) return chunks.empty() ? 0 : -1;
      const size_t n = chunks.front()->copy(buffer, size);
      if (chunks.front()->erase(0, n).empty()) chunks.erase(chunks.begin());
      return n;
    };
    std::string line = "previous";
    const ReplyLine result = FirstNonEmptyLine(reader, line);
    const std::string got = result == ReplyLine::Found ? line : (result == ReplyLine::Ended ? ended : "(failed)") + line;
    EXPECT_EQ(cases[row].line, got) << "row " << row;
  }
}

// A reply: the version as shown | the package's version | its file name piece; the installer's path from them.
TEST(DownloadText, RepliesAndInstallerPaths) {
  const std::pair<std::string, std::string> rows[] = {
      {"4.2.5.0", "4 . 2 . 5 . 0||"}, {" 4, 2, 5,0 ", "4 . 2 . 5 . 0||"}, {"4.2.5.0#Brumo#", "4 . 2 . 5 . 0||"},
      {"4.2.5.0#Brumo#2.1.0.3", "4 . 2 . 5 . 0|2.1.0.3|2103"}, {"#Brumo#1", "|1|1"},
      {"4.2.5.0#Brumo#..\\..\\x", "4 . 2 . 5 . 0|..\\..\\x|x"},        // no folder from server text
      {"4.2.5.0#Brumo#2.1#Brumo#0", "4 . 2 . 5 . 0|2.10|210"},          // every marker after the first goes
  };
  for (const auto& [reply, expected] : rows) {
    const VersionReply split = SplitVersionReply(reply);
    const std::string got = FormatVersionForDisplay(split.application) + "|" + split.package + "|";
    EXPECT_EQ(expected, got + PackageFileTag(split.package)) << reply;
  }
  const std::string temp = "C:\\T\\", longTemp = "C:\\" + std::string(250, 't') + "\\";
  const struct { std::string folder, app, tag, ext; bool package; std::string path; } paths[] = {  // "-": refused
      {temp, "App", "2103", "", false, "C:\\T\\App.msi"}, {temp, "App", "2103", "", true, "C:\\T\\Brumo2103.exe"},
      {temp, "App", "2103", "zip", true, "C:\\T\\Brumo2103.zip"},  // one extension for both
      {temp, "App", "", "", true, "-"}, {temp, "", "1", "", false, "-"}, {temp, "..", "1", "", false, "-"},
      {temp, "App", "1", "..\\x", false, "-"},  // the extension cannot leave the folder
      {longTemp, "T", "1", "", false, longTemp + "T.msi"}, {longTemp, "Tr", "1", "", false, "-"},  // 259 fit, 260 not
  };
  for (const auto& row : paths)
    EXPECT_EQ(row.path, InstallerPath(row.folder, row.app, row.tag, row.ext, row.package).value_or("-"))
        << row.app << " " << row.ext << " " << row.folder.size();
}

TEST(DownloadText, RequestsRefusalsAndAddresses) {
  EXPECT_EQ("App!4!1234!Otra\aClave\a", DownloadCredentials("App", "4", "1234", "Otra!Clave!"));
  EXPECT_EQ("/Updates/Actualizacion?d=-5&c=TOKEN&cod=1", DownloadObjectPath(false, -5, "TOKEN"));
  EXPECT_EQ("Updates/Actualizacion?d=7&c=Brumo&cod=1", DownloadObjectPath(true, 7, "TOKEN"));
  const struct { std::string body, reason; } refusals[] = {  // reason "-": none
      {"@ERROR@" + ScrambleText("Uno<BR>Dos<br>Tres"), "Uno\r\nDos\r\nTres"},
      {"@ERROR@" + ScrambleText("Hola") + std::string("\0tail", 5), "Hola"},  // up to the first NUL
      {"@ERROR@zz", kDecodeErrorText}, {"@ERROR", "-"}, {"MZ@ERROR@", "-"}, {"", "-"},
  };
  for (const auto& row : refusals)
    EXPECT_EQ(row.reason, RefusalReason(row.body.data(), row.body.size()).value_or("-")) << row.body;
  EXPECT_EQ("http://notas:8080/download/updatepdf/Mi%20App%26x.pdf", ReleaseNotesAddress("notas:8080", "Mi App&x"));
  EXPECT_EQ("", ReleaseNotesAddress("", "Tramitex"));
  EXPECT_EQ(0, ProgressPosition(0, 5, 0));
  EXPECT_EQ(133, ProgressPosition(100, 1023, 3069));              // truncated
  EXPECT_EQ(100, ProgressPosition(0, 64ull << 30, 64ull << 30));  // no overflow past 4 GB
}

// The information dialog's text for each state, only a failed check showing the query's error; what OK and
// Escape do in the download dialog's states (row n is state n), only the failures filling in their error.
TEST(DialogStates, InfoViewsAndDownloadFlow) {
  const std::pair<int, int> views[] = {{update::Current, IDS_INFO_CURRENT}, {update::Outdated, IDS_INFO_OUTDATED},
                                       {update::Unchecked, IDS_INFO_UNCHECKED}, {7, IDS_INFO_UNDETERMINED}};
  for (const auto& [state, text] : views)
    EXPECT_EQ(std::make_pair(text, state == update::Unchecked),
              std::make_pair(update::ViewOfState(state).textId, update::ViewOfState(state).showError)) << state;
  using O = OkAction;
  using E = EscapeAction;
  const std::pair<O, E> actions[] = {
      {O::CloseCancel, E::Close}, {O::Stop, E::Ignore},        {O::Stop, E::Ignore},        {O::CloseOk, E::Close},
      {O::Download, E::Close},    {O::CloseOk, E::Ask},        {O::CloseCancel, E::Close}, {O::Download, E::Close},
      {O::CloseCancel, E::Close}, {O::CloseCancel, E::Close}, {O::CloseCancel, E::Close},  // 10: any other value
  };
  for (int state = 0; state < 11; ++state)
    EXPECT_EQ(actions[state], std::make_pair(DownloadFlow{state}.OnOk(), DownloadFlow{state}.OnEscape())) << state;
  for (const auto& [state, error, text] : {std::tuple{7, "x", "E: x"}, {8, "", "E: undefined"}, {4, "x", "E: %s"}})
    EXPECT_EQ(text, ResultText(ViewOfState(state), "E: %s", error, "undefined")) << state;
  DownloadFlow flow;
  std::string seen;
  for (int i = 0; i < 4; ++i) flow.DownloadFailed(), seen += std::to_string(flow.state);
  EXPECT_EQ("7779", seen) << "three failures leave the download button, the fourth does not";
}
