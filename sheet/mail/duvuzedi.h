// CDuvuZedi: the front object of the mail library, through which the reminder run sets the
// servers, the sender and each message, logs in to POP3 before SMTP when asked, connects,
// sends and disconnects. Every failure is shown in a message box (through the suite's
// message service) with the complete text of the session that failed, and the call returns
// 0. One object serves one sending run; the SMTP connection stays open between messages.
#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/mail/mailsocket.h"
#include "sheet/mail/mimemessage.h"

namespace velo::mail {

class CPop3Session;
class CSmtpSession;
class IMailStatusWindow;

class CDuvuZedi final {
public:
    // Kinds of server and connection.
    enum EKind : int { kNone = 0, kSmtp = 1, kPop3 = 2 };
    // Why the last Connect or Send returned 0.
    enum class EFailure {
        kNone,
        kFailed,             // shown in a message box
        kRecipientsRefused,  // Send only; not shown, see Send
        kCancelled,          // the status window asked to stop a wait; not shown
    };

    CDuvuZedi();
    // Quits the open session, if any.
    ~CDuvuZedi();
    CDuvuZedi(const CDuvuZedi&) = delete;
    CDuvuZedi& operator=(const CDuvuZedi&) = delete;

    // Handed to every session this object creates; may be null.
    void SetStatusWindow(IMailStatusWindow* window);
    // Socket options for the sessions instead of those of the settings.
    void SetSocketOptions(const MailSocketOptions& options);

    // Stores the server of `kind` and, when given (not null), the account and password;
    // apop unless it is -1. Kind 1 requires an SMTP server; kind 2 a POP server, an account
    // and a password, checked in that order. The first missing one is shown and 0 returned.
    int SetServer(int kind, const char* server, const char* account = nullptr,
                  const char* password = nullptr, int apop = -1);
    // Kind 1 connects to SMTP (port -1: 25), kind 2 logs in to POP3 (port -1: 110) with
    // the stored account and password. Arguments given (not null, not -1) are stored first.
    // On failure shows the session's error text (unless the user stopped the wait) and
    // returns 0; 1 when connected.
    int Connect(int kind, const char* server = nullptr, int port = -1,
                const char* account = nullptr, const char* password = nullptr, int apop = -1);
    // QUIT on the connected session; both sessions go. Returns the QUIT result, 1 when
    // nothing was connected.
    int Disconnect();

    void SetFrom(std::string_view address, std::string_view name = {});
    // Comma-separated lists as entered; null cc or bcc becomes empty.
    void SetRecipients(const char* to, const char* cc = nullptr, const char* bcc = nullptr);
    void SetSubjectAndBody(std::string_view subject, std::string_view body);
    void SetMailer(std::string_view mailer) { m_mailer = mailer; }
    void AddAttachment(std::string_view path) { m_attachments.emplace_back(path); }
    void ClearAttachments() { m_attachments.clear(); }

    // Checks the sender, the recipients, the subject and the body (in that order, each
    // refused with its message), connects to SMTP when not connected, and sends. On success
    // keeps the message as the last one, empties the recipients, subject, reference, body
    // and attachments, disconnects when disconnectAfter is non-zero, and returns 1. On
    // failure shows the reason, disconnects and returns 0. Two failures are not shown:
    // a wait the user stopped, and a message whose every recipient the server refused.
    // The latter keeps the connection for the next message and leaves the refused
    // addresses in LastErrorText(), for the caller, who knows whose addresses they are.
    int Send(int disconnectAfter = 0);
    EFailure LastFailure() const { return m_lastFailure; }
    // The complete text of the last failure (code page 932); empty after a success.
    const std::string& LastErrorText() const { return m_lastErrorText; }

    // Writes the last message sent (header block and body exactly as the recipient gets
    // them, every line ending in CR LF) to `path`, atomically. 0, or -1 when it cannot be
    // written.
    int SaveLastMessage(const std::string& path) const;

    // The header block of the last message sent, encoded words decoded (code page 932);
    // decoded when first asked for, as a run of mails seldom asks.
    const std::string& LastHeader() const;
    const CMimeMessage& LastMessage() const { return m_lastMessage; }
    // When the last message was built; 0 before the first.
    std::time_t LastDate() const { return m_lastDate; }
    // "%a, %d %b %Y %H:%M:%S +0900 (JST)" of LastDate, with the machine's real offset and
    // zone name.
    const std::string& LastDateText() const { return m_lastDateText; }

    int ConnectedKind() const { return m_connectedKind; }
    const std::string& SmtpServer() const { return m_smtpServer; }
    const std::string& PopServer() const { return m_popServer; }
    const std::string& Account() const { return m_account; }
    const std::string& SenderAddress() const { return m_senderAddress; }
    const std::string& SenderName() const { return m_senderName; }
    const std::string& From() const { return m_from; }
    const std::string& Mailer() const { return m_mailer; }
    const std::string& To() const { return m_to; }
    const std::string& Subject() const { return m_subject; }
    const std::string& Body() const { return m_body; }

private:
    int ConnectSmtp(int port);
    int ConnectPop3(int port);
    // The message of the first POP3 setting that is missing (server, account, password),
    // UTF-8; null when none is.
    const char* MissingPopSetting() const;
    void Fail(EFailure kind, const std::string& text);
    void KeepLastMessage(const CMimeMessage& message);

    std::string m_smtpServer;
    std::string m_popServer;
    std::string m_senderAddress;
    std::string m_senderName;
    std::string m_account;
    std::string m_password;
    std::string m_from;
    std::string m_to, m_cc, m_bcc;
    std::string m_subject;
    std::string m_lastDateText;
    std::time_t m_lastDate = 0;
    std::string m_reference;
    std::string m_mailer;
    mutable std::string m_lastHeader;
    mutable bool m_lastHeaderDecoded = true;
    std::string m_body;
    std::vector<std::string> m_attachments;
    int m_useApop = 0;
    CMimeMessage m_lastMessage;
    int m_connectedKind = kNone;
    EFailure m_lastFailure = EFailure::kNone;
    std::string m_lastErrorText;
    int m_smtpPort = 25;  // the port of the last SMTP connection, for reconnecting
    IMailStatusWindow* m_statusWindow = nullptr;
    std::optional<MailSocketOptions> m_socketOptions;
    std::unique_ptr<CSmtpSession> m_smtp;
    std::unique_ptr<CPop3Session> m_pop3;
};

// "Tue, 07 Jan 2025 09:30:00 +0900 (JST)": the date text of a sent message, in the
// machine's zone at that moment.
std::string FormatLastDateText(std::time_t moment);

}  // namespace velo::mail
