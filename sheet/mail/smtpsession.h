// CSmtpSession: one SMTP connection that sends built messages. Connect greets the server
// (optionally securing the line with STARTTLS or TLS and logging in by AUTH LOGIN), Send
// builds and transmits one message, Quit ends the dialogue. Every step is shown in the
// status window (never the password), every failure leaves a complete Japanese text in
// GetErrorText() for the caller to show, and every byte goes through CMailSocket, so a
// server that stops answering ends the wait after the time-out instead of freezing.
#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sheet/mail/mailsocket.h"

namespace velo::mail {

class CMailMessage;
class IMailStatusWindow;

// The Message-Id of a message: "<seconds.tick@...>" with the tick (milliseconds modulo
// 10000) padded with zeros to four places, so the value stays one unbroken token.
std::string MakeMessageId(std::time_t seconds, long tick, std::string_view account,
                          std::string_view server);

// The body as it goes between DATA and the final ".": every line ends in CR LF (a lone CR
// or LF becomes CR LF, so no bare line end can reach the server) and every line that
// begins with "." gets a second "." in front (RFC 5321 transparency), whatever follows the
// dot. The result always ends in CR LF unless the body is empty.
std::string DotStuffBody(std::string_view body);

// The body with every line ending in CR LF, as above but without the dots doubled: the
// message exactly as the recipient receives it.
std::string NormalizeLineEnds(std::string_view body);

class CSmtpSession {
public:
    // Indexes of the reply-check table: the expected code of each step and the text shown
    // when the server answers otherwise.
    enum EReplyCheck : int {
        kCheckOk = 0,         // HELO/EHLO, MAIL, RCPT, end of data: 250
        kCheckGreeting = 1,   // greeting after connect: 220
        kCheckData = 2,       // DATA: 354
        kCheckQuit = 3,       // QUIT: 221
        kCheckAuth = 4,       // AUTH LOGIN and the user name: 334
        kCheckPassword = 5,   // the password: 235
        kCheckStartTls = 6,   // STARTTLS: 220
    };
    // Size of the pieces the body is sent in; the status line advances with each.
    static constexpr size_t kBodyPieceSize = 512;

    CSmtpSession(std::string server, int port);
    // Puts the saved status text back and quits when still connected.
    virtual ~CSmtpSession();
    CSmtpSession(const CSmtpSession&) = delete;
    CSmtpSession& operator=(const CSmtpSession&) = delete;

    // Remembers the window and the text it shows now (put back on destruction).
    void SetStatusWindow(IMailStatusWindow* window);
    // Account name used inside the Message-Id.
    void SetAccount(std::string_view name);
    // Socket options to use instead of those of the settings ("Timeout", "TlsVerify");
    // a clinic's own certificate authority goes here.
    void SetSocketOptions(const MailSocketOptions& options);

    // Connects and greets, per the settings of section "EMail": "SmtpSecurity" (0 plain,
    // 1 STARTTLS, 2 TLS from the start) and "SmtpAttach" (1: AUTH LOGIN with "SmtpUserID"/
    // "SmtpPassword", falling back to "UserID"/"Password"). Returns 1 when connected
    // (also when it already was), else 0 with the socket closed and GetErrorText() set.
    int Connect();
    // Sets the Message-Id, builds the message and transmits it. Returns 1 when the server
    // accepted it, else 0 with GetErrorText() set. A socket failure, time-out or cancelled
    // wait on the way closes the connection, so the session is no longer connected
    // afterwards. When the server refuses every recipient the transaction is reset (RSET)
    // and the connection stays for the next message: RecipientsRefused() tells that case,
    // and GetErrorText() names the refused addresses.
    int Send(CMailMessage& message);
    // Sends QUIT and closes. Returns the QUIT reply check; 1 when not connected.
    int Quit();

    const std::string& GetErrorText() const { return m_errorText; }
    const std::string& GetServer() const { return m_server; }
    int GetPort() const { return m_port; }
    bool IsConnected() const { return m_connected != 0; }
    // The last Connect or Send failed because the status window asked to stop a wait.
    bool WasCancelled() const { return m_cancelled; }
    // The last Send failed because the server refused every recipient.
    bool RecipientsRefused() const { return m_recipientsRefused; }
    // The last whole reply of the server, every line of it (for tests and diagnostics).
    const std::string& LastReply() const { return m_reply; }
    // The system calls of the connection so far; none when not connected.
    MailSocketCalls SocketCalls() const {
        return m_socket != nullptr ? m_socket->Calls() : MailSocketCalls{};
    }

protected:
    // Refuses a message without recipients ("宛先が指定されていません"), else builds it in
    // the order ClearHeader, BuildHeader, EndHeader, BuildBody. 1 or 0.
    virtual int PrepareMessage(CMailMessage& message);
    // MAIL, RCPT for every To, Cc and Bcc address (a refused recipient does not stop the
    // send, unless every one is refused), DATA, then the header, the stuffed body and the
    // final "." in one write, or with a status window in 512-byte body pieces with the
    // progress in the status line. 1 or 0.
    virtual int TransmitMessage(CMailMessage& message);

private:
    bool ConnectSocket(const MailSocketOptions& options, int security);
    bool Greet(const char* verb);
    bool SecureWithStartTls();
    bool LogIn();
    int ResetAfterRefusedRecipients(const std::string& refused, int code);
    bool SendData(std::string_view data, size_t bodyStart);
    bool SendText(std::string_view text, bool moreFollows = false);
    bool CheckReply(int index);
    bool ReadReply();
    void SetErrorFromSocket();
    void ShowStatus(std::string_view step, std::string_view detail);
    void CloseConnection();

    IMailStatusWindow* m_statusWindow = nullptr;
    std::string m_savedStatusText;
    std::string m_errorText;
    int m_connected = 0;
    int m_port = 25;
    std::string m_server;
    std::string m_account;
    std::unique_ptr<CMailSocket> m_socket;
    std::string m_reply;  // the last whole reply
    bool m_lineFailed = false;  // a send or receive failed or timed out
    bool m_cancelled = false;
    bool m_recipientsRefused = false;
    std::optional<MailSocketOptions> m_socketOptions;
};

}  // namespace velo::mail
