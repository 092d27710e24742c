// A blocking TCP connection to a mail server, plain or under TLS, with a time-out on every
// connect, send and receive so that a server that stops answering cannot freeze the
// program. Replies are read whole: an SMTP reply up to its final line ("250 ..." after any
// "250-..." lines), a POP3 reply up to its line end, however the server splits them over
// packets. Used by the SMTP and POP3 sessions; holds no protocol knowledge beyond that.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace velo::mail {

// How a session secures its connection (settings "SmtpSecurity" and "PopSecurity").
enum class EMailSecurity {
    kNone = 0,      // plain text, as mail servers were reached before
    kStartTls = 1,  // plain connect, then STARTTLS (SMTP) or STLS (POP3)
    kTls = 2,       // TLS from the first byte (ports 465 and 995)
};

enum class EMailSocketError {
    kNone,
    kConnectFailed,  // name not found, refused, unreachable
    kTimedOut,       // no answer within the time-out
    kClosed,         // the server closed the connection
    kSocketError,    // any other send or receive failure
    kTlsFailed,      // handshake or certificate check failed
    kCancelled,      // the wait hook asked to stop waiting
};

struct MailSocketOptions {
    int timeoutSeconds = 60;
    // Check the server's certificate and name against the system's trust store.
    bool verifyPeer = true;
    // Extra trusted certificate (PEM), for a clinic's own server; tests use it too.
    std::string caFile;
};

// The system calls a connection has made on its socket since Connect, by kind: what a
// message costs on the line, for the tests and the benchmark.
struct MailSocketCalls {
    long sends = 0;     // send(), plain text or TLS records
    long receives = 0;  // recv(), including those that ended a wait slice without data
    long polls = 0;     // poll(): waits to connect, for TLS and for room to send
};

// Options from the suite's settings of section "EMail": "Timeout" (seconds, default 60;
// 0 or less means the default) and "TlsVerify" (default 1).
MailSocketOptions MailSocketOptionsFromSettings();

class CMailSocket {
public:
    explicit CMailSocket(MailSocketOptions options = {});
    ~CMailSocket();
    CMailSocket(const CMailSocket&) = delete;
    CMailSocket& operator=(const CMailSocket&) = delete;

    // Called between short slices of every wait (connect, handshake, send, receive) so
    // that the caller's window keeps working while the server is slow; when it returns
    // true the wait ends at once with kCancelled.
    void SetWaitHook(std::function<bool()> hook);

    // Resolves host and connects; with tls the TLS handshake follows at once.
    bool Connect(const std::string& host, int port, bool tls);
    // Turns the open plain connection into TLS, after the server accepted STARTTLS/STLS.
    bool StartTls();
    // moreFollows: more of the same message comes before the server is to answer, so the
    // system may hold these bytes back and send them together with the next (plain
    // connections; a TLS record goes out as it is).
    bool SendAll(std::string_view bytes, bool moreFollows = false);
    // One whole SMTP reply, CR LF included, every line of a multi-line reply.
    bool ReadSmtpReply(std::string* reply);
    // One line up to and including CR LF (a POP3 status reply).
    bool ReadLine(std::string* line);
    void Close();

    bool IsOpen() const;
    bool IsSecure() const;
    EMailSocketError LastError() const;
    // A short technical detail of the last error (for logs and the TLS message), UTF-8.
    const std::string& ErrorDetail() const;
    const MailSocketCalls& Calls() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace velo::mail
