// The SMTP dialogue of one connection: greeting, HELO/EHLO, STARTTLS, AUTH LOGIN, one
// transaction per message, QUIT; and the shaping of what goes on the wire (Message-Id, the
// transparent body, the header without its blind copies).
#include "sheet/mail/smtpsession.h"

#include <strings.h>
#include <unistd.h>

#include <QString>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "sheet/mail/base64codec.h"
#include "sheet/mail/mailmessage.h"
#include "sheet/mail/mailtext.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/text/cp932.h"

namespace velo::mail {

namespace {

struct ReplyCheck {
    int code;
    const char* message;  // UTF-8; shown as "code:message" when the server answers otherwise
};

// Read by CSmtpSession::EReplyCheck.
constexpr ReplyCheck kReplyChecks[] = {
    {250, "SMTPサーバーエラー"},
    {220, "SMTPサーバーが存在しません"},
    {354, "SMTPサーバーの準備が出来ていません"},
    {221, "SMTPサーバーとの接続を終了できません"},
    {334, "SMTP認証に失敗しました"},
    {235, "SMTP認証に失敗しました(PASSWORDエラー)"},
    {220, "STARTTLSが使用できません"},
};

enum ESecurity { kSecurityNone = 0, kSecurityStartTls = 1, kSecurityTls = 2 };

// Characters an id may hold on the left of a Message-Id's "@" (RFC 5322 atext).
bool IsAtext(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return true;
    if (c >= 'a' && c <= 'z') return true;
    if (c >= '0' && c <= '9') return true;
    return std::string_view("!#$%&'*+/=?^_`{|}~-").find(char(c)) != std::string_view::npos;
}

// The text as dot-separated atext: every run of other bytes ("@", spaces, double-byte
// characters, dots) becomes one ".", and none is left at either end.
std::string DotAtomText(std::string_view text) {
    std::string out;
    bool pendingDot = false;
    for (unsigned char c : text) {
        if (!IsAtext(c)) {
            pendingDot = !out.empty();
            continue;
        }
        if (pendingDot) out += '.';
        pendingDot = false;
        out += char(c);
    }
    return out;
}

// Milliseconds of the system's monotonic clock modulo 10000, the tick of the Message-Id.
long TickModulo10000() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return long(ms.count() % 10000);
}

std::string LocalHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

// Appends the header block as it goes to the server: a Bcc line names the blind copies,
// which the other recipients must not see, so it is left out (the sender's own copy keeps
// it).
void AppendHeaderForTransmission(std::string_view header, std::string* data) {
    std::string& out = *data;
    size_t start = 0;
    while (start < header.size()) {
        size_t end = header.find("\r\n", start);
        end = end == std::string_view::npos ? header.size() : end + 2;
        const std::string_view line = header.substr(start, end - start);
        if (line.size() < 4 || strncasecmp(line.data(), "bcc:", 4) != 0) out += line;
        start = end;
    }
}

std::string ProgressText(size_t sent, size_t total) {
    char text[96];
    std::snprintf(text, sizeof text, "%zu/%zu bytes  %d %%", sent, total,
                  int((unsigned long long)sent * 100 / total));
    return text;
}

std::string SettingCp932(const char* key) {
    return QStringToCp932(CVeloSubTools::GetGlobalSettingString("EMail", key, QString()));
}

// The SMTP AUTH credentials: "SmtpUserID"/"SmtpPassword", each falling back to the POP3
// account's "UserID"/"Password" when empty.
std::string AuthSetting(const char* key, const char* fallbackKey) {
    std::string value = SettingCp932(key);
    return value.empty() ? SettingCp932(fallbackKey) : value;
}

// Appends one body, shaped as DotStuffBody says, optionally doubling leading dots; a line
// at a time, its text copied whole.
void AppendWithCrLfLines(std::string_view body, bool stuffDots, std::string* shaped) {
    std::string& out = *shaped;
    out.reserve(out.size() + body.size() + body.size() / 32 + 4);
    size_t pos = 0;
    while (pos < body.size()) {
        if (stuffDots && body[pos] == '.') out += '.';
        size_t end = pos;
        while (end < body.size() && body[end] != '\r' && body[end] != '\n') ++end;
        out.append(body.substr(pos, end - pos));
        out += "\r\n";
        if (body.compare(end, 2, "\r\n") == 0) ++end;  // one line end, not two
        pos = end + 1;
    }
}

std::string WithCrLfLines(std::string_view body, bool stuffDots) {
    std::string out;
    AppendWithCrLfLines(body, stuffDots, &out);
    return out;
}

// Everything that follows DATA: the header block, the stuffed body and the final "."
// (the header and the stuffed body both end in CR LF, so the "." stands on a line of its
// own without adding an empty line to the message). *bodyStart is where the body begins.
std::string DataBlock(std::string_view header, std::string_view body, size_t* bodyStart) {
    std::string data;
    data.reserve(header.size() + body.size() + body.size() / 32 + 8);
    AppendHeaderForTransmission(header, &data);
    *bodyStart = data.size();
    AppendWithCrLfLines(body, true, &data);
    data += ".\r\n";
    return data;
}

}  // namespace

std::string MakeMessageId(std::time_t seconds, long tick, std::string_view account,
                          std::string_view server) {
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%ld.%04ld", long(seconds), tick);
    std::string id = "<";
    id += stamp;
    id += DotAtomText(account);
    id += '@';
    id += DotAtomText(server);
    id += '>';
    return id;
}

std::string DotStuffBody(std::string_view body) { return WithCrLfLines(body, true); }

std::string NormalizeLineEnds(std::string_view body) { return WithCrLfLines(body, false); }

CSmtpSession::CSmtpSession(std::string server, int port)
    : m_errorText("OK"), m_port(port), m_server(std::move(server)) {}

CSmtpSession::~CSmtpSession() {
    Quit();
    if (m_statusWindow != nullptr) m_statusWindow->SetStatusText(m_savedStatusText);
}

void CSmtpSession::SetStatusWindow(IMailStatusWindow* window) {
    m_statusWindow = window;
    m_savedStatusText = window != nullptr ? window->GetStatusText() : std::string();
}

void CSmtpSession::SetAccount(std::string_view name) { m_account = name; }

void CSmtpSession::SetSocketOptions(const MailSocketOptions& options) { m_socketOptions = options; }

int CSmtpSession::Connect() {
    if (m_connected) return 1;
    m_cancelled = false;
    const int attach = CVeloSubTools::GetGlobalSettingInt("EMail", "SmtpAttach", 0);
    const int security = CVeloSubTools::GetGlobalSettingInt("EMail", "SmtpSecurity", kSecurityNone);
    const MailSocketOptions options =
        m_socketOptions ? *m_socketOptions : MailSocketOptionsFromSettings();
    if (!ConnectSocket(options, security)) return 0;
    if (!CheckReply(kCheckGreeting)) {
        m_errorText = Sjis("サーバーが反応しません");
        CloseConnection();
        return 0;
    }
    // The plain dialogue keeps HELO, which every server takes. AUTH and STARTTLS are
    // extensions that servers offer (and accept) only after EHLO.
    const bool extended = attach != 0 || security == kSecurityStartTls;
    bool ok = Greet(extended ? "EHLO" : "HELO");
    if (ok && security == kSecurityStartTls) ok = SecureWithStartTls() && Greet("EHLO");
    if (ok && attach != 0) ok = LogIn();
    if (!ok) {
        CloseConnection();
        return 0;
    }
    m_connected = 1;
    return 1;
}

bool CSmtpSession::ConnectSocket(const MailSocketOptions& options, int security) {
    m_socket = std::make_unique<CMailSocket>(options);
    if (m_statusWindow != nullptr)
        m_socket->SetWaitHook([window = m_statusWindow] { return window->WhileWaiting(); });
    ShowStatus("CONNECT", m_server);
    if (!m_socket->Connect(m_server, m_port, security == kSecurityTls)) {
        const EMailSocketError error = m_socket->LastError();
        if (error == EMailSocketError::kConnectFailed)
            m_errorText = Sjis("サーバーに接続できません");
        else
            SetErrorFromSocket();
        CloseConnection();
        return false;
    }
    if (security == kSecurityTls) ShowStatus("TLS", m_server);
    return true;
}

bool CSmtpSession::Greet(const char* verb) {
    const std::string host = LocalHostName();
    ShowStatus(verb, host);
    return SendText(std::string(verb) + " " + host + "\r\n") && CheckReply(kCheckOk);
}

bool CSmtpSession::SecureWithStartTls() {
    ShowStatus("STARTTLS", m_server);
    if (!SendText("STARTTLS\r\n") || !CheckReply(kCheckStartTls)) return false;
    if (!m_socket->StartTls()) {
        SetErrorFromSocket();
        return false;
    }
    return true;
}

bool CSmtpSession::LogIn() {
    const std::string user = AuthSetting("SmtpUserID", "UserID");
    const std::string password = AuthSetting("SmtpPassword", "Password");
    ShowStatus("AUTH LOGIN", "");
    if (!SendText("AUTH LOGIN\r\n") || !CheckReply(kCheckAuth)) return false;
    const std::string encodedUser = CBase64Codec::Encode(user);
    ShowStatus("User", encodedUser);
    if (!SendText(encodedUser + "\r\n") || !CheckReply(kCheckAuth)) return false;
    // One star per character, never the password itself.
    ShowStatus("pass", std::string(size_t(Cp932ToQString(password).size()), '*'));
    return SendText(CBase64Codec::Encode(password) + "\r\n") && CheckReply(kCheckPassword);
}

int CSmtpSession::Send(CMailMessage& message) {
    m_cancelled = false;
    m_recipientsRefused = false;
    if (!m_connected) {
        m_errorText = Sjis("サーバーに接続されていません");
        return 0;
    }
    message.SetMessageId(MakeMessageId(std::time(nullptr), TickModulo10000(), m_account, m_server));
    if (!PrepareMessage(message)) return 0;
    m_lineFailed = false;
    if (TransmitMessage(message)) return 1;
    // A broken or silent line cannot carry the next message or a QUIT; waiting for either
    // would only repeat the time-out.
    if (m_lineFailed) CloseConnection();
    return 0;
}

int CSmtpSession::PrepareMessage(CMailMessage& message) {
    if (message.GetAddressCount(kAddressTo) == 0) {
        m_errorText = Sjis("宛先が指定されていません");
        return 0;
    }
    message.ClearHeader();
    message.BuildHeader();
    message.EndHeader();
    message.BuildBody();
    return 1;
}

int CSmtpSession::TransmitMessage(CMailMessage& message) {
    if (!SendText("MAIL From: <" + message.EnvelopeSender() + ">\r\n") || !CheckReply(kCheckOk))
        return 0;
    // A refused recipient does not stop the others; the refusals are kept in case nobody
    // is left to receive the message.
    bool anyAccepted = false;
    std::string refused;
    int refusedCode = 0;
    for (int kind : {kAddressTo, kAddressCc, kAddressBcc}) {
        for (const CMailMessage::MailAddress& entry : message.Addresses(kind)) {
            if (!SendText("RCPT TO: <" + entry.address + ">\r\n") || !ReadReply()) return 0;
            const int code = std::atoi(m_reply.substr(0, 3).c_str());
            if (code / 100 == 2) {
                anyAccepted = true;
                continue;
            }
            if (refusedCode == 0) refusedCode = code;
            if (!refused.empty()) refused += ", ";
            refused += entry.address;
        }
    }
    if (!anyAccepted) return ResetAfterRefusedRecipients(refused, refusedCode);
    if (!SendText("DATA\r\n") || !CheckReply(kCheckData)) return 0;
    size_t bodyStart = 0;
    const std::string data = DataBlock(message.Header(), message.Body(), &bodyStart);
    if (!SendData(data, bodyStart)) return 0;
    return CheckReply(kCheckOk);
}

// Without a status window the data goes in one write. With one, it goes in pieces of
// kBodyPieceSize body bytes (the header with the first, the "." with the last), each
// shown as progress before it is sent, held together until the last asks for the answer.
bool CSmtpSession::SendData(std::string_view data, size_t bodyStart) {
    if (m_statusWindow == nullptr) return SendText(data);
    static const std::string sending = Sjis("送信中");
    const size_t bodySize = data.size() - bodyStart - 3;  // without the final ".\r\n"
    size_t from = 0;
    for (size_t sent = 0; sent < bodySize;) {
        sent += std::min(kBodyPieceSize, bodySize - sent);
        ShowStatus(sending, ProgressText(sent, bodySize));
        const size_t to = sent == bodySize ? data.size() : bodyStart + sent;
        if (!SendText(data.substr(from, to - from), to < data.size())) return false;
        from = to;
    }
    return from == data.size() || SendText(data.substr(from));
}

// With no recipient left the server would refuse the data anyway; the transaction is
// reset instead, so that the connection can carry the next message, and the error names
// the addresses (a full-width "＠" or a typo is the usual cause).
int CSmtpSession::ResetAfterRefusedRecipients(const std::string& refused, int code) {
    ShowStatus("RSET", "");
    if (!SendText("RSET\r\n") || !CheckReply(kCheckOk)) return 0;
    m_errorText = std::to_string(code) + ":" + Sjis("宛先のメールアドレスが受け付けられません") +
                  Sjis("（") + refused + Sjis("）");
    m_recipientsRefused = true;
    return 0;
}

int CSmtpSession::Quit() {
    if (!m_connected) return 1;
    ShowStatus("QUIT", "");
    const bool ok = SendText("QUIT\r\n") && CheckReply(kCheckQuit);
    CloseConnection();
    return ok ? 1 : 0;
}

bool CSmtpSession::SendText(std::string_view text, bool moreFollows) {
    if (m_socket->SendAll(text, moreFollows)) return true;
    SetErrorFromSocket();
    return false;
}

bool CSmtpSession::ReadReply() {
    m_reply.clear();
    if (m_socket->ReadSmtpReply(&m_reply)) return true;
    SetErrorFromSocket();
    return false;
}

bool CSmtpSession::CheckReply(int index) {
    if (!ReadReply()) return false;
    const int code = std::atoi(m_reply.substr(0, 3).c_str());
    const ReplyCheck& check = kReplyChecks[index];
    if (code == check.code) return true;
    m_errorText = std::to_string(code) + ":" + Sjis(check.message);
    return false;
}

void CSmtpSession::SetErrorFromSocket() {
    m_lineFailed = true;
    switch (m_socket->LastError()) {
    case EMailSocketError::kTimedOut:
        m_errorText = Sjis("サーバーが反応しません");
        break;
    case EMailSocketError::kCancelled:
        m_errorText = Sjis("送信を中止しました");
        m_cancelled = true;
        break;
    case EMailSocketError::kTlsFailed:
        m_errorText = Sjis("安全な接続(TLS)を確立できません");
        if (!m_socket->ErrorDetail().empty())
            m_errorText += "\r\n" + Sjis(m_socket->ErrorDetail().c_str());
        break;
    default:
        m_errorText = Sjis("ソケットエラー");
        break;
    }
}

void CSmtpSession::ShowStatus(std::string_view step, std::string_view detail) {
    if (m_statusWindow == nullptr) return;
    std::string text(step);
    if (!detail.empty()) {
        text += ' ';
        text += detail;
    }
    m_statusWindow->SetStatusText(text);
}

void CSmtpSession::CloseConnection() {
    if (m_socket != nullptr) m_socket->Close();
    m_socket.reset();
    m_connected = 0;
}

}  // namespace velo::mail
