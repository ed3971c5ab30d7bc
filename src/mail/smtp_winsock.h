// The SMTP client's Windows side: a Windows Sockets transport (the module
// starts Windows Sockets once at load) and the system clock with the time
// zone of GetTimeZoneInformation.
#pragma once

#include <memory>

#include "mail/smtp_connection.h"
#include "mail/smtp_message.h"

namespace qvx::mail {

std::unique_ptr<SmtpTransport> MakeWinsockTransport();
const MailClock& SystemMailClock();

}  // namespace qvx::mail
