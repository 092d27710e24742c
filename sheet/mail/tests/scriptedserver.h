// A mail server of the tests' own making, for the error paths real servers will not take:
// it listens on a free loopback port, takes one connection, and plays a fixed list of
// steps - read the client's next line and check its start, then answer, answer in two
// sends, answer after a delay, fall silent, or drop the connection. It records every line the
// client sent, also after the last step, so a test can tell what was and was not sent. Given a
// certificate it can also turn the connection into TLS at a step, to stand for STARTTLS or a TLS
// port.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;
struct ssl_st;

namespace velo::mail::test {

struct ScriptStep {
    enum class EAction {
        kReply,       // send `reply` in one piece
        kSplitReply,  // send `reply` in two pieces with a pause between them
        kSlowReply,   // send `reply` after `delayMs`
        kStall,       // send nothing more and keep the connection open until the end
        kDrop,        // close the connection
        kStartTls,    // send `reply` (if any), then take a TLS handshake as the server
    };

    // Read one line from the client first (false: act at once, as for a greeting).
    bool readLine = false;
    // The line read must start with this; an empty prefix accepts any line.
    std::string expect;
    // Read lines up to a line that is only "." (a mail's data) instead of one line.
    bool readMessage = false;
    EAction action = EAction::kReply;
    std::string reply;
    int delayMs = 0;  // kSlowReply only

    static ScriptStep Send(std::string reply) {
        return {false, {}, false, EAction::kReply, std::move(reply), 0};
    }
    static ScriptStep SendSplit(std::string reply) {
        return {false, {}, false, EAction::kSplitReply, std::move(reply), 0};
    }
    static ScriptStep Expect(std::string prefix, std::string reply) {
        return {true, std::move(prefix), false, EAction::kReply, std::move(reply), 0};
    }
    static ScriptStep ExpectSplit(std::string prefix, std::string reply) {
        return {true, std::move(prefix), false, EAction::kSplitReply, std::move(reply), 0};
    }
    // Reads a line starting with `prefix` and answers `reply` only `delayMs` later.
    static ScriptStep ExpectSlow(std::string prefix, std::string reply, int delayMs) {
        return {true, std::move(prefix), false, EAction::kSlowReply, std::move(reply), delayMs};
    }
    static ScriptStep ExpectMessage(std::string reply) {
        return {true, {}, true, EAction::kReply, std::move(reply), 0};
    }
    // Reads a line when `prefix` is given (not null), answers `reply`, then goes over to TLS.
    static ScriptStep StartTls(const char* prefix = nullptr, std::string reply = {}) {
        return {prefix != nullptr,  prefix ? prefix : "", false,
                EAction::kStartTls, std::move(reply),     0};
    }
    // Reads a line when `prefix` is given (not null), then stalls.
    static ScriptStep Stall(const char* prefix = nullptr) {
        return {prefix != nullptr, prefix ? prefix : "", false, EAction::kStall, {}, 0};
    }
    // Reads a line when `prefix` is given (not null), then drops the connection.
    static ScriptStep Drop(const char* prefix = nullptr) {
        return {prefix != nullptr, prefix ? prefix : "", false, EAction::kDrop, {}, 0};
    }
};

class CScriptedServer {
public:
    // `certFile` and `keyFile` (PEM) are needed only by a script with a kStartTls step.
    explicit CScriptedServer(std::vector<ScriptStep> steps, std::string certFile = {},
                             std::string keyFile = {});
    // Stops a stalled script and waits for the server thread.
    ~CScriptedServer();
    CScriptedServer(const CScriptedServer&) = delete;
    CScriptedServer& operator=(const CScriptedServer&) = delete;

    // The port it listens on (127.0.0.1); 0 when it could not listen (see Error()).
    int Port() const { return m_port; }

    // Waits until the client has closed the connection (or the server dropped it) and
    // the thread is done, at most `milliseconds`; true when it is done.
    bool WaitUntilFinished(int milliseconds = 5000);

    // Lines the client sent, without their line ends, in order.
    std::vector<std::string> Received() const;
    // Empty while all went to plan; else what did not (a line that did not match its
    // step's prefix, a client that never came, a failed listen).
    std::string Error() const;
    // True once every step has been played (a final stall or drop included).
    bool AllStepsPlayed() const { return m_stepsPlayed.load(); }

private:
    void Run();
    // Waits at most waitMs (-1: until stopped) for each piece of the line.
    bool ReadClientLine(int fd, std::string* line, int waitMs);
    bool SendBytes(int fd, const std::string& bytes);
    bool PlayStep(int fd, const ScriptStep& step);
    bool WaitReadable(int fd, int milliseconds);
    bool AcceptTls(int fd);
    void SetError(const std::string& text);

    std::vector<ScriptStep> m_steps;
    std::string m_certFile;
    std::string m_keyFile;
    ssl_ctx_st* m_tlsContext = nullptr;
    ssl_st* m_tls = nullptr;
    int m_listenFd = -1;
    int m_port = 0;
    int m_stopPipe[2] = {-1, -1};
    std::string m_buffer;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_received;
    std::string m_error;
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_stepsPlayed{false};
    std::thread m_thread;
};

}  // namespace velo::mail::test
