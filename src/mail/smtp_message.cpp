#include "mail/smtp_message.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace qvx::mail {

std::string CSMTPAddress::DisplayForm() const {
  if (m_sName.empty()) return m_sEmailAddress;
  return m_sName + " <" + m_sEmailAddress + ">";
}

// The sign comes from the whole offset, so a zone less than an hour west of
// UTC still reads "-00mm".
std::string ZoneText(long biasMinutes) {
  const long offset = -biasMinutes;
  const long minutes = std::labs(offset);
  char text[32];
  std::snprintf(text, sizeof text, "%c%.2ld%.2ld", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return text;
}

std::string DateText(const std::tm& local, long biasMinutes) {
  char text[128];
  if (std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S ", &local) == 0) return "";
  return text + ZoneText(biasMinutes);
}

std::string HeaderFieldText(std::string value) {
  std::replace_if(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return value;
}

std::string DataBodyText(const std::string& text) {
  std::string body;
  body.reserve(text.size() + text.size() / 16 + 2);
  bool lineStart = true;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      body += "\r\n";
      lineStart = true;
      continue;
    }
    if (lineStart && c == '.') body += '.';
    body += c;
    lineStart = false;
  }
  return body;
}

int CSMTPMessage::AddRecipient(const CSMTPAddress& recipient) {
  m_ToRecipients.push_back(recipient);
  return static_cast<int>(m_ToRecipients.size() - 1);
}

std::string CSMTPMessage::BuildHeader() const {
  std::tm local{};
  long bias = 0;
  const std::string date = clock_.Now(local, bias) ? DateText(local, bias) : "";
  std::string to;
  for (size_t i = 0; i < m_ToRecipients.size(); ++i) {
    if (i > 0) to += ',';
    to += m_ToRecipients[i].DisplayForm();
  }
  return "From: " + HeaderFieldText(m_From.DisplayForm()) + "\r\nTo: " + HeaderFieldText(to) +
         "\r\nSubject: " + HeaderFieldText(m_sSubject) + "\r\nDate: " + date +
         "\r\nX-Mailer: " + HeaderFieldText(m_sXMailer) +
         "\r\nMIME-Version: 1.0\r\nContent-type: text/plain; charset=ISO-8859-1\r\n\r\n";
}

bool CheckMailAddress(const std::string& address) {
  const size_t at = address.find('@');
  return address.size() >= 6 && at != std::string::npos && at != 0 && at != address.size() - 1 &&
         address.find('@', at + 1) == std::string::npos && address.find('.') != std::string::npos &&
         address.find_first_of("\r\n<> ") == std::string::npos;
}

}  // namespace qvx::mail
