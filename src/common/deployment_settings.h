// Where the module finds the maker's servers. Each value is read at every
// use from HKCU\Software\Quorvex\QuorvexIntl, then from
// HKLM\SOFTWARE\Quorvex\QuorvexIntl (32-bit view), else taken from the
// module's string table; only REG_SZ values on the key itself count (its
// subkeys are the hosts' preference sections), and an empty or malformed
// value counts as missing. Tests and a maker who moves a server change the
// registry, never the build.
#pragma once

#include <string>

#include "common/deployment_text.h"

namespace qvx {

extern const char kDeploymentKey[];  // "Software\Quorvex\QuorvexIntl"

// "UpdateServer": the update server, port 80 unless given.
ServerAddress UpdateServer();

// "WebHost": the host of the release notes, as written ("host" or "host:port").
std::string WebHost();

// "MailServer": the mail server, port 25 unless given.
ServerAddress MailServer();

// "SupportMailbox": the support mail address.
std::string SupportMailbox();

}  // namespace qvx
