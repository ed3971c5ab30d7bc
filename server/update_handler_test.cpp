#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "common/request_encoding.h"
#include "release_folder.h"
#include "update_handler.h"

namespace qvx::server {
namespace {

namespace fs = std::filesystem;

const std::string kMachine = "0123456789ABCDEF0123456789ABCDEF";

// A release folder as a maker lays it out: two customers, one application, the runtime package.
struct SampleRelease {
  fs::path root = mkdtemp(std::string("/tmp/qvx_release_XXXXXX").data());
  SampleRelease() {
    for (const auto& [name, bytes] : std::map<std::string, std::string>{
             {"customers.txt", "# number key\r\n1234 ClaveSecreta\r\n\r\n5678   Otra!Clave  \r\n"},
             {"apps/QvxTestApp/version.txt", "4.2.5.0\n"}, {"apps/QvxTestApp/setup.msi", "MSI bytes"},
             {"package/version.txt", " 2.1.0.3 \r\nignored\n"}, {"package/setup.exe", "EXE bytes"}}) {
      fs::create_directories((root / name).parent_path());
      std::ofstream(root / name, std::ios::binary) << bytes;
    }
  }
  ~SampleRelease() { fs::remove_all(root); }
  std::optional<Release> Load(std::string& error) const { return LoadRelease(root.string(), error); }
};

TEST(ServerRelease, LoadsTheLayoutAndRefusesWhatBreaksIt) {
  SampleRelease sample;
  std::string error;
  const std::optional<Release> release = sample.Load(error);
  ASSERT_TRUE(release) << error;
  EXPECT_EQ("4.2.5.0", release->applications.at("QvxTestApp").version);
  EXPECT_EQ("2.1.0.3", release->packageVersion);  // first line, without blanks and line end
  EXPECT_EQ((std::map<std::string, std::string>{{"1234", "ClaveSecreta"}, {"5678", "Otra!Clave"}}), release->customers);
  fs::remove_all(sample.root / "package");  // optional
  EXPECT_EQ("", sample.Load(error).value().packageVersion) << error;
  for (const char* file : {"apps/QvxTestApp/setup.msi", "customers.txt"}) {
    fs::remove(sample.root / file);
    EXPECT_FALSE(sample.Load(error)) << file;
    EXPECT_EQ(0u, error.find(file)) << error;
  }
}

// "|" stands for character 7, the version token's separator and a download key's "!".
std::string Token(std::string fields) {
  std::replace(fields.begin(), fields.end(), '|', '\x07');
  return EncodeRequestText(fields);
}

TEST(ServerHandler, Answers) {
  SampleRelease sample;
  std::string error;
  const Release release = sample.Load(error).value();
  const std::string m = "|" + kMachine + "|", code = "&code=" + Token("1234" + m + "ClaveSecreta");
  const std::string good = "d=1&p=QvxTestApp" + code, ask = "d=1&p=QvxTestApp&code=", forbidden = "Forbidden\r\n";
  const std::string version = "/Updates/Version", download = "/Updates/Actualizacion", app = "d=1&cod=1&c=";
  const std::string damaged = good.substr(0, good.size() - 1) + (good.back() == '0' ? "1" : "0");
  struct Case { const char* label; std::string method, path, query; int status; std::string body, outcome; };
  const Case cases[] = {
      {"customer", "GET", version, good, 200, "4.2.5.0\r\n", "version"},
      {"anonymous", "GET", version, "d=-5&p=QvxTestApp&code=" + Token(m), 200, "4.2.5.0\r\n", "version"},
      {"with package, escaped", "HEAD", "/Updates/Versioncc", "d=1&%70=Qvx%54estApp&code=" + Token(m), 200,
       "4.2.5.0#Brumo#2.1.0.3\r\n", "version"},
      {"unknown application", "GET", version, "d=1&p=Tramitex&code=" + Token(m), 404, "Not found\r\n", "unknown-app"},
      {"unknown customer", "GET", version, ask + Token("9999" + m + "Clave"), 403, forbidden, "unknown-customer"},
      {"wrong key", "GET", version, ask + Token("1234" + m + "Clave"), 403, forbidden, "wrong-key"},
      {"damaged token", "GET", version, damaged, 403, forbidden, "bad-token"},
      {"lower-case id", "GET", version, ask + Token("|0123456789abcdef0123456789ABCDEF|"), 403, forbidden, "bad-token"},
      {"d not a number", "GET", version, "d=1x&p=QvxTestApp" + code, 403, forbidden, "bad-request"},
      {"case of the path", "GET", "/updates/version", good, 404, "Not found\r\n", "not-found"},
      {"POST", "POST", version, good, 405, "Method not allowed\r\n", "bad-method"},
      // Downloads answer 200: the installer, or "@ERROR@" and the scrambled reason (shown decoded here).
      {"installer", "GET", download, app + Token("QvxTestApp!4!1234!ClaveSecreta"), 200, "MSI bytes", "installer"},
      {"\"!\" of a key sent as 7", "GET", download, app + Token("QvxTestApp!3!5678!Otra|Clave"), 200, "MSI bytes",
       "installer"},
      {"package", "GET", "Updates/Actualizacion", "d=1&c=Brumo&cod=1", 200, "EXE bytes", "package"},
      {"download, wrong key", "GET", download, app + Token("QvxTestApp!4!1234!Clave"), 200,
       "El n\xFAmero de cliente o la clave no son correctos.<BR>Rev\xEDselos e int\xE9ntelo de nuevo.", "wrong-key"},
      {"download, no customer", "GET", download, app + Token("QvxTestApp!4!!"), 200,
       "Escriba su n\xFAmero de cliente y su clave para descargar la actualizaci\xF3n.", "no-customer"},
      {"cod other than 1", "GET", download, "d=1&c=Brumo&cod=2", 200,
       "La petici\xF3n de actualizaci\xF3n no es v\xE1lida.", "bad-request"},
  };
  for (const auto& c : cases) {
    const Reply reply = HandleRequest(release, {}, Request{c.method, c.path, c.query, "", 0});
    EXPECT_EQ(c.status, reply.status) << c.label;
    EXPECT_EQ(c.outcome, reply.outcome) << c.label;
    EXPECT_EQ(c.body, reply.body.rfind("@ERROR@", 0) ? reply.body : DecodeServerText(reply.body.substr(7))) << c.label;
  }
  // What a client sent is decoded, and cannot break the log line.
  EXPECT_EQ("2026-12-06T14:00:00Z GET /Updates/Version p=Mi\\x20App\\xF3 d=1 number=1234 machine=" + kMachine +
                " key=ClaveSecreta agent=\"Tramitex \\\"4\\\"\\x0A\" status=404 outcome=unknown-app",
            HandleRequest(release, {}, {"GET", version, "p=Mi%20App%F3&d=1" + code, "Tramitex \"4\"\n", 1796565600})
                .logLine);
  // The fault modes that the module's tests ask for; without a package, Versioncc answers the version alone.
  Release bare = release;
  bare.packageVersion.clear();
  const std::pair<HandlerOptions, std::string> modes[] = {
      {{404, false, 0}, "404 Forced status 404\r\n"}, {{0, true, 0}, "200 "},
      {{0, false, 2}, "200 \r\n\r\n4.2.5.0\r\n"}};
  for (const auto& [options, reply] : modes) {
    const Reply got = HandleRequest(bare, options, {"GET", "/Updates/Versioncc", good, "", 0});
    EXPECT_EQ(reply, std::to_string(got.status) + " " + got.body);
  }
  fs::remove(sample.root / "apps/QvxTestApp/setup.msi");  // taken away while the server runs
  const Request installer{"GET", download, app + Token("QvxTestApp!4!1234!ClaveSecreta"), "", 0};
  EXPECT_EQ("unreadable", HandleRequest(release, {}, installer).outcome);
}

}  // namespace
}  // namespace qvx::server
