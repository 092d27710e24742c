#include "sheet/mail/tests/scriptedserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace velo::mail::test {
namespace {

// How long the server waits for the client's next line before it calls the script failed;
// long enough for a slow test machine, short enough that a broken client cannot hang a test.
constexpr int kClientWaitMs = 10000;
constexpr int kSplitPauseMs = 150;

}  // namespace

CScriptedServer::CScriptedServer(std::vector<ScriptStep> steps, std::string certFile,
                                 std::string keyFile)
    : m_steps(std::move(steps)), m_certFile(std::move(certFile)), m_keyFile(std::move(keyFile)) {
    if (::pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        m_error = "pipe: " + std::string(std::strerror(errno));
        m_finished = true;
        return;
    }
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (m_listenFd < 0 ||
        ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenFd, 1) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        m_error = "listen: " + std::string(std::strerror(errno));
        m_finished = true;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread(&CScriptedServer::Run, this);
}

CScriptedServer::~CScriptedServer() {
    if (m_stopPipe[1] >= 0) {
        const char stop = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_stopPipe[1], &stop, 1);
    }
    if (m_thread.joinable()) m_thread.join();
    if (m_tls != nullptr) SSL_free(m_tls);
    if (m_tlsContext != nullptr) SSL_CTX_free(m_tlsContext);
    for (int fd : {m_listenFd, m_stopPipe[0], m_stopPipe[1]})
        if (fd >= 0) ::close(fd);
}

bool CScriptedServer::WaitUntilFinished(int milliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!m_finished.load()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::vector<std::string> CScriptedServer::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::string CScriptedServer::Error() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

void CScriptedServer::SetError(const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (m_error.empty()) m_error = text;
}

// Waits for `fd` to become readable, or for the stop signal; false on stop or time-out.
bool CScriptedServer::WaitReadable(int fd, int milliseconds) {
    pollfd p[2] = {{fd, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
    for (;;) {
        const int n = ::poll(p, 2, milliseconds);
        if (n < 0 && errno == EINTR) continue;
        return n > 0 && (p[1].revents & POLLIN) == 0 && p[0].revents != 0;
    }
}

bool CScriptedServer::ReadClientLine(int fd, std::string* line, int waitMs) {
    for (;;) {
        const std::size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            line->assign(m_buffer, 0, end);
            m_buffer.erase(0, end + 1);
            if (!line->empty() && line->back() == '\r') line->pop_back();
            std::lock_guard lock(m_mutex);
            m_received.push_back(*line);
            return true;
        }
        const bool buffered = m_tls != nullptr && SSL_pending(m_tls) > 0;
        if (!buffered && !WaitReadable(fd, waitMs)) return false;
        char buf[4096];
        const ssize_t n = m_tls != nullptr ? SSL_read(m_tls, buf, sizeof buf)
                                           : ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        m_buffer.append(buf, static_cast<std::size_t>(n));
    }
}

bool CScriptedServer::SendBytes(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            m_tls != nullptr
                ? SSL_write(m_tls, bytes.data() + sent, static_cast<int>(bytes.size() - sent))
                : ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool CScriptedServer::PlayStep(int fd, const ScriptStep& step) {
    if (step.readLine) {
        std::string line;
        if (!ReadClientLine(fd, &line, kClientWaitMs)) {
            SetError("the client sent no line where \"" + step.expect + "\" was expected");
            return false;
        }
        if (line.compare(0, step.expect.size(), step.expect) != 0) {
            SetError("expected \"" + step.expect + "\", received \"" + line + "\"");
            return false;
        }
        while (step.readMessage && line != ".") {
            if (!ReadClientLine(fd, &line, kClientWaitMs)) {
                SetError("the mail data ended without its final \".\"");
                return false;
            }
        }
    }
    switch (step.action) {
        case ScriptStep::EAction::kReply: return SendBytes(fd, step.reply);
        case ScriptStep::EAction::kSplitReply: {
            const std::size_t half = step.reply.size() / 2;
            if (!SendBytes(fd, step.reply.substr(0, half))) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(kSplitPauseMs));
            return SendBytes(fd, step.reply.substr(half));
        }
        case ScriptStep::EAction::kSlowReply: {
            // The delay ends early only when the test is over.
            pollfd stop{m_stopPipe[0], POLLIN, 0};
            if (::poll(&stop, 1, step.delayMs) != 0) return false;
            return SendBytes(fd, step.reply);
        }
        case ScriptStep::EAction::kStall: {
            m_stepsPlayed = true;
            // Silent until the test ends, but still take note of what the client sends.
            std::string line;
            while (ReadClientLine(fd, &line, -1)) {
            }
            return false;
        }
        case ScriptStep::EAction::kDrop: m_stepsPlayed = true; return false;
        case ScriptStep::EAction::kStartTls: return SendBytes(fd, step.reply) && AcceptTls(fd);
    }
    return false;
}

bool CScriptedServer::AcceptTls(int fd) {
    if (!m_buffer.empty()) {
        SetError("the client sent plain text before the TLS handshake");
        return false;
    }
    m_tlsContext = SSL_CTX_new(TLS_server_method());
    if (m_tlsContext == nullptr ||
        SSL_CTX_use_certificate_chain_file(m_tlsContext, m_certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(m_tlsContext, m_keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        SetError("the server cannot load its certificate " + m_certFile);
        return false;
    }
    m_tls = SSL_new(m_tlsContext);
    SSL_set_fd(m_tls, fd);
    if (SSL_accept(m_tls) != 1) {
        // A client that refuses the certificate ends here; the test reads that from the
        // client's side, so this is no script error.
        ERR_clear_error();
        return false;
    }
    return true;
}

void CScriptedServer::Run() {
    // OpenSSL writes with write(), which raises SIGPIPE on a connection the client closed;
    // blocked here it stays with this thread instead of ending the test program.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    if (!WaitReadable(m_listenFd, kClientWaitMs)) {
        SetError("no client connected");
        m_finished = true;
        return;
    }
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        SetError("accept: " + std::string(std::strerror(errno)));
        m_finished = true;
        return;
    }
    // A TLS read or handshake blocks; this bounds it should the client never answer.
    const timeval limit{kClientWaitMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    bool going = true;
    for (const ScriptStep& step : m_steps) {
        going = PlayStep(fd, step);
        if (!going) break;
    }
    if (going) {
        m_stepsPlayed = true;
        // Record what else arrives until the client closes.
        std::string line;
        while (ReadClientLine(fd, &line, kClientWaitMs)) {
        }
    }
    if (m_tls != nullptr) SSL_shutdown(m_tls);
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
    m_finished = true;
}

}  // namespace velo::mail::test
