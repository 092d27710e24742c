// The real SMTP peer of the mail tests and the mail benchmark: Debian's aiosmtpd, run by
// /usr/bin/python3 from smtpserver.py on a free loopback port, with its output going to a
// file in the work folder (so it cannot hold the test runner's pipe open) and stopped by
// its own pid. Also runs the small Python helpers beside it, such as the standard-library
// decoding of a received message.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace velo::mail::test {

// Path of a helper script kept beside the tests ("smtpserver.py").
std::string MailTestScript(const char* name);

// Runs /usr/bin/python3 with `args`; its standard output goes to `outputPath`, standard
// error to `outputPath` + ".err". Returns the exit status, or -1 when it could not run or
// did not end within `timeoutSeconds` (it is killed then).
int RunPython(const std::vector<std::string>& args, const std::string& outputPath,
              int timeoutSeconds = 120);

// Whole content of a file ("" when it cannot be read).
std::string ReadWholeFile(const std::string& path);

struct SmtpTestServerOptions {
    enum class EMode { kPlain, kStartTls, kTls };
    EMode mode = EMode::kPlain;
    // AUTH LOGIN accepting exactly this pair when user is not empty.
    std::string user, password;
    // Server certificate and key for kStartTls and kTls.
    std::string certFile, keyFile;
    // Count messages only, write nothing (benchmarks).
    bool countOnly = false;
    // Recipients refused as unknown users (malformed addresses are refused in any case).
    std::vector<std::string> refuse;
};

class CSmtpTestServer final {
public:
    // Files of the server (port file, log, received messages) go under workFolder.
    explicit CSmtpTestServer(std::string workFolder);
    ~CSmtpTestServer();
    CSmtpTestServer(const CSmtpTestServer&) = delete;
    CSmtpTestServer& operator=(const CSmtpTestServer&) = delete;

    // Starts the server and waits until it listens; false with Error() set otherwise.
    bool Start(const SmtpTestServerOptions& options);
    // Stops the server by its pid and waits for it; harmless when not running.
    void Stop();

    int Port() const { return m_port; }
    const std::string& Error() const { return m_error; }
    // The server's own output, for failure messages.
    std::string Log() const;
    // Received messages, oldest first: paths of the raw .eml files.
    std::vector<std::string> ReceivedMessages() const;
    // The envelope saved beside a received message (JSON with mail_from and rcpt_tos).
    std::string EnvelopeOf(const std::string& emlPath) const;

private:
    std::string m_folder;
    std::string m_maildir;
    std::string m_error;
    pid_t m_pid = -1;
    int m_port = 0;
};

// Parses a received message with Python's email package (decodemail.py) and returns its
// JSON text (UTF-8): subject, from, to, cc, date, message_id, body, defects. "" and
// `error` set when the script failed.
std::string DecodeWithPython(const std::string& emlPath, const std::string& workFolder,
                             std::string* error);

}  // namespace velo::mail::test
