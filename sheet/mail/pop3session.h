// CPop3Session: the POP3 login that some mail servers want before they take mail by SMTP
// ("POP before SMTP"). It logs in with USER and PASS or with APOP, and later quits; it reads
// no mail. Each step is shown in the status window (never the password), every failure
// leaves the complete Japanese text to show in GetErrorText(), and every byte goes through
// CMailSocket, so a silent server ends the wait after the time-out. The connection can be
// secured by STLS after the greeting or by TLS from the start ("PopSecurity").
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "sheet/mail/mailsocket.h"

namespace velo::mail {

class IMailStatusWindow;

class CPop3Session {
public:
    // Indexes of the reply check: the step whose refusal ("-ERR") gives which message.
    enum EReplyCheck : int {
        kCheckGreeting = 0,  // connection and greeting
        kCheckUser = 1,      // USER
        kCheckPass = 2,      // PASS
        kCheckApop = 3,      // APOP
        kCheckStls = 4,      // STLS
        kCheckQuit = 7,      // QUIT
    };
    static constexpr int kDefaultPort = 110;

    // Port -1 means 110. Nothing is connected yet.
    CPop3Session(std::string server, int port);
    // Quits when connected, then puts the saved status text back.
    ~CPop3Session();
    CPop3Session(const CPop3Session&) = delete;
    CPop3Session& operator=(const CPop3Session&) = delete;

    // Remembers the window and the text it shows now (put back on destruction).
    void SetStatusWindow(IMailStatusWindow* window);
    // Account and password (code page 932); both must be given, else nothing changes.
    void SetLogin(const std::string& user, const std::string& password);
    // Socket options instead of those of the settings ("Timeout", "TlsVerify").
    void SetSocketOptions(const MailSocketOptions& options);
    // Security instead of the setting "PopSecurity" of "EMail" (0 none, 1 STLS, 2 TLS).
    void SetSecurity(EMailSecurity security);

    // Connects, secures the line when asked to, and logs in by APOP (useApop non-zero) or
    // USER/PASS. 1 when logged in (also when it already was: then nothing is sent), else 0
    // with the connection closed and GetErrorText() set.
    int Login(int useApop);
    // Sends QUIT and closes. The QUIT check's result; 1 when not connected.
    int Quit();

    const std::string& GetErrorText() const { return m_errorText; }
    const std::string& GetLastReply() const { return m_lastReply; }
    const std::string& GetUser() const { return m_user; }
    const std::string& GetPassword() const { return m_password; }
    const std::string& GetServer() const { return m_server; }
    int GetPort() const { return m_port; }
    bool IsConnected() const { return m_connected != 0; }
    // The last Login failed because the status window asked to stop a wait.
    bool WasCancelled() const { return m_cancelled; }

private:
    bool ConnectAndGreet(EMailSecurity security);
    bool SecureWithStls();
    bool LogInWithApop(const std::string& greeting);
    bool LogInWithUserAndPass();
    bool SendLine(const std::string& line);
    bool CheckReply(int index);
    void SetErrorFromSocket();
    void ShowStatus(const std::string& text);
    void CloseConnection();

    IMailStatusWindow* m_statusWindow = nullptr;
    std::string m_savedStatusText;
    std::string m_errorText;
    std::string m_lastReply;  // the last reply line as received, line end included
    int m_connected = 0;
    bool m_cancelled = false;
    int m_port = kDefaultPort;
    std::string m_server;
    std::string m_user;
    std::string m_password;
    std::unique_ptr<CMailSocket> m_socket;
    std::optional<MailSocketOptions> m_socketOptions;
    std::optional<EMailSecurity> m_security;
};

}  // namespace velo::mail
