#include "common/deployment_settings.h"

#include <windows.h>

#include <optional>

#include "common/maker_registry.h"
#include "framework/handles.h"
#include "framework/module_state.h"
#include "resources/resource.h"

namespace qvx {

const char kDeploymentKey[] = "Software\\Quorvex\\QuorvexIntl";

namespace {

constexpr unsigned kHttpPort = 80;
constexpr unsigned kSmtpPort = 25;

// A REG_SZ value of at most 255 characters; nothing when the key or the
// value is missing, longer or of another type.
std::optional<std::string> ReadText(HKEY root, REGSAM view, const char* name) {
  fw::unique_hkey key;
  if (::RegOpenKeyExA(root, kDeploymentKey, 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS)
    return std::nullopt;
  char buffer[257] = {};  // one byte more keeps a value stored without its NUL terminated
  DWORD type = 0;
  DWORD size = 256;
  if (::RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return std::nullopt;
  return std::string(buffer);
}

// The user's value, else the machine's, else the built-in default.
template <typename Valid>
std::string DeploymentValue(const char* name, UINT defaultId, Valid valid) {
  for (const auto& [root, view] : {std::pair<HKEY, REGSAM>{HKEY_CURRENT_USER, 0},
                                   std::pair<HKEY, REGSAM>{HKEY_LOCAL_MACHINE, MakerRegistryView()}}) {
    const std::optional<std::string> text = ReadText(root, view, name);
    if (text && valid(*text)) return *text;
  }
  return fw::LoadResString(defaultId);
}

ServerAddress ServerValue(const char* name, UINT defaultId, unsigned defaultPort) {
  const std::string text = DeploymentValue(
      name, defaultId, [&](const std::string& t) { return ParseServerAddress(t, defaultPort).has_value(); });
  return ParseServerAddress(text, defaultPort).value_or(ServerAddress{std::string(), defaultPort});
}

}  // namespace

ServerAddress UpdateServer() { return ServerValue("UpdateServer", IDS_UPDATE_SERVER_HOST, kHttpPort); }

std::string WebHost() {
  return DeploymentValue("WebHost", IDS_WEB_HOST,
                         [](const std::string& t) { return ParseServerAddress(t, kHttpPort).has_value(); });
}

ServerAddress MailServer() { return ServerValue("MailServer", IDS_MAIL_SERVER, kSmtpPort); }

std::string SupportMailbox() { return DeploymentValue("SupportMailbox", IDS_SUPPORT_MAILBOX, IsMailboxAddress); }

}  // namespace qvx
