// Starting, stopping and reading the loopback aiosmtpd server of the mail tests.
#include "sheet/mail/tests/smtptestserver.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace velo::mail::test {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr int kStartSeconds = 20;

// Starts python3 with args, standard output and error to the two files.
pid_t SpawnPython(const std::vector<std::string>& args, const std::string& outPath,
                  const std::string& errPath) {
    std::vector<std::string> all = {kPython, "-u"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, kPython, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Waits up to `timeout` for the child; its exit status, or -1 when it was killed or lingered.
int WaitFor(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0) return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

std::string MailTestScript(const char* name) { return std::string(VELO_MAIL_TEST_DIR "/") + name; }

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

int RunPython(const std::vector<std::string>& args, const std::string& outputPath,
              int timeoutSeconds) {
    const pid_t pid = SpawnPython(args, outputPath, outputPath + ".err");
    if (pid < 0) return -1;
    return WaitFor(pid, std::chrono::seconds(timeoutSeconds));
}

CSmtpTestServer::CSmtpTestServer(std::string workFolder) : m_folder(std::move(workFolder)) {}

CSmtpTestServer::~CSmtpTestServer() { Stop(); }

bool CSmtpTestServer::Start(const SmtpTestServerOptions& options) {
    Stop();
    m_error.clear();
    m_maildir = m_folder + "/received";
    std::error_code ec;
    fs::create_directories(m_maildir, ec);
    const std::string portFile = m_folder + "/smtpserver.port";
    fs::remove(portFile, ec);

    std::vector<std::string> args = {MailTestScript("smtpserver.py"), "--port-file", portFile};
    if (options.countOnly) {
        args.push_back("--count-only");
    } else {
        args.insert(args.end(), {"--maildir", m_maildir});
    }
    if (!options.user.empty()) args.insert(args.end(), {"--auth", options.user + ":" + options.password});
    for (const std::string& address : options.refuse)
        args.insert(args.end(), {"--refuse", address});
    using EMode = SmtpTestServerOptions::EMode;
    if (options.mode != EMode::kPlain) {
        args.insert(args.end(), {"--mode", options.mode == EMode::kTls ? "tls" : "starttls",
                                 "--cert", options.certFile, "--key", options.keyFile});
    }
    m_pid = SpawnPython(args, m_folder + "/smtpserver.log", m_folder + "/smtpserver.err");
    if (m_pid < 0) {
        m_error = "cannot start /usr/bin/python3";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_error = "the SMTP server ended at once: " + Log();
            return false;
        }
        if (fs::exists(portFile, ec)) {
            m_port = std::atoi(ReadWholeFile(portFile).c_str());
            if (m_port > 0) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_error = "the SMTP server did not start listening: " + Log();
    Stop();
    return false;
}

void CSmtpTestServer::Stop() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    WaitFor(m_pid, std::chrono::seconds(5));  // kills and reaps it when it lingers
    m_pid = -1;
    m_port = 0;
}

std::string CSmtpTestServer::Log() const {
    return ReadWholeFile(m_folder + "/smtpserver.log") + ReadWholeFile(m_folder + "/smtpserver.err");
}

std::vector<std::string> CSmtpTestServer::ReceivedMessages() const {
    std::vector<std::string> paths;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(m_maildir, ec)) {
        if (entry.path().extension() == ".eml") paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string CSmtpTestServer::EnvelopeOf(const std::string& emlPath) const {
    return ReadWholeFile(fs::path(emlPath).replace_extension(".json").string());
}

std::string DecodeWithPython(const std::string& emlPath, const std::string& workFolder,
                             std::string* error) {
    const std::string out = workFolder + "/decoded.json";
    const int rc = RunPython({MailTestScript("decodemail.py"), emlPath}, out, 60);
    if (rc != 0) {
        if (error) *error = "decodemail.py failed: " + ReadWholeFile(out + ".err");
        return std::string();
    }
    return ReadWholeFile(out);
}

}  // namespace velo::mail::test
