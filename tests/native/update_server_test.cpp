#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "common/request_encoding.h"
#include "release_folder.h"
#include "request_log.h"
#include "request_text.h"
#include "update_handler.h"

namespace qvx::server {
namespace {

namespace fs = std::filesystem;

const std::string kMachine = "0123456789ABCDEF0123456789ABCDEF";

// A release folder on disk, as a maker lays it out: two customers, one
// application with its installer, the runtime package.
class SampleRelease {
 public:
  SampleRelease() {
    char pattern[] = "/tmp/qvx_release_XXXXXX";
    root_ = mkdtemp(pattern);
    Write("customers.txt", "# number key\r\n1234 ClaveSecreta\r\n\r\n5678   Otra!Clave  \r\n");
    Write("apps/QvxTestApp/version.txt", "4.2.5.0\n");
    Write("apps/QvxTestApp/setup.msi", "MSI bytes");
    Write("package/version.txt", " 2.1.0.3 \r\nignored\n");
    Write("package/setup.exe", "EXE bytes");
  }
  ~SampleRelease() { fs::remove_all(root_); }
  void Write(const std::string& name, const std::string& bytes) {
    fs::create_directories((root_ / name).parent_path());
    std::ofstream(root_ / name, std::ios::binary) << bytes;
  }
  void Remove(const std::string& name) { fs::remove_all(root_ / name); }
  std::optional<Release> Load(std::string& error) const { return LoadRelease(root_.string(), error); }

 private:
  fs::path root_;
};

Release LoadSample(const SampleRelease& sample) {
  std::string error;
  std::optional<Release> release = sample.Load(error);
  EXPECT_TRUE(release) << error;
  return release ? *release : Release();
}

std::string Bel(std::string text) {
  for (char& c : text)
    if (c == '|') c = '\x07';
  return text;
}

std::string VersionQuery(const std::string& app, const std::string& fields) {
  return "d=1765000000&p=" + app + "&code=" + EncodeRequestText(Bel(fields));
}

std::string DownloadQuery(const std::string& fields) {
  return "d=1765000000&c=" + EncodeRequestText(Bel(fields)) + "&cod=1";
}

Reply Get(const Release& release, const std::string& path, const std::string& query,
          const HandlerOptions& options = HandlerOptions()) {
  return HandleRequest(release, options, Request{"GET", path, query, "Agent", 0});
}

TEST(ServerRelease, LoadsTheLayout) {
  SampleRelease sample;
  const Release release = LoadSample(sample);
  ASSERT_EQ(1u, release.applications.count("QvxTestApp"));
  EXPECT_EQ("4.2.5.0", release.applications.at("QvxTestApp").version);
  EXPECT_EQ("2.1.0.3", release.packageVersion);  // first line, without blanks and line end
  const std::map<std::string, std::string> customers{{"1234", "ClaveSecreta"}, {"5678", "Otra!Clave"}};
  EXPECT_EQ(customers, release.customers);

  sample.Remove("package");  // the package is optional
  EXPECT_EQ("", LoadSample(sample).packageVersion);
}

TEST(ServerRelease, RefusesWhatDoesNotFollowTheLayout) {
  const struct {
    const char* label;
    const char* file;
    const char* bytes;  // nullptr: the file is removed
    const char* error;
  } cases[] = {
      {"no customers file", "customers.txt", nullptr, "customers.txt: cannot be read"},
      {"no installer", "apps/QvxTestApp/setup.msi", nullptr, "apps/QvxTestApp/setup.msi: missing"},
  };
  for (const auto& c : cases) {
    SampleRelease sample;
    c.bytes ? sample.Write(c.file, c.bytes) : sample.Remove(c.file);
    std::string error;
    EXPECT_FALSE(sample.Load(error)) << c.label;
    EXPECT_NE(std::string::npos, error.find(c.error)) << c.label << ": " << error;
  }
}

TEST(ServerRequestText, QueryValuesArePercentDecoded) {
  const struct {
    const char* query;
    const char* key;
    const char* value;  // nullptr: not there
  } cases[] = {
      {"p=QvxTestApp&d=1", "p", "QvxTestApp"},  // an ordinary name arrives as is
      {"p=Mi%20Aplicaci%F3n", "p", "Mi Aplicaci\xF3n"},
      {"p=100%25", "p", "100%"},
      {"&&p=&x", "p", ""},
      {"%70=key", "p", "key"},              // keys are decoded too
      {"pp=1", "p", nullptr},
  };
  for (const auto& c : cases) {
    const QueryValues values = ParseQuery(c.query);
    const std::string* value = FindValue(values, c.key);
    if (c.value == nullptr)
      EXPECT_EQ(nullptr, value) << c.query;
    else
      EXPECT_TRUE(value && *value == c.value) << c.query << " " << c.key;
  }
}

TEST(ServerHandler, VersionQueries) {
  SampleRelease sample;
  const Release release = LoadSample(sample);
  const std::string anonymous = "|" + kMachine + "|";
  const std::string customer = "1234|" + kMachine + "|ClaveSecreta";
  const std::string good = VersionQuery("QvxTestApp", customer);
  const std::string code = EncodeRequestText(Bel(customer));
  const struct {
    const char* label;
    const char* path;
    std::string query;
    int status;
    const char* body;
    const char* outcome;
  } cases[] = {
      {"customer with the right key", "/Updates/Version", good, 200, "4.2.5.0\r\n", "version"},
      {"no customer data", "/Updates/Version", VersionQuery("QvxTestApp", anonymous), 200, "4.2.5.0\r\n", "version"},
      {"Versioncc adds the package", "/Updates/Versioncc", good, 200, "4.2.5.0#Brumo#2.1.0.3\r\n", "version"},
      {"application name escaped", "/Updates/Version", VersionQuery("Qvx%54estApp", customer), 200, "4.2.5.0\r\n",
       "version"},
      {"unknown application", "/Updates/Version", VersionQuery("Tramitex", customer), 404, "Not found\r\n",
       "unknown-app"},
      {"unknown customer", "/Updates/Version", VersionQuery("QvxTestApp", "9999|" + kMachine + "|ClaveSecreta"),
       403, "Forbidden\r\n", "unknown-customer"},
      {"wrong key", "/Updates/Version", VersionQuery("QvxTestApp", "1234|" + kMachine + "|Clave"), 403,
       "Forbidden\r\n", "wrong-key"},
      {"wrong check code", "/Updates/Version", "d=1&p=QvxTestApp&code=" + code.substr(0, code.size() - 1) + "0",
       403, "Forbidden\r\n", "bad-token"},
      {"case of the path", "/updates/version", good, 404, "Not found\r\n", "not-found"},
  };
  for (const auto& c : cases) {
    const Reply reply = Get(release, c.path, c.query);
    EXPECT_EQ(c.status, reply.status) << c.label;
    EXPECT_EQ(c.body, reply.body) << c.label;
    EXPECT_EQ(c.outcome, reply.outcome) << c.label;
  }
  EXPECT_EQ(405, HandleRequest(release, {}, Request{"POST", "/Updates/Version", good, "", 0}).status);

  Release withoutPackage = release;
  withoutPackage.packageVersion.clear();
  EXPECT_EQ("4.2.5.0\r\n", Get(withoutPackage, "/Updates/Versioncc", good).body);
}

TEST(ServerHandler, Downloads) {
  SampleRelease sample;
  const Release release = LoadSample(sample);
  // Windows-1252 bytes, and <BR> for the dialog's line break.
  const std::string wrongKey =
      "El n\xFAmero de cliente o la clave no son correctos.<BR>Rev\xEDselos e int\xE9ntelo de nuevo.";
  const struct {
    const char* label;
    const char* path;
    std::string query;
    const char* body;    // the installer's bytes, or the refusal's reason
    const char* outcome;
  } cases[] = {
      {"application", "/Updates/Actualizacion", DownloadQuery("QvxTestApp!4!1234!ClaveSecreta"), "MSI bytes",
       "installer"},
      {"key with \"!\" sent as character 7", "/Updates/Actualizacion", DownloadQuery("QvxTestApp!3!5678!Otra|Clave"),
       "MSI bytes", "installer"},
      {"package", "Updates/Actualizacion", "d=1765000000&c=Brumo&cod=1", "EXE bytes", "package"},
      {"wrong key", "/Updates/Actualizacion", DownloadQuery("QvxTestApp!4!1234!Clave"), wrongKey.c_str(),
       "wrong-key"},
      {"no customer data", "/Updates/Actualizacion", DownloadQuery("QvxTestApp!4!!"),
       "Escriba su n\xFAmero de cliente y su clave para descargar la actualizaci\xF3n.", "no-customer"},
      {"cod other than 1", "/Updates/Actualizacion", "d=1&c=Brumo&cod=2",
       "La petici\xF3n de actualizaci\xF3n no es v\xE1lida.", "bad-request"},
  };
  for (const auto& c : cases) {
    const Reply reply = Get(release, c.path, c.query);
    EXPECT_EQ(200, reply.status) << c.label;
    EXPECT_EQ(c.outcome, reply.outcome) << c.label;
    const std::string& body = reply.body;
    if (body.compare(0, 7, "@ERROR@") == 0)
      EXPECT_EQ(c.body, DecodeServerText(body.substr(7))) << c.label;
    else
      EXPECT_EQ(c.body, body) << c.label;
  }

  Release withoutPackage = release;
  withoutPackage.packageInstallerPath.clear();
  EXPECT_EQ("no-package", Get(withoutPackage, "Updates/Actualizacion", "d=1&c=Brumo&cod=1").outcome);
  sample.Remove("apps/QvxTestApp/setup.msi");  // taken away while the server runs
  const std::string app = DownloadQuery("QvxTestApp!4!1234!ClaveSecreta");
  EXPECT_EQ("unreadable", Get(release, "/Updates/Actualizacion", app).outcome);
}

TEST(ServerHandler, FaultsForTests) {
  SampleRelease sample;
  const Release release = LoadSample(sample);
  const std::string version = VersionQuery("QvxTestApp", "|" + kMachine + "|");
  const std::string download = DownloadQuery("QvxTestApp!4!1234!ClaveSecreta");
  const struct {
    const char* label;
    HandlerOptions options;
    std::string query;
    int status;
    const char* body;
  } cases[] = {
      {"forced status", {404, false, 0}, version, 404, "Forced status 404\r\n"},
      {"empty body", {0, true, 0}, version, 200, ""},
      {"blank lines", {0, false, 2}, version, 200, "\r\n\r\n4.2.5.0\r\n"},
  };
  for (const auto& c : cases) {
    const std::string path = c.query == version ? "/Updates/Version" : "/Updates/Actualizacion";
    const Reply reply = Get(release, path, c.query, c.options);
    EXPECT_EQ(c.status, reply.status) << c.label;
    EXPECT_EQ(c.body, reply.body) << c.label;
  }
}

TEST(ServerHandler, OneLogLinePerRequest) {
  SampleRelease sample;
  const Release release = LoadSample(sample);
  const struct {
    const char* label;
    Request request;
    std::string line;
  } cases[] = {
      {"version query",
       {"GET", "/Updates/Version", VersionQuery("Mi%20App%F3", "1234|" + kMachine + "|Clave Secreta"),
        "Tramitex-WinVer:1DB10106 -ProgVer:4.2.5.0", 1796565600},
       "2026-12-06T14:00:00Z GET /Updates/Version p=Mi\\x20App\\xF3 d=1765000000 number=1234 machine=" +
           kMachine + " key=Clave\\x20Secreta"
           " agent=\"Tramitex-WinVer:1DB10106 -ProgVer:4.2.5.0\" status=403 outcome=wrong-key"},
      {"download",
       {"GET", "Updates/Actualizacion", DownloadQuery("QvxTestApp!4!5678!Otra|Clave"), "QUORVEX_UPDATER", 0},
       "1970-01-01T00:00:00Z GET Updates/Actualizacion d=1765000000 cod=1 app=QvxTestApp major=4 number=5678"
       " key=Otra!Clave agent=\"QUORVEX_UPDATER\" status=200 outcome=installer"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.line, HandleRequest(release, {}, c.request).logLine) << c.label;
}

}  // namespace
}  // namespace qvx::server
