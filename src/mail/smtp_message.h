// A mail message as the SMTP client sends it: addresses, the header block and
// a body ready for the DATA phase. Platform-neutral; the clock that dates the
// header is handed in, so the header can be built for any time and zone.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace qvx::mail {

class CSMTPAddress {
 public:
  CSMTPAddress() = default;
  CSMTPAddress(std::string displayName, std::string emailAddress)
      : m_sName(std::move(displayName)), m_sEmailAddress(std::move(emailAddress)) {}

  // The address alone when there is no display name, else "name <address>".
  std::string DisplayForm() const;

  std::string m_sName;
  std::string m_sEmailAddress;
};

// The local time and the zone's bias in minutes (UTC = local time + bias,
// daylight bias included while daylight time is in force).
class MailClock {
 public:
  virtual ~MailClock() = default;
  // False when the time cannot be read; the header then carries an empty date.
  virtual bool Now(std::tm& local, long& biasMinutes) const = 0;
};

// "+0200" for a bias of -120, "-0330" for 210.
std::string ZoneText(long biasMinutes);
// "Tue, 04 Sep 2018 10:15:00 +0200", day and month names of the C runtime's
// current locale; "" when strftime fails.
std::string DateText(const std::tm& local, long biasMinutes);

// A header field's value with every CR and LF turned into a blank, so that no
// value can end its line early and start a header of its own.
std::string HeaderFieldText(std::string value);

// Line ends as the DATA phase needs them: "\r\n" stays, a lone "\n" or "\r"
// becomes "\r\n"; then a "." that starts a line is doubled, so that no line
// of the body can be read as the end of data.
std::string DataBodyText(const std::string& text);

class CSMTPMessage {
 public:
  explicit CSMTPMessage(const MailClock& clock) : clock_(clock) {}
  virtual ~CSMTPMessage() = default;

  // Appends a To recipient; returns its index.
  int AddRecipient(const CSMTPAddress& recipient);
  const std::vector<CSMTPAddress>& Recipients() const { return m_ToRecipients; }
  // Stores the body as DataBodyText gives it.
  void SetBody(const std::string& text) { m_sBody = DataBodyText(text); }
  const std::string& Body() const { return m_sBody; }
  // From, To, Subject, Date, X-Mailer, MIME-Version, Content-type and the
  // empty line that ends the header, every line ending in "\r\n".
  virtual std::string BuildHeader() const;

  CSMTPAddress m_From;
  std::string m_sSubject;
  std::string m_sXMailer = "Quorvex_SMTP v1.3";

 private:
  const MailClock& clock_;
  std::string m_sBody;
  std::vector<CSMTPAddress> m_ToRecipients;
};

// The form's check of an e-mail address: at least 6 characters, exactly one
// "@" that is neither first nor last, at least one "." anywhere, and none of
// CR, LF, "<", ">" or a blank (which would bend the envelope or a header).
bool CheckMailAddress(const std::string& address);

}  // namespace qvx::mail
