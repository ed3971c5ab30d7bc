// The texts of the download dialog: versions as the user sees them, the
// server's reply split into application and runtime package, the installer
// file names, the download request, the refusal marker and the release
// notes address. Pure functions; update/dlg_auto_update.cpp and
// update/update_download.cpp use them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qvx {

// Trimmed, every blank removed, and each "." or "," shown as " . ":
// "4.2.5.0" gives "4 . 2 . 5 . 0".
std::string FormatVersionForDisplay(const std::string& version);

// A "Versioncc" reply "<application>#Brumo#<package>": the application part,
// and the package part (empty when the reply holds no marker).
struct VersionReply {
  std::string application;
  std::string package;
};
VersionReply SplitVersionReply(const std::string& reply);

// The package version as a file name piece: its letters and digits only
// (2.1.0.3 gives 2103), so no server text can name a folder or a device.
std::string PackageFileTag(const std::string& packageVersion);

// "<temp><application>.msi" or "<temp>Brumo<tag>.exe"; a non-empty extension
// replaces both defaults. Nothing when the path would not fit in 260
// characters (with its terminating NUL), when the application name or the
// package tag is empty, or when the name or extension holds a character that
// a file name cannot (a folder separator, a drive colon, a wildcard).
std::optional<std::string> InstallerPath(const std::string& tempFolder, const std::string& application,
                                         const std::string& packageTag, const std::string& extension, bool package);

// "application!major!number!key" with each "!" of the key sent as character 7.
std::string DownloadCredentials(const std::string& application, const std::string& major,
                                const std::string& number, const std::string& key);

// The download's object path: "/Updates/Actualizacion?d=<seconds>&c=<token>&cod=1"
// for the application, "Updates/Actualizacion?d=<seconds>&c=Brumo&cod=1" for
// the package.
std::string DownloadObjectPath(bool package, int32_t seconds, const std::string& token);

// The first bytes of a body that start with "@ERROR@": the server refused,
// and the reason is DecodeServerText of the rest (up to the first NUL), each
// "<BR>" or "<br>" turned into CR LF. Nothing when the marker is absent.
std::optional<std::string> RefusalReason(const char* bytes, size_t size);

// "http://<host>/download/updatepdf/<application>.pdf", the application name
// percent-encoded; "" for an empty host or name.
std::string ReleaseNotesAddress(const std::string& webHost, const std::string& application);

// Every occurrence of what in text replaced by with.
std::string ReplaceAll(std::string text, const std::string& what, const std::string& with);

// The progress bar's position: base + received * 100 / total, truncated; base
// when the total is 0.
int ProgressPosition(int base, uint64_t received, uint64_t total);

}  // namespace qvx
