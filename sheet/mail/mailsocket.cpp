// The mail connection over POSIX sockets and OpenSSL. One time-out governs connect, TLS
// handshake, send and receive alike: the time-out is the longest the server may stay
// silent (or refuse to take data) before the operation gives up, and a wait hook has its
// turn between short slices of every wait. Bytes received beyond a reply stay in a buffer
// for the next read, which is what keeps a pipelining or packet-splitting server in step
// with the dialogue.
//
// A message costs one write per command and one read per reply: a plain connection reads
// a reply with one recv() that waits for it (the descriptor is blocking once connected,
// and SO_RCVTIMEO ends a recv() after one slice), where a non-blocking socket would need
// a poll() before every read. Everything else (connecting, sending, TLS) makes
// non-blocking calls and waits through poll() only when the socket is not ready.
#include "sheet/mail/mailsocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

#include "suite/comdlg/velosubtools.h"

namespace velo::mail {
namespace {

constexpr int kDefaultTimeoutSeconds = 60;
// No SMTP or POP3 status reply comes anywhere near this; more means a broken or hostile
// server, and reading on would let it fill memory.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;
constexpr std::size_t kReceiveChunk = 4096;
// How long one slice of a wait lasts before the time-out and the wait hook have their turn:
// short enough that a window repaints and answers a click without a noticeable lag.
constexpr int kWaitSliceMs = 50;

using Clock = std::chrono::steady_clock;

std::string OpenSslErrorText() {
    std::string text;
    while (unsigned long code = ERR_get_error()) {
        char buf[256];
        ERR_error_string_n(code, buf, sizeof buf);
        if (!text.empty()) text += "; ";
        text += buf;
    }
    return text;
}

// What the TLS layer's socket functions work on.
struct TlsLine {
    int fd = -1;
    MailSocketCalls* calls = nullptr;
};

TlsLine& LineOf(BIO* bio) { return *static_cast<TlsLine*>(BIO_get_data(bio)); }

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE when the server has
// gone; this one sends with MSG_NOSIGNAL so a dropped connection is an error, not a kill.
// Both calls return at once (MSG_DONTWAIT); OpenSSL then asks for a wait, which goes
// through poll() with the time-out and the wait hook.
int BioWrite(BIO* bio, const char* data, int length) {
    TlsLine& line = LineOf(bio);
    BIO_clear_retry_flags(bio);
    ++line.calls->sends;
    const ssize_t n =
        ::send(line.fd, data, static_cast<size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_write(bio);
    return static_cast<int>(n);
}

int BioRead(BIO* bio, char* data, int length) {
    TlsLine& line = LineOf(bio);
    BIO_clear_retry_flags(bio);
    ++line.calls->receives;
    const ssize_t n = ::recv(line.fd, data, static_cast<size_t>(length), MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_read(bio);
    return static_cast<int>(n);
}

long BioControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

BIO_METHOD* NoSignalSocketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "mail socket");
        if (m != nullptr) {
            BIO_meth_set_write(m, BioWrite);
            BIO_meth_set_read(m, BioRead);
            BIO_meth_set_ctrl(m, BioControl);
        }
        return m;
    }();
    return method;
}

bool IsIpAddressLiteral(const std::string& host) {
    unsigned char buf[sizeof(struct in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

}  // namespace

MailSocketOptions MailSocketOptionsFromSettings() {
    MailSocketOptions options;
    const int timeout =
        CVeloSubTools::GetGlobalSettingInt("EMail", "Timeout", kDefaultTimeoutSeconds);
    options.timeoutSeconds = timeout > 0 ? timeout : kDefaultTimeoutSeconds;
    options.verifyPeer = CVeloSubTools::GetGlobalSettingInt("EMail", "TlsVerify", 1) != 0;
    return options;
}

struct CMailSocket::Impl {
    MailSocketOptions options;
    int fd = -1;
    std::string host;
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    TlsLine tlsLine;
    std::string pending;  // received, not yet handed out
    std::function<bool()> waitHook;
    EMailSocketError error = EMailSocketError::kNone;
    std::string detail;
    MailSocketCalls calls;

    int TimeoutMs() const {
        const int seconds = options.timeoutSeconds > 0 ? options.timeoutSeconds
                                                       : kDefaultTimeoutSeconds;
        return seconds * 1000;
    }

    bool Fail(EMailSocketError kind, std::string text) {
        error = kind;
        detail = std::move(text);
        return false;
    }

    // Waits until the socket is ready for `events`, at most the time-out. A signal does not
    // lengthen the wait. With a wait hook the wait goes in slices, the hook called after
    // each one that passed without the socket getting ready.
    bool WaitFor(short events) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs());
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - Clock::now());
            if (left.count() <= 0) return Fail(EMailSocketError::kTimedOut, "no answer in time");
            const long long slice =
                waitHook ? std::min<long long>(left.count(), kWaitSliceMs) : left.count();
            pollfd p{fd, events, 0};
            ++calls.polls;
            const int n = ::poll(&p, 1, static_cast<int>(slice));
            if (n > 0) return true;  // errors and hang-ups show in the following call
            if (n < 0 && errno != EINTR)
                return Fail(EMailSocketError::kSocketError, std::strerror(errno));
            if (waitHook && waitHook()) return Fail(EMailSocketError::kCancelled, "cancelled");
        }
    }

    // Connects one resolved address; leaves fd open on success.
    bool ConnectAddress(const addrinfo& address) {
        fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                      address.ai_protocol);
        if (fd < 0) return Fail(EMailSocketError::kConnectFailed, std::strerror(errno));
        if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
            if (errno != EINPROGRESS) return Fail(EMailSocketError::kConnectFailed, std::strerror(errno));
            if (!WaitFor(POLLOUT)) return false;
            int status = 0;
            socklen_t length = sizeof status;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &status, &length) != 0) status = errno;
            if (status != 0) return Fail(EMailSocketError::kConnectFailed, std::strerror(status));
        }
        // A mail may go out as a header and then body pieces, each answered only at the end;
        // without this, Nagle's rule and the server's delayed acknowledgement hold every
        // small send back for tens of milliseconds.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return ReadInSlices();
    }

    // Makes the connected descriptor blocking, with every recv() ending after one wait slice
    // at the latest; see the top of the file. Without the receive time-out a silent server
    // would hold a read for ever, so failing to set it fails the connection.
    bool ReadInSlices() {
        const timeval slice{0, kWaitSliceMs * 1000};
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice) != 0)
            return Fail(EMailSocketError::kConnectFailed, std::strerror(errno));
        return true;
    }

    // After a slice of a receive that passed without data: false with the error set when
    // the time-out is over or the wait hook asks to stop, else true to wait on.
    bool MayWaitOn(Clock::time_point deadline) {
        if (Clock::now() >= deadline) return Fail(EMailSocketError::kTimedOut, "no answer in time");
        if (waitHook && waitHook()) return Fail(EMailSocketError::kCancelled, "cancelled");
        return true;
    }

    void CloseDescriptor() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

    void FreeTls() {
        if (ssl != nullptr) SSL_free(ssl);
        ssl = nullptr;
        if (context != nullptr) SSL_CTX_free(context);
        context = nullptr;
    }

    bool MakeTlsContext() {
        ERR_clear_error();
        context = SSL_CTX_new(TLS_client_method());
        if (context == nullptr) return Fail(EMailSocketError::kTlsFailed, OpenSslErrorText());
        SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
        // The dialogue itself says where a mail ends; a server that drops TCP without a TLS
        // close is just a closed connection.
        SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
        if (options.verifyPeer) {
            SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
            SSL_CTX_set_default_verify_paths(context);
            if (!options.caFile.empty() &&
                SSL_CTX_load_verify_locations(context, options.caFile.c_str(), nullptr) != 1)
                return Fail(EMailSocketError::kTlsFailed,
                            "cannot read the certificate file " + options.caFile);
        } else {
            SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
        }
        return true;
    }

    bool Handshake() {
        if (!MakeTlsContext()) return false;
        ssl = SSL_new(context);
        BIO* bio = NoSignalSocketMethod() ? BIO_new(NoSignalSocketMethod()) : nullptr;
        if (ssl == nullptr || bio == nullptr) {
            if (bio != nullptr) BIO_free(bio);
            return Fail(EMailSocketError::kTlsFailed, OpenSslErrorText());
        }
        tlsLine = {fd, &calls};
        BIO_set_data(bio, &tlsLine);
        BIO_set_init(bio, 1);
        SSL_set_bio(ssl, bio, bio);
        // Servers choose their certificate by the name; an address is not a name to send.
        if (!IsIpAddressLiteral(host)) SSL_set_tlsext_host_name(ssl, host.c_str());
        if (options.verifyPeer) SSL_set1_host(ssl, host.c_str());
        for (;;) {
            ERR_clear_error();
            const int result = SSL_connect(ssl);
            if (result == 1) return true;
            const int reason = SSL_get_error(ssl, result);
            if (reason == SSL_ERROR_WANT_READ) {
                if (!WaitFor(POLLIN)) return false;
            } else if (reason == SSL_ERROR_WANT_WRITE) {
                if (!WaitFor(POLLOUT)) return false;
            } else {
                return Fail(EMailSocketError::kTlsFailed, HandshakeFailureText());
            }
        }
    }

    std::string HandshakeFailureText() {
        const long verify = SSL_get_verify_result(ssl);
        std::string text = OpenSslErrorText();
        if (verify != X509_V_OK) text = X509_verify_cert_error_string(verify);
        return text.empty() ? "TLS handshake failed" : text;
    }

    // Appends whatever arrives next to `pending`; false with the error set otherwise.
    bool ReceiveMore() {
        char buf[kReceiveChunk];
        if (ssl == nullptr) {
            // A signal ends a recv() early; the deadline stays where it was.
            const auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs());
            for (;;) {
                ++calls.receives;
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n > 0) {
                    pending.append(buf, static_cast<std::size_t>(n));
                    return true;
                }
                if (n == 0) return Fail(EMailSocketError::kClosed, "the server closed the connection");
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                    if (!MayWaitOn(deadline)) return false;
                    continue;
                }
                if (errno == ECONNRESET)
                    return Fail(EMailSocketError::kClosed, "the server reset the connection");
                return Fail(EMailSocketError::kSocketError, std::strerror(errno));
            }
        }
        for (;;) {
            ERR_clear_error();
            std::size_t n = 0;
            const int result = SSL_read_ex(ssl, buf, sizeof buf, &n);
            if (result == 1) {
                pending.append(buf, n);
                return true;
            }
            if (!AwaitTls(SSL_get_error(ssl, result))) return false;
        }
    }

    // After an SSL call that did not complete: waits when OpenSSL asks for it, else sets
    // the error and returns false.
    bool AwaitTls(int reason) {
        switch (reason) {
            case SSL_ERROR_WANT_READ: return WaitFor(POLLIN);
            case SSL_ERROR_WANT_WRITE: return WaitFor(POLLOUT);
            case SSL_ERROR_ZERO_RETURN:
                return Fail(EMailSocketError::kClosed, "the server closed the connection");
            case SSL_ERROR_SYSCALL:
                if (errno == 0 || errno == ECONNRESET || errno == EPIPE)
                    return Fail(EMailSocketError::kClosed, "the server closed the connection");
                return Fail(EMailSocketError::kSocketError, std::strerror(errno));
            default: return Fail(EMailSocketError::kTlsFailed, OpenSslErrorText());
        }
    }

    bool SendPlain(std::string_view bytes, bool moreFollows) {
        const int flags = MSG_NOSIGNAL | MSG_DONTWAIT | (moreFollows ? MSG_MORE : 0);
        // The socket is nearly always writable: send first and wait only when it is full.
        while (!bytes.empty()) {
            ++calls.sends;
            const ssize_t n = ::send(fd, bytes.data(), bytes.size(), flags);
            if (n >= 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!WaitFor(POLLOUT)) return false;
                continue;
            }
            if (errno == EPIPE || errno == ECONNRESET)
                return Fail(EMailSocketError::kClosed, "the server closed the connection");
            return Fail(EMailSocketError::kSocketError, std::strerror(errno));
        }
        return true;
    }

    bool SendTls(std::string_view bytes) {
        while (!bytes.empty()) {
            ERR_clear_error();
            std::size_t n = 0;
            const int result = SSL_write_ex(ssl, bytes.data(), bytes.size(), &n);
            if (result == 1) {
                bytes.remove_prefix(n);
                continue;
            }
            if (!AwaitTls(SSL_get_error(ssl, result))) return false;
        }
        return true;
    }

    // Takes one line (through "\n") out of `pending`, receiving until there is one.
    bool TakeLine(std::string* line, std::size_t alreadyTaken) {
        std::size_t searchFrom = 0;
        for (;;) {
            const std::size_t end = pending.find('\n', searchFrom);
            if (end != std::string::npos) {
                line->assign(pending, 0, end + 1);
                pending.erase(0, end + 1);
                return true;
            }
            searchFrom = pending.size();
            if (alreadyTaken + pending.size() > kMaxReplyBytes)
                return Fail(EMailSocketError::kSocketError, "the server's reply is too long");
            if (!ReceiveMore()) return false;
        }
    }
};

CMailSocket::CMailSocket(MailSocketOptions options) : m_impl(std::make_unique<Impl>()) {
    m_impl->options = std::move(options);
}

CMailSocket::~CMailSocket() { Close(); }

void CMailSocket::SetWaitHook(std::function<bool()> hook) { m_impl->waitHook = std::move(hook); }

bool CMailSocket::Connect(const std::string& host, int port, bool tls) {
    Close();
    Impl& s = *m_impl;
    s.error = EMailSocketError::kNone;
    s.detail.clear();
    s.calls = {};
    s.host = host;
    if (host.empty() || port <= 0 || port > 65535)
        return s.Fail(EMailSocketError::kConnectFailed, "no server or no valid port");

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    const int resolved = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses);
    if (resolved != 0) return s.Fail(EMailSocketError::kConnectFailed, gai_strerror(resolved));

    // Each address gets the whole time-out: "localhost" often resolves to ::1 first, which
    // refuses at once when the server listens on IPv4 only.
    bool connected = false;
    for (addrinfo* a = addresses; a != nullptr && !connected; a = a->ai_next) {
        connected = s.ConnectAddress(*a);
        if (!connected) s.CloseDescriptor();
    }
    ::freeaddrinfo(addresses);
    if (!connected) return false;
    s.error = EMailSocketError::kNone;
    s.detail.clear();
    if (tls && !s.Handshake()) {
        const EMailSocketError kind = s.error;
        const std::string detail = s.detail;
        Close();
        s.error = kind;
        s.detail = detail;
        return false;
    }
    return true;
}

bool CMailSocket::StartTls() {
    Impl& s = *m_impl;
    if (s.fd < 0) return s.Fail(EMailSocketError::kSocketError, "not connected");
    if (s.ssl != nullptr) return s.Fail(EMailSocketError::kTlsFailed, "already secured");
    // Anything that came after the server's go-ahead was sent in the clear and would be
    // taken as if it came through TLS: refuse it, and the connection with it.
    if (!s.pending.empty()) {
        Close();
        return s.Fail(EMailSocketError::kTlsFailed, "plain text received before the TLS start");
    }
    if (s.Handshake()) return true;
    const EMailSocketError kind = s.error;
    const std::string detail = s.detail;
    Close();
    s.error = kind;
    s.detail = detail;
    return false;
}

bool CMailSocket::SendAll(std::string_view bytes, bool moreFollows) {
    Impl& s = *m_impl;
    if (s.fd < 0) return s.Fail(EMailSocketError::kSocketError, "not connected");
    return s.ssl != nullptr ? s.SendTls(bytes) : s.SendPlain(bytes, moreFollows);
}

bool CMailSocket::ReadSmtpReply(std::string* reply) {
    Impl& s = *m_impl;
    reply->clear();
    if (s.fd < 0) return s.Fail(EMailSocketError::kSocketError, "not connected");
    std::string line;
    for (;;) {
        if (!s.TakeLine(&line, reply->size())) return false;
        reply->append(line);
        // "250-..." continues the reply; "250 ...", a bare "250" or anything malformed
        // ends it, so a confused server cannot keep us reading.
        if (line.size() < 4 || line[3] != '-') return true;
        if (reply->size() > kMaxReplyBytes)
            return s.Fail(EMailSocketError::kSocketError, "the server's reply is too long");
    }
}

bool CMailSocket::ReadLine(std::string* line) {
    Impl& s = *m_impl;
    line->clear();
    if (s.fd < 0) return s.Fail(EMailSocketError::kSocketError, "not connected");
    return s.TakeLine(line, 0);
}

void CMailSocket::Close() {
    Impl& s = *m_impl;
    if (s.ssl != nullptr && s.fd >= 0) {
        ERR_clear_error();
        SSL_shutdown(s.ssl);  // one try at a polite close; the socket closes regardless
    }
    s.FreeTls();
    s.CloseDescriptor();
    s.pending.clear();
    ERR_clear_error();
}

bool CMailSocket::IsOpen() const { return m_impl->fd >= 0; }
bool CMailSocket::IsSecure() const { return m_impl->ssl != nullptr; }
EMailSocketError CMailSocket::LastError() const { return m_impl->error; }
const std::string& CMailSocket::ErrorDetail() const { return m_impl->detail; }
const MailSocketCalls& CMailSocket::Calls() const { return m_impl->calls; }

}  // namespace velo::mail
