// The test cluster: initdb, a server started as a child process, one database per test.
#include "recman/testsupport/testserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "recman/recman.h"

namespace {

constexpr char kBinFolder[] = "/usr/lib/postgresql/15/bin";
constexpr char kSuperuser[] = "velo";
// The superuser's password, for tests that log in over TCP, where a password is asked.
constexpr char kSuperuserPassword[] = "velo-test-password";
constexpr auto kStartTimeout = std::chrono::seconds(60);
constexpr auto kStopTimeout = std::chrono::seconds(30);

std::string TemporaryBase() {
    if (std::filesystem::is_directory("/dev/shm") && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp && std::filesystem::is_directory(tmp) ? tmp : "/tmp";
}

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
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

std::string Tail(const std::string& path, size_t bytes = 3000) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    return all.size() > bytes ? all.substr(all.size() - bytes) : all;
}

// Quotes a value for a connection string.
std::string ConnValue(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'' || c == '\\') out += '\\';
        out += c;
    }
    return out + "'";
}

bool Gone(pid_t pid) {
    if (::kill(pid, 0) != 0) return true;
    // A process that has ended but that nobody has reaped yet holds nothing any more.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

// The processes whose parent is `parent`.
std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent) children.push_back(pid_t(std::stoi(name)));
    }
    return children;
}

// Removes the clusters of test programs that were killed (their server went with them):
// folders whose server is gone, or that never got one and are older than a few minutes.
void RemoveAbandonedClusters(const std::string& base) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(base, error)) {
        const std::string name = entry.path().filename();
        if (name.rfind("velo-pg-", 0) != 0 || !entry.is_directory(error)) continue;
        std::ifstream pidFile(entry.path() / "data" / "postmaster.pid");
        pid_t pid = 0;
        bool abandoned;
        if (pidFile >> pid) {
            abandoned = pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
        } else {
            const auto age =
                std::filesystem::file_time_type::clock::now() - entry.last_write_time(error);
            abandoned = !error && age > std::chrono::minutes(10);
        }
        if (abandoned) std::filesystem::remove_all(entry.path(), error);
    }
}

}  // namespace

std::string TestEngineName(const ::testing::TestParamInfo<ETestEngine>& info) {
    switch (info.param) {
        case ETestEngine::kServer:
            return "Server";
        case ETestEngine::kServerUncached:
            return "ServerUncached";
        default:
            return "Embedded";
    }
}

CTestServer& CTestServer::Get() {
    // Stopped from the destructor when the program ends.
    static CTestServer server;
    return server;
}

CTestServer::CTestServer() : m_owner(::getpid()) {
    if (::geteuid() == 0) {
        const passwd* user = ::getpwnam("postgres");
        if (!user) {
            Fail("the tests run as root and there is no postgres user to run the server as");
            return;
        }
        m_asPostgres = true;
        m_uid = user->pw_uid;
        m_gid = user->pw_gid;
    }
    RemoveAbandonedClusters(TemporaryBase());
    std::string pattern = TemporaryBase() + "/velo-pg-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        Fail("cannot make a folder from " + pattern);
        return;
    }
    m_folder = pattern;
    m_data = m_folder + "/data";
    m_log = m_folder + "/server.log";
    if (m_asPostgres && ::chown(m_folder.c_str(), m_uid, m_gid) != 0) {
        Fail("cannot give " + m_folder + " to the postgres user");
        return;
    }
    if (!MakeCluster()) return;
    for (int attempt = 0; attempt < 5 && m_server < 0; ++attempt) {
        m_port = FreeLoopbackPort();
        m_error.clear();
        if (m_port != 0) StartServer();
    }
    if (m_server < 0) return;
    const std::string set =
        Execute(AdminConnInfo("postgres"),
                std::string("ALTER ROLE ") + kSuperuser + " PASSWORD '" + kSuperuserPassword + "'");
    if (!set.empty()) Fail("cannot set the superuser's password: " + set);
}

CTestServer::~CTestServer() {
    if (::getpid() != m_owner) return;  // a forked child ending must not stop the parent's server
    StopServer();
    if (!m_folder.empty()) {
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }
}

std::string CTestServer::Fail(const std::string& what) {
    m_error = what;
    if (!m_log.empty() && std::filesystem::exists(m_log))
        m_error += "\n--- " + m_log + ":\n" + Tail(m_log);
    return m_error;
}

pid_t CTestServer::Spawn(const std::vector<std::string>& argv, bool dieWithParent) const {
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int log = ::open(m_log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (log < 0 || null < 0) _exit(126);
    ::dup2(null, 0);
    ::dup2(log, 1);
    ::dup2(log, 2);
    if (m_asPostgres &&
        (::setgroups(0, nullptr) != 0 || ::setgid(m_gid) != 0 || ::setuid(m_uid) != 0))
        _exit(126);
    // Set after the change of user, which clears it: a test program that dies takes its
    // server with it.
    if (dieWithParent) {
        ::prctl(PR_SET_PDEATHSIG, SIGQUIT);
        if (::getppid() != parent) _exit(125);
    }
    if (::chdir(m_folder.c_str()) != 0) _exit(126);
    std::vector<std::string> args = argv;
    std::vector<char*> raw;
    for (std::string& a : args) raw.push_back(a.data());
    raw.push_back(nullptr);
    ::execv(raw[0], raw.data());
    _exit(127);
}

bool CTestServer::MakeCluster() {
    const pid_t pid = Spawn(
        {std::string(kBinFolder) + "/initdb", "-D", m_data, "-U", kSuperuser, "--auth-local=trust",
         "--auth-host=scram-sha-256", "-E", "UTF8", "--locale=C", "--no-sync"},
        true);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        Fail("initdb failed in " + m_data);
        return false;
    }
    return true;
}

bool CTestServer::StartServer() {
    // fsync is off: the tests kill server processes, never the machine, and what a killed
    // process wrote is in the system's page cache all the same. Commits still wait for
    // their WAL to be written, so an acknowledged commit survives a crash of the server.
    // Deadlocks are found in a tenth of a second rather than one: the tests make writers
    // collide on purpose and kill clients by the hundred, and the sessions of killed clients
    // waiting on one another would pile up meanwhile.
    m_server = Spawn({std::string(kBinFolder) + "/postgres", "-D", m_data, "-p",
                      std::to_string(m_port), "-k", m_folder, "-c", "listen_addresses=127.0.0.1",
                      "-c", "fsync=off", "-c", "shared_buffers=32MB", "-c", "max_connections=100",
                      "-c", "deadlock_timeout=100ms", "-c", "unix_socket_permissions=0777"},
                     true);
    if (m_server < 0) {
        Fail("cannot start the server");
        return false;
    }
    const std::string ping = AdminConnInfo("postgres");
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (PQping(ping.c_str()) == PQPING_OK) return true;
        int status = 0;
        if (::waitpid(m_server, &status, WNOHANG) == m_server) {
            m_server = -1;
            Fail("the server ended while starting (port " + std::to_string(m_port) + ")");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    StopServer();
    Fail("the server did not accept connections within a minute");
    return false;
}

void CTestServer::StopServer() {
    if (m_server < 0) return;
    // Fast shutdown: sessions are cut, nothing is waited for.
    ::kill(m_server, SIGINT);
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    int status = 0;
    while (::waitpid(m_server, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(m_server, SIGKILL);
            ::waitpid(m_server, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_server = -1;
}

void CTestServer::Crash() {
    if (m_server < 0) return;
    const std::vector<pid_t> children = ChildrenOf(m_server);
    ::kill(m_server, SIGKILL);
    for (pid_t child : children) ::kill(child, SIGKILL);
    ::waitpid(m_server, nullptr, 0);
    // Anything it started after the list was taken is its child still, or orphaned now.
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    for (pid_t child : children)
        while (!Gone(child) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    m_server = -1;
}

bool CTestServer::Restart() {
    if (m_server >= 0) return true;
    m_error.clear();
    return StartServer();
}

std::string CTestServer::AdminConnInfo(const std::string& database) const {
    return "host=" + ConnValue(m_folder) + " port=" + std::to_string(m_port) +
           " dbname=" + ConnValue(database) + " user=" + kSuperuser;
}

std::string CTestServer::Execute(const std::string& conninfo, const std::string& sql) const {
    PGconn* conn = PQconnectdb(conninfo.c_str());
    std::string error;
    if (PQstatus(conn) != CONNECTION_OK) {
        error = PQerrorMessage(conn);
    } else {
        PGresult* result = PQexec(conn, sql.c_str());
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            error = PQresultErrorMessage(result);
        PQclear(result);
    }
    PQfinish(conn);
    return error;
}

std::string CTestServer::NewDatabase() {
    if (!m_error.empty()) return "";
    const std::string name = "test_" + std::to_string(++m_databases);
    const std::string error = Execute(AdminConnInfo("postgres"), "CREATE DATABASE " + name);
    if (!error.empty()) {
        ADD_FAILURE() << "cannot make database " << name << ": " << error;
        return "";
    }
    return AdminConnInfo(name);
}

std::string CTestServer::UseIn(const std::string& folder) {
    if (!m_error.empty()) {
        ADD_FAILURE() << "the test server is not running: " << m_error;
        return "";
    }
    const std::string conninfo = NewDatabase();
    if (conninfo.empty()) return "";
    const int status = recman::WriteServerConnInfo(folder, conninfo);
    if (status != recman::kOk) {
        ADD_FAILURE() << "cannot write the connection file in " << folder << ": status " << status;
        return "";
    }
    return conninfo;
}

std::string CTestServer::TcpConnInfo(const std::string& conninfo, const std::string& user,
                                     const std::string& password) const {
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), nullptr);
    std::string database;
    for (PQconninfoOption* o = options; o && o->keyword; ++o)
        if (std::strcmp(o->keyword, "dbname") == 0 && o->val) database = o->val;
    PQconninfoFree(options);
    return "host=127.0.0.1 port=" + std::to_string(m_port) + " dbname=" + ConnValue(database) +
           " user=" + ConnValue(user) + " password=" + ConnValue(password);
}
