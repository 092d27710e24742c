// Throw-away certificates for the tests' TLS servers: a certificate authority of its own and
// a server certificate it signed, made with the `openssl` command into a fresh temporary
// folder that goes with the object. Clients trust the authority through its file (the
// system's trust store knows nothing of it), so a test can check both the accepted and the
// refused certificate.
#pragma once

#include <string>
#include <vector>

namespace velo::mail::test {

class CTestCertificate {
public:
    // `subjectAltNames` in openssl's form; the default covers "localhost" and 127.0.0.1.
    explicit CTestCertificate(const std::string& subjectAltNames = "DNS:localhost,IP:127.0.0.1");
    ~CTestCertificate();
    CTestCertificate(const CTestCertificate&) = delete;
    CTestCertificate& operator=(const CTestCertificate&) = delete;

    // Empty when every file is ready; else what failed (with openssl's output).
    const std::string& Error() const { return m_error; }
    const std::string& Folder() const { return m_folder; }
    std::string CaFile() const { return m_folder + "/ca.pem"; }
    std::string CertFile() const { return m_folder + "/server.pem"; }
    std::string KeyFile() const { return m_folder + "/server.key"; }

private:
    bool RunOpenSsl(const std::vector<std::string>& args);

    std::string m_folder;
    std::string m_error;
};

}  // namespace velo::mail::test
