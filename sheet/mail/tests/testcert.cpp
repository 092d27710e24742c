#include "sheet/mail/tests/testcert.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

namespace velo::mail::test {
namespace {

constexpr const char* kOpenSsl = "/usr/bin/openssl";

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

CTestCertificate::CTestCertificate(const std::string& subjectAltNames) {
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) base = "/tmp";
    std::string pattern = (base / "velocert-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        m_error = "cannot make a temporary folder from " + pattern;
        return;
    }
    m_folder = pattern;

    const std::string config = m_folder + "/openssl.cnf";
    {
        std::ofstream out(config);
        out << "[req]\n"
               "distinguished_name = dn\n"
               "prompt = no\n"
               "[dn]\n"
               "CN = Velo Test CA\n"
               "[ca_ext]\n"
               "basicConstraints = critical,CA:TRUE\n"
               "keyUsage = critical,keyCertSign,cRLSign\n"
               "subjectKeyIdentifier = hash\n"
               "[server_ext]\n"
               "basicConstraints = CA:FALSE\n"
               "keyUsage = critical,digitalSignature,keyEncipherment\n"
               "extendedKeyUsage = serverAuth\n"
               "subjectKeyIdentifier = hash\n"
               "authorityKeyIdentifier = keyid\n"
               "subjectAltName = "
            << subjectAltNames << "\n";
        if (!out) {
            m_error = "cannot write " + config;
            return;
        }
    }
    const std::vector<std::string> key = {"-newkey", "ec", "-pkeyopt",
                                          "ec_paramgen_curve:prime256v1", "-nodes"};
    std::vector<std::string> makeCa = {"req", "-x509", "-config", config, "-extensions", "ca_ext",
                                       "-days", "3", "-subj", "/CN=Velo Test CA", "-keyout",
                                       m_folder + "/ca.key", "-out", CaFile()};
    makeCa.insert(makeCa.end(), key.begin(), key.end());
    std::vector<std::string> makeRequest = {"req", "-new", "-config", config, "-subj",
                                            "/CN=localhost", "-keyout", KeyFile(), "-out",
                                            m_folder + "/server.csr"};
    makeRequest.insert(makeRequest.end(), key.begin(), key.end());
    const std::vector<std::string> sign = {
        "x509", "-req", "-in", m_folder + "/server.csr", "-CA", CaFile(), "-CAkey",
        m_folder + "/ca.key", "-CAcreateserial", "-days", "3", "-extfile", config,
        "-extensions", "server_ext", "-out", CertFile()};
    if (RunOpenSsl(makeCa) && RunOpenSsl(makeRequest)) RunOpenSsl(sign);
}

CTestCertificate::~CTestCertificate() {
    if (m_folder.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(m_folder, error);
}

// Runs openssl with its output in a log file of the folder, never through a shell.
bool CTestCertificate::RunOpenSsl(const std::vector<std::string>& args) {
    const std::string log = m_folder + "/openssl.log";
    const pid_t pid = ::fork();
    if (pid < 0) {
        m_error = "cannot start openssl";
        return false;
    }
    if (pid == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        if (in >= 0) ::dup2(in, 0);
        std::vector<char*> argv{const_cast<char*>(kOpenSsl)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(kOpenSsl, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    m_error = "openssl " + args.front() + " failed: " + ReadWholeFile(log);
    return false;
}

}  // namespace velo::mail::test
