// The mail front object: settings checks, the POP3 login before SMTP, one SMTP connection
// kept across the run's messages, and the copy of the last message sent.
#include "sheet/mail/duvuzedi.h"

#include <ctime>

#include "sheet/mail/mailpartencoder.h"
#include "sheet/mail/mailtext.h"
#include "sheet/mail/pop3session.h"
#include "sheet/mail/smtpsession.h"
#include "suite/text/atomicfile.h"

namespace velo::mail {

namespace {

constexpr int kDefaultSmtpPort = 25;
constexpr int kDefaultPop3Port = 110;

void Show(const char* utf8) { ShowMailMessage(Sjis(utf8)); }

// The From header text: "name <address>", or the bare address without a name.
std::string ComposeFrom(std::string_view name, std::string_view address) {
    if (name.empty()) return std::string(address);
    std::string from(name);
    from += " <";
    from += address;
    from += '>';
    return from;
}

}  // namespace

std::string FormatLastDateText(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    char zone[16] = {};
    std::strftime(zone, sizeof zone, "%Z", &local);
    return FormatMailDate(moment) + " (" + zone + ")";
}

CDuvuZedi::CDuvuZedi() : m_mailer("DuvuZedi Ver.1.0") {}

CDuvuZedi::~CDuvuZedi() { Disconnect(); }

void CDuvuZedi::SetStatusWindow(IMailStatusWindow* window) { m_statusWindow = window; }

void CDuvuZedi::SetSocketOptions(const MailSocketOptions& options) { m_socketOptions = options; }

int CDuvuZedi::SetServer(int kind, const char* server, const char* account, const char* password,
                         int apop) {
    if (account != nullptr) m_account = account;
    if (password != nullptr) m_password = password;
    if (apop != -1) m_useApop = apop;
    if (kind == kSmtp) {
        if (server != nullptr) m_smtpServer = server;
        if (m_smtpServer.empty()) {
            Show("SMTP サーバー名が設定されていません");
            return 0;
        }
        return 1;
    }
    if (kind == kPop3) {
        if (server != nullptr) m_popServer = server;
        if (const char* missing = MissingPopSetting()) {
            Show(missing);
            return 0;
        }
        return 1;
    }
    return 0;
}

const char* CDuvuZedi::MissingPopSetting() const {
    if (m_popServer.empty()) return "POP サーバー名が設定されていません";
    if (m_account.empty()) return "メールアカウントが設定されていません";
    if (m_password.empty()) return "パスワードが設定されていません";
    return nullptr;
}

void CDuvuZedi::Fail(EFailure kind, const std::string& text) {
    m_lastFailure = kind;
    m_lastErrorText = text;
    if (kind == EFailure::kFailed) ShowMailMessage(text);
}

int CDuvuZedi::Connect(int kind, const char* server, int port, const char* account,
                       const char* password, int apop) {
    if (account != nullptr) m_account = account;
    if (password != nullptr) m_password = password;
    if (apop != -1) m_useApop = apop;
    m_lastFailure = EFailure::kNone;
    m_lastErrorText.clear();
    int connected = 0;
    if (kind == kSmtp) {
        if (server != nullptr) m_smtpServer = server;
        connected = ConnectSmtp(port == -1 ? kDefaultSmtpPort : port);
    } else if (kind == kPop3) {
        if (server != nullptr) m_popServer = server;
        connected = ConnectPop3(port == -1 ? kDefaultPop3Port : port);
    } else {
        m_lastFailure = EFailure::kFailed;
    }
    if (connected) m_connectedKind = kind;
    return connected;
}

int CDuvuZedi::ConnectSmtp(int port) {
    if (m_smtpServer.empty()) {
        Fail(EFailure::kFailed, Sjis("SMTP サーバー名が設定されていません"));
        return 0;
    }
    m_smtpPort = port;
    m_smtp = std::make_unique<CSmtpSession>(m_smtpServer, port);
    m_smtp->SetStatusWindow(m_statusWindow);
    if (m_socketOptions) m_smtp->SetSocketOptions(*m_socketOptions);
    if (!m_account.empty()) m_smtp->SetAccount(m_account);
    if (m_smtp->Connect()) return 1;
    Fail(m_smtp->WasCancelled() ? EFailure::kCancelled : EFailure::kFailed, m_smtp->GetErrorText());
    m_smtp.reset();
    return 0;
}

int CDuvuZedi::ConnectPop3(int port) {
    if (const char* missing = MissingPopSetting()) {
        Fail(EFailure::kFailed, Sjis(missing));
        return 0;
    }
    m_pop3 = std::make_unique<CPop3Session>(m_popServer, port);
    m_pop3->SetStatusWindow(m_statusWindow);
    if (m_socketOptions) m_pop3->SetSocketOptions(*m_socketOptions);
    m_pop3->SetLogin(m_account, m_password);
    if (m_pop3->Login(m_useApop)) return 1;
    Fail(m_pop3->WasCancelled() ? EFailure::kCancelled : EFailure::kFailed, m_pop3->GetErrorText());
    m_pop3.reset();
    return 0;
}

int CDuvuZedi::Disconnect() {
    int result = 1;
    if (m_connectedKind == kSmtp && m_smtp != nullptr) result = m_smtp->Quit();
    if (m_connectedKind == kPop3 && m_pop3 != nullptr) result = m_pop3->Quit();
    m_smtp.reset();
    m_pop3.reset();
    m_connectedKind = kNone;
    return result;
}

void CDuvuZedi::SetFrom(std::string_view address, std::string_view name) {
    m_senderAddress = address;
    m_senderName = name;
    m_from = ComposeFrom(name, address);
}

void CDuvuZedi::SetRecipients(const char* to, const char* cc, const char* bcc) {
    m_to = to != nullptr ? to : "";
    m_cc = cc != nullptr ? cc : "";
    m_bcc = bcc != nullptr ? bcc : "";
}

void CDuvuZedi::SetSubjectAndBody(std::string_view subject, std::string_view body) {
    m_subject = subject;
    m_body = body;
}

int CDuvuZedi::Send(int disconnectAfter) {
    m_lastFailure = EFailure::kNone;
    m_lastErrorText.clear();
    CMimeMessage message;
    message.SetMailer(m_mailer);
    const char* missing = m_senderAddress.empty() ? "送信者のメールアドレスが設定されていません"
                          : m_to.empty()      ? "送信先の指定がありません"
                          : m_subject.empty() ? "メールのタイトルがありません"
                          : m_body.empty()    ? "メールの本文がありません"
                                              : nullptr;
    if (missing != nullptr) {
        Fail(EFailure::kFailed, Sjis(missing));
        return 0;
    }
    if (m_from.empty()) m_from = ComposeFrom(m_senderName, m_senderAddress);
    message.SetEnvelopeSender(m_senderAddress);
    message.SetFrom(m_from);
    // An address list it cannot take has shown its own message.
    if (!message.SetRecipients(m_to, m_cc, m_bcc)) {
        m_lastFailure = EFailure::kFailed;
        return 0;
    }
    message.SetSubject(m_subject);
    message.SetReference(m_reference);
    message.SetBody(m_body);
    message.SetAttachmentCount(int(m_attachments.size()));
    for (const std::string& path : m_attachments) message.AddPart(path, kFilePartKind, "", 0, 0);

    // Reconnects on the port of the last connection: 25 is only the first default, and a
    // server on the submission port would never answer there.
    if (m_connectedKind != kSmtp && !Connect(kSmtp, nullptr, m_smtpPort)) return 0;
    if (!m_smtp->Send(message)) {
        if (m_smtp->RecipientsRefused()) {
            Fail(EFailure::kRecipientsRefused, m_smtp->GetErrorText());
            return 0;
        }
        Fail(m_smtp->WasCancelled() ? EFailure::kCancelled : EFailure::kFailed,
             m_smtp->GetErrorText());
        Disconnect();
        return 0;
    }
    KeepLastMessage(message);
    if (disconnectAfter != 0) Disconnect();
    m_to.clear();
    m_cc.clear();
    m_bcc.clear();
    m_subject.clear();
    m_reference.clear();
    m_body.clear();
    m_attachments.clear();
    return 1;
}

void CDuvuZedi::KeepLastMessage(const CMimeMessage& message) {
    m_lastMessage = message;
    m_lastHeader.clear();
    m_lastHeaderDecoded = false;
    m_lastDate = message.Date();
    m_lastDateText = FormatLastDateText(m_lastDate);
}

const std::string& CDuvuZedi::LastHeader() const {
    if (!m_lastHeaderDecoded) {
        m_lastHeader = m_lastMessage.Header();
        CMailMessage::DecodeHeaderText(m_lastHeader);
        m_lastHeaderDecoded = true;
    }
    return m_lastHeader;
}

int CDuvuZedi::SaveLastMessage(const std::string& path) const {
    const std::string text = m_lastMessage.Header() + NormalizeLineEnds(m_lastMessage.Body());
    return WriteFileAtomically(path, text, nullptr) ? 0 : -1;
}

}  // namespace velo::mail
