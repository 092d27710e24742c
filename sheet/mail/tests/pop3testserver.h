// A real POP3 server for the tests: Debian's dovecot, run as a private instance with a
// configuration of its own in a temporary folder - one account in a plaintext password
// file (so APOP works), a plain listener and a TLS listener on free loopback ports, and the
// given test certificate. Its output goes to files in that folder, never to the test
// runner's pipe, and it is stopped by its own pid when the object goes.
#pragma once

#include <sys/types.h>

#include <string>

namespace velo::mail::test {

class CTestCertificate;

class CPop3TestServer {
public:
    // Starts the server and waits until it accepts connections. `user` and `password` may
    // not hold ':' or line breaks.
    CPop3TestServer(const CTestCertificate& certificate, const std::string& user,
                    const std::string& password);
    ~CPop3TestServer();
    CPop3TestServer(const CPop3TestServer&) = delete;
    CPop3TestServer& operator=(const CPop3TestServer&) = delete;

    // Empty when the server runs; else why it does not (with its log).
    const std::string& Error() const { return m_error; }
    int Port() const { return m_port; }     // POP3, STLS offered
    int TlsPort() const { return m_tlsPort; }  // POP3 over TLS from the start
    // The server's log so far (for a failing test's message).
    std::string Log() const;

private:
    bool WriteConfiguration(const CTestCertificate& certificate, const std::string& user,
                            const std::string& password);
    bool Start();
    bool WaitUntilListening();
    void Stop();

    std::string m_folder;
    std::string m_error;
    int m_port = 0;
    int m_tlsPort = 0;
    pid_t m_pid = -1;
};

// A loopback port that was free a moment ago (bind port 0, read it, close).
int FreeLoopbackPort();

}  // namespace velo::mail::test
