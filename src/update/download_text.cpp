#include "update/download_text.h"

#include <cstring>

#include "common/request_encoding.h"
#include "update/version_request.h"

namespace qvx {

namespace {

constexpr char kPackageMarker[] = "#Brumo#";
constexpr char kRefusalMarker[] = "@ERROR@";
constexpr size_t kPathMax = 260;  // with the terminating NUL

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A name piece that stays one file in the folder it is joined to.
bool IsFileNamePiece(const std::string& text) {
  return text.find_first_of("\\/:*?\"<>|") == std::string::npos && text != "." && text != "..";
}

}  // namespace

std::string ReplaceAll(std::string text, const std::string& what, const std::string& with) {
  if (what.empty()) return text;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

std::string FormatVersionForDisplay(const std::string& version) {
  std::string out;
  for (char c : version) {
    if (IsBlank(c)) continue;
    out += (c == '.' || c == ',') ? std::string(" . ") : std::string(1, c);
  }
  return out;
}

VersionReply SplitVersionReply(const std::string& reply) {
  const size_t at = reply.find(kPackageMarker);
  if (at == std::string::npos) return {reply, ""};
  return {reply.substr(0, at), ReplaceAll(reply.substr(at), kPackageMarker, "")};
}

std::string PackageFileTag(const std::string& packageVersion) {
  std::string tag;
  for (char c : packageVersion)
    if (IsAlnum(c)) tag += c;
  return tag;
}

std::optional<std::string> InstallerPath(const std::string& tempFolder, const std::string& application,
                                         const std::string& packageTag, const std::string& extension, bool package) {
  const std::string name = package ? "Brumo" + packageTag : application;
  const std::string ext = !extension.empty() ? extension : package ? "exe" : "msi";
  if ((package ? packageTag : application).empty() || !IsFileNamePiece(name) || !IsFileNamePiece(ext))
    return std::nullopt;
  std::string path = tempFolder + name + "." + ext;
  if (path.size() + 1 > kPathMax) return std::nullopt;
  return path;
}

std::string DownloadCredentials(const std::string& application, const std::string& major,
                                const std::string& number, const std::string& key) {
  return application + "!" + major + "!" + number + "!" + ReplaceAll(key, "!", "\x07");
}

std::string DownloadObjectPath(bool package, int32_t seconds, const std::string& token) {
  const std::string d = std::to_string(seconds);
  if (package) return "Updates/Actualizacion?d=" + d + "&c=Brumo&cod=1";
  return "/Updates/Actualizacion?d=" + d + "&c=" + token + "&cod=1";
}

std::optional<std::string> RefusalReason(const char* bytes, size_t size) {
  const size_t marker = sizeof(kRefusalMarker) - 1;
  if (size < marker || std::memcmp(bytes, kRefusalMarker, marker) != 0) return std::nullopt;
  const std::string rest(bytes + marker, strnlen(bytes + marker, size - marker));
  return ReplaceAll(ReplaceAll(DecodeServerText(rest), "<BR>", "\r\n"), "<br>", "\r\n");
}

std::string ReleaseNotesAddress(const std::string& webHost, const std::string& application) {
  if (webHost.empty() || application.empty()) return "";
  return "http://" + webHost + "/download/updatepdf/" + PercentEncode(application) + ".pdf";
}

int ProgressPosition(int base, uint64_t received, uint64_t total) {
  if (total == 0) return base;
  return base + static_cast<int>(static_cast<double>(received) * 100.0 / static_cast<double>(total));
}

}  // namespace qvx
