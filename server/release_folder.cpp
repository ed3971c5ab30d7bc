#include "release_folder.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace qvx::server {

namespace fs = std::filesystem;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && (IsBlank(text[begin]) || text[begin] == '\r')) ++begin;
  while (end > begin && (IsBlank(text[end - 1]) || text[end - 1] == '\r')) --end;
  return text.substr(begin, end - begin);
}

bool IsRegularFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// Reads the version file and checks that the installer beside it exists.
bool LoadVersionAndInstaller(const fs::path& folder, const std::string& installer, const std::string& shown,
                             std::string& version, std::string& installerPath, std::string& error) {
  const std::optional<std::string> text = ReadWholeFile((folder / "version.txt").string());
  if (!text) {
    error = shown + "/version.txt: cannot be read";
    return false;
  }
  const std::optional<std::string> parsed = ParseVersionFile(*text);
  if (!parsed) {
    error = shown + "/version.txt: the first line is not a version such as 4.2.5.0";
    return false;
  }
  if (!IsRegularFile(folder / installer)) {
    error = shown + "/" + installer + ": missing";
    return false;
  }
  version = *parsed;
  installerPath = (folder / installer).string();
  return true;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

std::optional<std::string> ParseVersionFile(const std::string& text) {
  const std::string line = Trim(text.substr(0, text.find('\n')));
  if (line.empty() || line[0] < '0' || line[0] > '9') return std::nullopt;
  for (const char c : line)
    if ((c < '0' || c > '9') && c != '.' && c != ',') return std::nullopt;
  return line;
}

std::optional<std::map<std::string, std::string>> ParseCustomers(const std::string& text, std::string& error) {
  std::map<std::string, std::string> customers;
  std::istringstream lines(text);
  std::string raw;
  for (int number = 1; std::getline(lines, raw); ++number) {
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    const std::string where = "customers.txt line " + std::to_string(number) + ": ";
    for (const char c : line) {
      if (IsControl(c) && c != '\t') {
        error = where + "control character";
        return std::nullopt;
      }
    }
    size_t end = 0;
    while (end < line.size() && !IsBlank(line[end])) ++end;
    const std::string customer = line.substr(0, end);
    const std::string key = Trim(line.substr(end));
    if (key.empty()) {
      error = where + "a number and a key are needed";
      return std::nullopt;
    }
    if (customer.find('!') != std::string::npos) {
      error = where + "a customer number cannot hold \"!\"";
      return std::nullopt;
    }
    if (!customers.emplace(customer, key).second) {
      error = where + "customer " + customer + " given twice";
      return std::nullopt;
    }
  }
  return customers;
}

std::optional<Release> LoadRelease(const std::string& folder, std::string& error) {
  const fs::path root(folder);
  Release release;

  const std::optional<std::string> customersText = ReadWholeFile((root / "customers.txt").string());
  if (!customersText) {
    error = "customers.txt: cannot be read";
    return std::nullopt;
  }
  auto customers = ParseCustomers(*customersText, error);
  if (!customers) return std::nullopt;
  release.customers = std::move(*customers);

  std::error_code ec;
  fs::directory_iterator apps(root / "apps", ec);
  if (ec) {
    error = "apps: cannot be listed";
    return std::nullopt;
  }
  for (const fs::directory_entry& entry : apps) {
    if (!entry.is_directory(ec)) continue;
    const std::string name = entry.path().filename().string();
    Application app;
    if (!LoadVersionAndInstaller(entry.path(), "setup.msi", "apps/" + name, app.version, app.installerPath, error))
      return std::nullopt;
    release.applications.emplace(name, std::move(app));
  }

  if (fs::exists(root / "package", ec) &&
      !LoadVersionAndInstaller(root / "package", "setup.exe", "package", release.packageVersion,
                               release.packageInstallerPath, error))
    return std::nullopt;
  return release;
}

}  // namespace qvx::server
