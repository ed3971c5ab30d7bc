#include "common/system_identity.h"

#include <cstdio>

#include "common/hex_digits.h"
#include "common/request_encoding.h"
#include "common/sha256.h"

namespace qvx {

namespace {

// A CR or LF in the user agent would end the header line early.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return text;
}

constexpr size_t kMachineIdentifierBytes = 16;

}  // namespace

std::string FormatSystemInfoText(const SystemInfoFields& fields) {
  char windowsVersion[9];
  std::snprintf(windowsVersion, sizeof(windowsVersion), "%X", static_cast<unsigned>(fields.windowsVersion));
  const std::string installation = fields.installation.empty() ? std::string() : "X" + fields.installation;
  // The seventh field of the text is always empty.
  return OneLine(fields.programName) + "-WinVer:" + windowsVersion + " -ProgVer:" + OneLine(fields.programVersion) +
         OneLine(installation) + " -ExtInfo:" + OneLine(fields.extraInformation) +
         " -IdNM:" + ScrambleText(fields.computerName);
}

std::string DeriveMachineIdentifier(const std::string& source) {
  // A fixed prefix keeps this identifier apart from other hashes of the same source.
  const auto digest = Sha256("QuorvexIntl machine identifier\n" + source);
  std::string id;
  for (size_t i = 0; i < kMachineIdentifierBytes; ++i) AppendHexByte(id, digest[i]);
  return id;
}

}  // namespace qvx
