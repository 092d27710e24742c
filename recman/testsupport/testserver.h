// A private PostgreSQL cluster for one test program, and a database per test.
//
// The cluster is made with initdb in a temporary folder (in memory where the system has
// such a folder) and its server runs as a child of the test program, listening on a socket
// in that folder and on a free loopback port, with its output in a file beside the data.
// When the tests run as root, as continuous integration does, the cluster belongs to the
// `postgres` user and its programs run as that user. The server is stopped by its own pid
// when the program ends, and it goes with the program if that is killed.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

// The engines a test runs against. kServerUncached is the server engine keeping no table
// whole in the process, for the record manager's own tests of its statements.
enum class ETestEngine { kEmbedded, kServer, kServerUncached };

// "Embedded", "Server" and "ServerUncached", for the names of parameterised tests.
std::string TestEngineName(const ::testing::TestParamInfo<ETestEngine>& info);

class CTestServer final {
public:
    // The program's cluster, started on first use.
    static CTestServer& Get();

    CTestServer(const CTestServer&) = delete;
    CTestServer& operator=(const CTestServer&) = delete;

    // Empty while the server runs; otherwise what failed, with the end of the server's log.
    const std::string& Error() const { return m_error; }

    // Makes an empty database for one test and returns the connection string that names it
    // (over the socket in the cluster's folder, as the superuser "velo").
    std::string NewDatabase();
    // Writes a connection file naming a new database into `folder`, so that every table
    // opened in that folder lives on this server. Returns the connection string, or "" (with
    // a test failure) when the database or the file cannot be made.
    std::string UseIn(const std::string& folder);

    // The same database over TCP on the loopback port, as `user` with `password`.
    std::string TcpConnInfo(const std::string& conninfo, const std::string& user,
                            const std::string& password) const;
    // Runs one statement as the superuser in the database the connection string names.
    // Returns "" on success, else the server's message.
    std::string Execute(const std::string& conninfo, const std::string& sql) const;

    int Port() const { return m_port; }
    const std::string& LogPath() const { return m_log; }

    // Kills every process of the server at once with SIGKILL, as a crash of its machine
    // would, and waits for them to be gone.
    void Crash();
    // Starts the server again on the same data and port; false (and Error()) on failure.
    bool Restart();

private:
    CTestServer();
    ~CTestServer();
    bool MakeCluster();
    bool StartServer();
    void StopServer();
    // Runs a program of the cluster (as the cluster's owner) with its output in the log.
    pid_t Spawn(const std::vector<std::string>& argv, bool dieWithParent) const;
    std::string Fail(const std::string& what);
    std::string AdminConnInfo(const std::string& database) const;

    std::string m_folder;  // the cluster's folder: data/, the socket and server.log
    std::string m_data;
    std::string m_log;
    std::string m_error;
    int m_port = 0;
    pid_t m_server = -1;
    pid_t m_owner = -1;  // the process that started the server; only it stops it
    uid_t m_uid = 0;     // the cluster's owner when the tests run as root
    gid_t m_gid = 0;
    bool m_asPostgres = false;
    int m_databases = 0;
};
