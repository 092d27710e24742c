// The POP3 login dialogue: greeting, optional STLS, APOP or USER/PASS, and QUIT.
#include "sheet/mail/pop3session.h"

#include "sheet/mail/mailtext.h"
#include "sheet/mail/md5.h"
#include "suite/comdlg/velosubtools.h"

namespace velo::mail {
namespace {

// The message of each reply check's refusal, UTF-8; indexes as CPop3Session::EReplyCheck.
const char* RefusalText(int index) {
    switch (index) {
        case CPop3Session::kCheckGreeting: return "サーバーに接続できません";
        case CPop3Session::kCheckUser: return "アカウントが認識されません";
        case CPop3Session::kCheckPass: return "アカウントとパスワードが無効です";
        case CPop3Session::kCheckApop: return "APOP認証が使用できません";
        case CPop3Session::kCheckStls: return "STLSが使用できません";
        case CPop3Session::kCheckQuit: return "サーバー切断に失敗しました";
        default: return "ソケットエラー";
    }
}

EMailSecurity SecurityFromSettings() {
    switch (CVeloSubTools::GetGlobalSettingInt("EMail", "PopSecurity", 0)) {
        case 1: return EMailSecurity::kStartTls;
        case 2: return EMailSecurity::kTls;
        default: return EMailSecurity::kNone;
    }
}

// A line break inside a value sent as a command argument would end the command there and
// let the rest be read as a command of its own.
bool HoldsLineBreak(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::string WithoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace

CPop3Session::CPop3Session(std::string server, int port)
    : m_errorText(Sjis("OK")), m_port(port == -1 ? kDefaultPort : port),
      m_server(std::move(server)) {}

CPop3Session::~CPop3Session() {
    if (m_connected) Quit();
    if (m_statusWindow != nullptr) m_statusWindow->SetStatusText(m_savedStatusText);
}

void CPop3Session::SetStatusWindow(IMailStatusWindow* window) {
    m_statusWindow = window;
    m_savedStatusText = window != nullptr ? window->GetStatusText() : std::string();
}

void CPop3Session::SetLogin(const std::string& user, const std::string& password) {
    if (user.empty() || password.empty()) return;
    m_user = user;
    m_password = password;
}

void CPop3Session::SetSocketOptions(const MailSocketOptions& options) { m_socketOptions = options; }

void CPop3Session::SetSecurity(EMailSecurity security) { m_security = security; }

int CPop3Session::Login(int useApop) {
    if (m_connected) return 1;
    m_cancelled = false;
    if (HoldsLineBreak(m_user)) {
        m_errorText = Sjis(RefusalText(useApop ? kCheckApop : kCheckUser));
        return 0;
    }
    if (!useApop && HoldsLineBreak(m_password)) {
        m_errorText = Sjis(RefusalText(kCheckPass));
        return 0;
    }
    const EMailSecurity security = m_security ? *m_security : SecurityFromSettings();
    if (!ConnectAndGreet(security)) return 0;
    // The APOP time stamp is the one of the first greeting, also after STLS.
    const std::string greeting = m_lastReply;
    if (security == EMailSecurity::kStartTls && !SecureWithStls()) return 0;
    const bool loggedIn = useApop ? LogInWithApop(greeting) : LogInWithUserAndPass();
    if (!loggedIn) {
        CloseConnection();
        return 0;
    }
    m_connected = 1;
    return 1;
}

bool CPop3Session::ConnectAndGreet(EMailSecurity security) {
    m_socket = std::make_unique<CMailSocket>(m_socketOptions ? *m_socketOptions
                                                             : MailSocketOptionsFromSettings());
    if (m_statusWindow != nullptr)
        m_socket->SetWaitHook([window = m_statusWindow] { return window->WhileWaiting(); });
    ShowStatus("CONNECT " + m_server);
    if (!m_socket->Connect(m_server, m_port, security == EMailSecurity::kTls)) {
        if (m_socket->LastError() == EMailSocketError::kConnectFailed)
            m_errorText = Sjis(RefusalText(kCheckGreeting));
        else
            SetErrorFromSocket();
        CloseConnection();
        return false;
    }
    if (security == EMailSecurity::kTls) ShowStatus("TLS " + m_server);
    if (!CheckReply(kCheckGreeting)) {
        CloseConnection();
        return false;
    }
    return true;
}

bool CPop3Session::SecureWithStls() {
    ShowStatus("STLS " + m_server);
    if (!SendLine("STLS\r\n") || !CheckReply(kCheckStls)) {
        CloseConnection();
        return false;
    }
    if (!m_socket->StartTls()) {
        SetErrorFromSocket();
        CloseConnection();
        return false;
    }
    return true;
}

bool CPop3Session::LogInWithApop(const std::string& greeting) {
    const std::size_t open = greeting.find('<');
    const std::size_t close = open == std::string::npos ? open : greeting.find('>', open);
    if (close == std::string::npos) {
        m_errorText = Sjis(RefusalText(kCheckApop));
        return false;
    }
    const std::string stamp = greeting.substr(open, close - open + 1);
    const std::string digest = CMd5::HexDigest(stamp + m_password);
    ShowStatus("APOP " + m_user);
    return SendLine("APOP " + m_user + " " + digest + "\r\n") && CheckReply(kCheckApop);
}

bool CPop3Session::LogInWithUserAndPass() {
    ShowStatus("USER " + m_user);
    if (!SendLine("USER " + m_user + "\r\n") || !CheckReply(kCheckUser)) return false;
    ShowStatus("PASS ********");
    return SendLine("PASS " + m_password + "\r\n") && CheckReply(kCheckPass);
}

int CPop3Session::Quit() {
    if (!m_connected) return 1;
    ShowStatus("QUIT");
    const bool ok = SendLine("QUIT\r\n") && CheckReply(kCheckQuit);
    CloseConnection();
    return ok ? 1 : 0;
}

bool CPop3Session::SendLine(const std::string& line) {
    if (m_socket->SendAll(line)) return true;
    SetErrorFromSocket();
    return false;
}

// Reads one whole reply line. Only "-ERR" counts as a refusal; any other reply passes.
bool CPop3Session::CheckReply(int index) {
    std::string line;
    if (!m_socket->ReadLine(&line)) {
        SetErrorFromSocket();
        return false;
    }
    m_lastReply = line;
    ShowStatus(WithoutLineEnd(line));
    if (line.compare(0, 4, "-ERR") == 0) {
        m_errorText = Sjis(RefusalText(index));
        return false;
    }
    return true;
}

void CPop3Session::SetErrorFromSocket() {
    switch (m_socket->LastError()) {
        case EMailSocketError::kTimedOut: m_errorText = Sjis("サーバーが反応しません"); break;
        case EMailSocketError::kCancelled:
            m_errorText = Sjis("送信を中止しました");
            m_cancelled = true;
            break;
        case EMailSocketError::kTlsFailed:
            m_errorText = Sjis("安全な接続(TLS)を確立できません");
            if (!m_socket->ErrorDetail().empty())
                m_errorText += "\r\n" + Sjis(m_socket->ErrorDetail().c_str());
            break;
        default: m_errorText = Sjis("ソケットエラー"); break;
    }
}

void CPop3Session::ShowStatus(const std::string& text) {
    if (m_statusWindow != nullptr) m_statusWindow->SetStatusText(text);
}

void CPop3Session::CloseConnection() {
    if (m_socket != nullptr) m_socket->Close();
    m_socket.reset();
    m_connected = 0;
}

}  // namespace velo::mail
