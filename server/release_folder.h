// The release folder that the reference update server publishes, read once
// at start-up:
//
//   RELEASE/customers.txt             one customer a line: number, blanks, key
//   RELEASE/apps/<Name>/version.txt   the latest version of application <Name>
//   RELEASE/apps/<Name>/setup.msi     its installer
//   RELEASE/package/version.txt       the common runtime package's version (optional folder)
//   RELEASE/package/setup.exe         its installer
//
// Names and keys are compared byte for byte with what the module sends, in
// its code page (Windows-1252); plain ASCII avoids surprises.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace qvx::server {

struct Application {
  std::string version;
  std::string installerPath;
};

struct Release {
  std::map<std::string, Application> applications;  // by name
  std::string packageVersion;                       // "" when there is no package
  std::string packageInstallerPath;
  std::map<std::string, std::string> customers;  // number -> key
};

// The folder's content, or nothing with error naming the first file that
// does not follow the layout.
std::optional<Release> LoadRelease(const std::string& folder, std::string& error);

// The customers of customers.txt: blank lines and lines starting with "#"
// are skipped; a number holds no blank and no "!" (the download token's
// separator); the key is the rest of the line without the blanks around it.
// Nothing, with error, for a line without a key, a control character or a
// number given twice.
std::optional<std::map<std::string, std::string>> ParseCustomers(const std::string& text, std::string& error);

// The first line of a version file without blanks and line end, when it is a
// version (digits separated by "." or ","); else nothing.
std::optional<std::string> ParseVersionFile(const std::string& text);

// A whole file's bytes; nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace qvx::server
