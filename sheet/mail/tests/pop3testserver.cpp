#include "sheet/mail/tests/pop3testserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include "sheet/mail/tests/testcert.h"

namespace velo::mail::test {
namespace {

constexpr const char* kDovecot = "/usr/sbin/dovecot";
constexpr auto kStartLimit = std::chrono::seconds(15);
constexpr auto kStopLimit = std::chrono::seconds(10);

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// The accounts dovecot runs as. It refuses to run its login processes as root, so under
// root the package's own unprivileged users serve; otherwise everything runs as the caller.
struct RunAs {
    std::string loginUser, internalUser, internalGroup;
    uid_t mailUid = 0;
    gid_t mailGid = 0;
};

bool FindAccounts(RunAs* accounts, std::string* error) {
    if (::geteuid() != 0) {
        const passwd* me = ::getpwuid(::getuid());
        const group* myGroup = ::getgrgid(::getgid());
        if (me == nullptr || myGroup == nullptr) {
            *error = "the current user has no name";
            return false;
        }
        *accounts = {me->pw_name, me->pw_name, myGroup->gr_name, me->pw_uid, myGroup->gr_gid};
        return true;
    }
    const passwd* login = ::getpwnam("dovenull");
    const passwd* internal = ::getpwnam("dovecot");
    const group* internalGroup = ::getgrnam("dovecot");
    if (login == nullptr || internal == nullptr || internalGroup == nullptr) {
        *error = "the users dovenull and dovecot of the dovecot package are missing";
        return false;
    }
    *accounts = {"dovenull", "dovecot", "dovecot", internal->pw_uid, internalGroup->gr_gid};
    return true;
}

}  // namespace

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

CPop3TestServer::CPop3TestServer(const CTestCertificate& certificate, const std::string& user,
                                 const std::string& password) {
    if (!certificate.Error().empty()) {
        m_error = "no test certificate: " + certificate.Error();
        return;
    }
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) base = "/tmp";
    std::string pattern = (base / "velopop3-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        m_error = "cannot make a temporary folder from " + pattern;
        return;
    }
    m_folder = pattern;
    m_port = FreeLoopbackPort();
    m_tlsPort = FreeLoopbackPort();
    if (m_port == 0 || m_tlsPort == 0 || m_port == m_tlsPort) {
        m_error = "no free loopback ports";
        return;
    }
    if (WriteConfiguration(certificate, user, password) && Start()) WaitUntilListening();
}

CPop3TestServer::~CPop3TestServer() {
    Stop();
    if (m_folder.empty()) return;
    std::error_code error;
    std::filesystem::remove_all(m_folder, error);
}

std::string CPop3TestServer::Log() const {
    return ReadWholeFile(m_folder + "/dovecot.log") + ReadWholeFile(m_folder + "/output.log");
}

bool CPop3TestServer::WriteConfiguration(const CTestCertificate& certificate,
                                         const std::string& user, const std::string& password) {
    RunAs accounts;
    if (!FindAccounts(&accounts, &m_error)) return false;
    const std::string home = m_folder + "/home";
    std::filesystem::create_directories(home + "/" + user);
    std::filesystem::create_directories(m_folder + "/run");
    std::filesystem::create_directories(m_folder + "/state");
    // The mail processes run as the mail user and must reach the account's home.
    ::chmod(m_folder.c_str(), 0711);
    if (::geteuid() == 0 &&
        (::chown(home.c_str(), accounts.mailUid, accounts.mailGid) != 0 ||
         ::chown((home + "/" + user).c_str(), accounts.mailUid, accounts.mailGid) != 0)) {
        m_error = "cannot hand the mail folder to the mail user";
        return false;
    }
    {
        std::ofstream users(m_folder + "/users");
        users << user << ":{PLAIN}" << password << "\n";
    }
    std::ofstream conf(m_folder + "/dovecot.conf");
    conf << "base_dir = " << m_folder << "/run\n"
         << "state_dir = " << m_folder << "/state\n"
         << "log_path = " << m_folder << "/dovecot.log\n"
         << "instance_name = velopop3-" << m_port << "\n"
         << "protocols = pop3\n"
         << "listen = 127.0.0.1\n"
         << "ssl = yes\n"
         << "ssl_cert = <" << certificate.CertFile() << "\n"
         << "ssl_key = <" << certificate.KeyFile() << "\n"
         << "disable_plaintext_auth = no\n"
         << "auth_mechanisms = plain apop\n"
         << "auth_failure_delay = 0\n"
         << "first_valid_uid = 1\n"
         << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u "
         << m_folder << "/users\n}\n"
         << "userdb {\n  driver = static\n  args = uid=" << accounts.mailUid
         << " gid=" << accounts.mailGid << " home=" << home << "/%u\n}\n"
         << "mail_location = maildir:~/Maildir\n"
         << "default_login_user = " << accounts.loginUser << "\n"
         << "default_internal_user = " << accounts.internalUser << "\n"
         << "default_internal_group = " << accounts.internalGroup << "\n"
         // Only root may chroot; the tests need no jail for these processes.
         << "service anvil {\n  chroot =\n}\n"
         << "service pop3-login {\n  chroot =\n"
         << "  inet_listener pop3 {\n    address = 127.0.0.1\n    port = " << m_port << "\n  }\n"
         << "  inet_listener pop3s {\n    address = 127.0.0.1\n    port = " << m_tlsPort
         << "\n    ssl = yes\n  }\n}\n";
    if (!conf) {
        m_error = "cannot write the dovecot configuration in " + m_folder;
        return false;
    }
    return true;
}

bool CPop3TestServer::Start() {
    const std::string output = m_folder + "/output.log";
    const std::string config = m_folder + "/dovecot.conf";
    m_pid = ::fork();
    if (m_pid < 0) {
        m_error = "cannot start dovecot";
        return false;
    }
    if (m_pid == 0) {
        // Output to a file: an inherited pipe would keep the test runner waiting.
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        if (in >= 0) ::dup2(in, 0);
        ::execl(kDovecot, kDovecot, "-F", "-c", config.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return true;
}

bool CPop3TestServer::WaitUntilListening() {
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_error = "dovecot ended at its start:\n" + Log();
            return false;
        }
        if (Accepts(m_port) && Accepts(m_tlsPort)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_error = "dovecot did not listen in time:\n" + Log();
    return false;
}

void CPop3TestServer::Stop() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopLimit;
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_pid = -1;
}

}  // namespace velo::mail::test
